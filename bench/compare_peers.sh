#!/usr/bin/env bash
# compare_peers.sh [PAIRS] [UNITS]: velmora_replace against an aho-corasick
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
ninja --quiet -C "$BUILD" velmora_gen velmora_replace
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

failed=0
for mode in replace gloss; do
    arg=$([ "$mode" = gloss ] && echo gloss || true)
    echo "== $mode"
    run velmora "$mode" "$BUILD/bench/velmora_replace" dict.u16 text.u16 ours.u16 $arg
    iconv -f UTF-16LE -t UTF-8 ours.u16 >ours.txt
    run rust-nfa "$mode" "$PEERS/rust/target/release/ac_peer" dict.tsv text.txt rust-nfa.txt $arg
    run rust-dfa "$mode" "$PEERS/rust/target/release/ac_peer" dict.tsv text.txt rust-dfa.txt $arg dfa
    run python "$mode" /usr/bin/python3 "$PEERS/py_peer.py" dict.tsv text.txt python.txt $arg
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

if [ "$failed" != 0 ]; then
    echo "!!! FAILED: some outputs differ from ours (see above)" >&2
    exit 1
fi
echo "all outputs identical to ours"
