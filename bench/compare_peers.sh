#!/usr/bin/env bash
# compare_peers.sh [PAIRS] [UNITS]: velmora_replace and velmora-replace against an aho-corasick
# peer in Rust (NFA and DFA) and one in Python, each as a whole process, in
# replace and gloss mode, on generated data (PAIRS / UNITS may also come from
# the environment; 200,000 pairs and 10,000,000 units by default). Every
# output must equal ours byte for byte once in UTF-8.
#
# compare_peers.sh --real: the same against the Rust peer on the real
# Japanese and English data of real_data.sh (the Python peer would take
# minutes there and is left out); SETS picks some of its sets.
#
# Each program runs REPEAT times (3 by default) and its fastest run counts, so
# that a busy moment of a shared machine does not decide a ratio. CORES (say
# CORES=1, or CORES=0,1) pins every program to those cores with taskset.
# Each set's table ends with the copy floor: cat reading the text and
# writing it to a file.
set -euo pipefail

REAL=0
if [ "${1:-}" = --real ]; then
    REAL=1
    shift
fi
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
if [ "$REAL" = 1 ]; then
    echo "== real data in $DATA"
    bash "$ROOT/bench/real_data.sh" "$DATA"
    SETS=${SETS:-"ja kana en man"}
    PEERS_RUN="rust-nfa rust-dfa"
else
    echo "== generating $PAIRS pairs, $UNITS units in $DATA"
    "$BUILD/bench/velmora_gen" "$DATA" "$PAIRS" "$UNITS"
    for f in dict.u16 dict.tsv text.u16 text.txt; do mv "$DATA/$f" "$DATA/gen.$f"; done
    SETS="gen"
    PEERS_RUN="rust-nfa rust-dfa python"
fi
cd "$DATA"

# ms FILE STEP: the "STEP N ms" figure of a timing line.
ms() { sed -n "s/.*[:,] $2 \([0-9.]*\) ms.*/\1/p" "$1"; }

REPEAT=${REPEAT:-3}
PIN=()
[ -z "${CORES:-}" ] || PIN=(taskset -c "$CORES")

# timed ERR CMD...: runs CMD REPEAT times under /usr/bin/time; time.out and
# ERR (its standard error) are those of the fastest run.
timed() {
    local err=$1 best=
    shift
    for _ in $(seq "$REPEAT"); do
        # Wall time from the clock, as time's 10 ms steps are too coarse for the floor.
        local t0 t1
        t0=$(date +%s%N)
        /usr/bin/time -f "%M KB" -o rss.try "${PIN[@]}" "$@" 2>err.try || { cat err.try rss.try >&2; exit 1; }
        t1=$(date +%s%N)
        echo "$(awk "BEGIN { printf \"%.4f\", ($t1 - $t0) / 1e9 }") s $(cat rss.try)" >time.try
        if [ -z "$best" ] || awk "BEGIN { exit !($(cut -d' ' -f1 time.try) < $best) }"; then
            best=$(cut -d' ' -f1 time.try)
            mv time.try time.out
            mv err.try "$err"
        fi
    done
}

# run NAME MODE CMD...: runs CMD as "timed" does and appends to results
# "NAME MODE wall-s rss-KB scan+build-ms load-ms". scan+build is ours scan +
# build, a peer's replace step; load is ours load (adding every pair and
# compiling the matcher), a peer's automaton build.
run() {
    local name=$1 mode=$2 err=$1.$2.err
    shift 2
    timed "$err" "$@"
    sed 's/^/    /' "$err"
    echo "    $name $mode: $(cat time.out)"
    if [ "$name" = velmora ]; then
        set -- "$(awk "BEGIN { print $(ms "$err" scan) + $(ms "$err" build) }")" "$(ms "$err" load)"
    else
        set -- "$(ms "$err" replace)" "$(ms "$err" build)"
    fi
    echo "$name $mode $(cut -d' ' -f1,3 time.out) $1 $2" >>"results.$set"
}

# run_cli MODE [ARG]: velmora-replace on the set's UTF-8 files, as "run" does;
# its --stats line gives the whole run and the dictionary loading.
run_cli() {
    local mode=$1 err=cli.$1.err
    shift
    timed "$err" "$BUILD/cli/velmora-replace" -q --stats -d $set.dict.tsv "$@" $set.text.txt -o cli.txt
    sed 's/^/    /' "$err"
    echo "    velmora-replace $mode: $(cat time.out)"
    local total load
    total=$(sed -n 's/.* \([0-9.]*\) s (dictionaries.*/\1/p' "$err")
    load=$(sed -n 's/.*(dictionaries \([0-9.]*\) s).*/\1/p' "$err")
    echo "cli $mode $(cut -d' ' -f1,3 time.out) $(awk "BEGIN { print ($total - $load) * 1000 }") \
$(awk "BEGIN { print $load * 1000 }")" >>"results.$set"
}

failed=0
for set in $SETS; do
    timed floor.err sh -c "cat $set.text.txt >floor.txt"
    echo "floor copy $(cut -d' ' -f1,3 time.out) 0 0" >>"results.$set"
    for mode in replace gloss; do
        arg=$([ "$mode" = gloss ] && echo gloss || true)
        echo "== $set, $mode"
        run velmora "$mode" "$BUILD/bench/velmora_replace" $set.dict.u16 $set.text.u16 ours.u16 $arg
        iconv -f UTF-16LE -t UTF-8 ours.u16 >ours.txt
        run_cli "$mode" $([ "$mode" = gloss ] && echo --gloss || true)
        if ! cmp ours.txt cli.txt; then
            echo "!!! $set, $mode: output of velmora-replace differs from velmora_replace" >&2
            failed=1
        fi
        for peer in $PEERS_RUN; do
            case $peer in
            rust-nfa) run $peer "$mode" "$PEERS/rust/target/release/ac_peer" $set.dict.tsv $set.text.txt $peer.txt $arg ;;
            rust-dfa) run $peer "$mode" "$PEERS/rust/target/release/ac_peer" $set.dict.tsv $set.text.txt $peer.txt $arg dfa ;;
            python) run $peer "$mode" /usr/bin/python3 "$PEERS/py_peer.py" $set.dict.tsv $set.text.txt $peer.txt $arg ;;
            esac
            if ! cmp ours.txt "$peer.txt"; then
                echo "!!! $set, $mode: output of $peer differs from ours" >&2
                failed=1
            fi
        done
    done
done

for set in $SETS; do
    units=$(($(stat -c %s $set.text.u16) / 2))
    echo
    echo "== $set: $(wc -l <$set.dict.tsv) pairs, $units units ($((units * 2)) bytes of UTF-16); x/ours = the row's figure over velmora's"
    awk -v bytes=$((units * 2)) '
        function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
        BEGIN { printf "%-8s %-8s %7s %8s %7s %7s | %11s %7s | %8s %7s\n", "program", "mode", "wall s", "RSS MB", "MB/s",
                       "x/ours", "scan+build", "x/ours", "load ms", "x/ours" }
        $1 == "velmora" { ow = $3; osb = $5; ol = $6 }
        $1 == "cli" { cw[$2] = $3 }
        $1 == "floor" { fw = $3 }
        {
            printf "%-8s %-8s %7.3f %8.1f %7s %7s | %11.1f %7s | %8.1f %7s\n", $1, $2, $3, $4 / 1024,
                   ($3 > 0 ? sprintf("%.1f", bytes / 1e6 / $3) : "-"), ratio($3, ow), $5, ratio($5, osb), $6, ratio($6, ol)
            if ($1 ~ /^rust/ && (!($2 in best) || $3 < bestw[$2])) { best[$2] = $1; bestw[$2] = $3; ours[$2] = ow }
        }
        END {
            split("replace gloss", modes)
            for (i = 1; i <= 2; i++)
                if ((m = modes[i]) in best)
                    printf "faster Rust variant end to end, %s mode: %s (Rust/ours %s, Rust/velmora-replace %s)\n",
                           m, best[m], ratio(bestw[m], ours[m]), ratio(bestw[m], cw[m])
            for (i = 1; i <= 2; i++)
                if ((m = modes[i]) in cw)
                    printf "velmora-replace over the copy floor, %s mode: %s\n", m, ratio(cw[m], fw)
        }' "results.$set"
done

# Peak memory of a long stream: the last set's text repeated to STREAM_MB
# megabytes (1000 by default; 0 skips it) through a pipe, against the same
# dictionary on an empty input.
STREAM_MB=${STREAM_MB:-1000}
if [ "$STREAM_MB" -gt 0 ]; then
    echo
    echo "== velmora-replace streaming $STREAM_MB MB of $set through a pipe"
    : | /usr/bin/time -f "%M" -o rss.empty "$BUILD/cli/velmora-replace" -q -d $set.dict.tsv >/dev/null
    repeats=$(( STREAM_MB * 1000000 / $(stat -c %s $set.text.txt) + 1 ))
    for ((i = 0; i < repeats; i++)); do cat $set.text.txt; done |
        /usr/bin/time -f "%e s %M" -o rss.stream "$BUILD/cli/velmora-replace" -q -d $set.dict.tsv >/dev/null
    awk -v empty="$(cat rss.empty)" '{ printf "    %s s; peak RSS %.1f MB, of which %.1f MB over the dictionary alone (%.1f MB)\n", $1, $3 / 1024, ($3 - empty) / 1024, empty / 1024 }' rss.stream
fi

if [ "$failed" != 0 ]; then
    echo "!!! FAILED: some outputs differ from ours (see above)" >&2
    exit 1
fi
echo "all outputs identical to ours"
