#!/usr/bin/env bash
# compare_peers.sh [PAIRS] [UNITS]: velmora_replace and velmora-replace against an aho-corasick
# peer in Rust (NFA and DFA) and one in Python, each as a whole process, in
# replace and gloss mode, on generated data (PAIRS / UNITS may also come from
# the environment; 200,000 pairs and 10,000,000 units by default). Every
# output must equal ours byte for byte once in UTF-8.
set -euo pipefail

PAIRS=${1:-${PAIRS:-200000}}
UNITS=${2:-${UNITS:-10000000}}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-peers
PEERS=$ROOT/bench/peers

[ -x /usr/bin/time ] || apt-get install -y time >/dev/null

echo "== building"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DVELMORA_BUILD_APP=OFF -DVELMORA_BUILD_TESTS=OFF >/dev/null
ninja --quiet -C "$BUILD" velmora_gen velmora_replace velmora-replace
(cd "$PEERS/rust" && cargo build --release --quiet)

DATA=$(mktemp -d)
trap 'rm -rf "$DATA"' EXIT
echo "== generating $PAIRS pairs, $UNITS units in $DATA"
"$BUILD/bench/velmora_gen" "$DATA" "$PAIRS" "$UNITS"
cd "$DATA"

# ms FILE STEP: the "STEP N ms" figure of a timing line.
ms() { sed -n "s/.*[:,] $2 \([0-9.]*\) ms.*/\1/p" "$1"; }

# run NAME MODE CMD...: runs CMD under /usr/bin/time and appends to results
# "NAME MODE wall-s rss-KB scan+build-ms load-ms". scan+build is ours scan +
# build, a peer's replace step; load is ours load (adding every pair and
# compiling the matcher), a peer's automaton build.
run() {
    local name=$1 mode=$2 err=$1.$2.err
    shift 2
    /usr/bin/time -f "%e s %M KB" -o time.out "$@" 2>"$err" || { cat "$err" time.out >&2; exit 1; }
    sed 's/^/    /' "$err"
    echo "    $name $mode: $(cat time.out)"
    if [ "$name" = velmora ]; then
        set -- "$(awk "BEGIN { print $(ms "$err" scan) + $(ms "$err" build) }")" "$(ms "$err" load)"
    else
        set -- "$(ms "$err" replace)" "$(ms "$err" build)"
    fi
    echo "$name $mode $(cut -d' ' -f1,3 time.out) $1 $2" >>results
}

# run_cli MODE [ARG]: velmora-replace on the UTF-8 files, as "run" does.
run_cli() {
    local mode=$1 err=cli.$1.err
    shift
    /usr/bin/time -f "%e s %M KB" -o time.out "$BUILD/cli/velmora-replace" -q --stats -d dict.tsv "$@" text.txt \
        -o cli.txt 2>"$err" || { cat "$err" time.out >&2; exit 1; }
    sed 's/^/    /' "$err"
    echo "    velmora-replace $mode: $(cat time.out)"
    local total load
    total=$(sed -n 's/.* \([0-9.]*\) s (dictionaries.*/\1/p' "$err")
    load=$(sed -n 's/.*(dictionaries \([0-9.]*\) s).*/\1/p' "$err")
    echo "cli $mode $(cut -d' ' -f1,3 time.out) $(awk "BEGIN { print ($total - $load) * 1000 }") \
$(awk "BEGIN { print $load * 1000 }")" >>results
}

failed=0
for mode in replace gloss; do
    arg=$([ "$mode" = gloss ] && echo gloss || true)
    echo "== $mode"
    run velmora "$mode" "$BUILD/bench/velmora_replace" dict.u16 text.u16 ours.u16 $arg
    iconv -f UTF-16LE -t UTF-8 ours.u16 >ours.txt
    run rust-nfa "$mode" "$PEERS/rust/target/release/ac_peer" dict.tsv text.txt rust-nfa.txt $arg
    run rust-dfa "$mode" "$PEERS/rust/target/release/ac_peer" dict.tsv text.txt rust-dfa.txt $arg dfa
    run python "$mode" /usr/bin/python3 "$PEERS/py_peer.py" dict.tsv text.txt python.txt $arg
    # The command-line program, UTF-8 in and out like the peers. Its --stats
    # line gives the whole run and the dictionary loading.
    run_cli "$mode" $([ "$mode" = gloss ] && echo --gloss || true)
    if ! cmp ours.txt cli.txt; then
        echo "!!! $mode: output of velmora-replace differs from velmora_replace" >&2
        failed=1
    fi
    for peer in rust-nfa rust-dfa python; do
        if ! cmp ours.txt "$peer.txt"; then
            echo "!!! $mode: output of $peer differs from ours" >&2
            failed=1
        fi
    done
done

echo
echo "== $PAIRS pairs, $UNITS units ($((UNITS * 2)) bytes of UTF-16); ours/x = velmora's figure over the row's"
awk -v bytes=$((UNITS * 2)) '
    function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
    BEGIN { printf "%-8s %-8s %7s %8s %7s %7s | %11s %7s | %8s %7s\n", "program", "mode", "wall s", "RSS MB", "MB/s",
                   "ours/x", "scan+build", "ours/x", "load ms", "ours/x" }
    $1 == "velmora" { ow = $3; osb = $5; ol = $6 }
    {
        printf "%-8s %-8s %7.2f %8.1f %7s %7s | %11.1f %7s | %8.1f %7s\n", $1, $2, $3, $4 / 1024,
               ($3 > 0 ? sprintf("%.1f", bytes / 1e6 / $3) : "-"), ratio(ow, $3), $5, ratio(osb, $5), $6, ratio(ol, $6)
        if ($1 ~ /^rust/ && (!($2 in best) || $3 < bestw[$2])) { best[$2] = $1; bestw[$2] = $3; ours[$2] = ow }
    }
    END {
        split("replace gloss", modes)
        for (i = 1; i <= 2; i++)
            if ((m = modes[i]) in best)
                printf "faster Rust variant end to end, %s mode: %s (ours/Rust %s)\n", m, best[m],
                       ratio(ours[m], bestw[m])
    }' results

awk '
    $1 == "cli" { cli[$2] = $3 }
    $1 ~ /^rust/ && (!($2 in rust) || $3 < rust[$2]) { rust[$2] = $3 }
    END {
        for (m in cli)
            if (m in rust)
                printf "velmora-replace (row cli; scan+build there is all but the dictionary load), %s mode: %.2f times the faster Rust variant end to end\n", m, rust[m] / cli[m]
    }' results

# Peak memory of a long stream: the text repeated to STREAM_MB megabytes
# (1000 by default) through a pipe, against the same dictionary on an empty
# input.
STREAM_MB=${STREAM_MB:-1000}
echo
echo "== velmora-replace streaming $STREAM_MB MB through a pipe"
: | /usr/bin/time -f "%M" -o rss.empty "$BUILD/cli/velmora-replace" -q -d dict.tsv >/dev/null
repeats=$(( STREAM_MB * 1000000 / $(stat -c %s text.txt) + 1 ))
for ((i = 0; i < repeats; i++)); do cat text.txt; done |
    /usr/bin/time -f "%e s %M" -o rss.stream "$BUILD/cli/velmora-replace" -q --stats -d dict.tsv >/dev/null
awk -v empty="$(cat rss.empty)" '{ printf "    %s s; peak RSS %.1f MB, of which %.1f MB over the dictionary alone (%.1f MB)\n", $1, $3 / 1024, ($3 - empty) / 1024, empty / 1024 }' rss.stream

if [ "$failed" != 0 ]; then
    echo "!!! FAILED: some outputs differ from ours (see above)" >&2
    exit 1
fi
echo "all outputs identical to ours"
