#!/usr/bin/env bash
# compare_peers.sh [PAIRS] [UNITS]: velmora_replace and velmora-replace against
# Aho-Corasick peers, each as a whole process, in replace and gloss mode, on
# generated data (PAIRS / UNITS may also come from the environment; 200,000
# pairs and 10,000,000 units by default). Every output must equal ours byte
# for byte once in UTF-8.
#
# The peers (bench/peers/rust, built offline): daachorse's bytewise and
# charwise double arrays and aho-corasick 1.1.3 (the kind it chooses, and a
# DFA) from the vendor folder (VENDOR, by default ../shared/vendor beside the
# project), and the aho-corasick 0.7 crate from Debian; on generated data
# also Python's ahocorasick module. PEERS picks some of them.
#
# compare_peers.sh --real: the same on the real data of real_data.sh, made
# in a temporary folder, or taken from DATA when it names a folder that
# real_data.sh filled; SETS picks some of its sets (ja kana en man).
#
# Each program runs REPEAT times (3 by default), in rounds that run every
# program once, and its fastest run counts, so that a busy moment of a shared
# machine does not decide a ratio. Every set runs once for each core list in
# CORES (by default "1 0,1": one core, then two), every program pinned to it
# with taskset. Each table gives the phase
# times each program reports: the dictionary's load (a peer's automaton
# build), the scan and the output built in memory; velmora-replace gives its
# load and the rest, and also runs with the dictionary compiled beforehand
# (cli-vmd). Each table ends with the copy floor: cat reading the text and
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
BUILD=${BUILD:-$ROOT/build-peers}
PEERS_DIR=$ROOT/bench/peers
VENDOR=${VENDOR:-$ROOT/../shared/vendor}

# shellcheck source=../scripts/packages.sh
. "$ROOT/scripts/packages.sh"
velmora_install_packages "${VELMORA_PEER_PACKAGES[@]}"

echo "== building"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DVELMORA_BUILD_APP=OFF -DVELMORA_BUILD_TESTS=OFF >/dev/null
ninja -j2 --quiet -C "$BUILD" velmora_gen velmora_replace velmora-replace
[ -d "$VENDOR/daachorse-4.0.0" ] || { echo "no peer sources in $VENDOR (set VENDOR)" >&2; exit 1; }
ln -sfn "$(cd "$VENDOR" && pwd)" "$PEERS_DIR/rust/vendor"
(cd "$PEERS_DIR/rust" && cargo build --release --offline --quiet 2>"$BUILD/cargo.log") || { cat "$BUILD/cargo.log" >&2; exit 1; }

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
if [ "$REAL" = 1 ]; then
    SETS=${SETS:-"ja kana en man"}
    if [ -n "${DATA:-}" ]; then
        echo "== real data from $DATA"
        for set in $SETS; do ln -s "$(cd "$DATA" && pwd)"/$set.* "$WORK"/; done
    else
        echo "== real data in $WORK"
        bash "$ROOT/bench/real_data.sh" "$WORK"
    fi
    PEER_LIST=${PEERS:-"daac-byte daac-char ac-auto ac-dfa ac07"}
else
    echo "== generating $PAIRS pairs, $UNITS units in $WORK"
    "$BUILD/bench/velmora_gen" "$WORK" "$PAIRS" "$UNITS"
    for f in dict.u16 dict.tsv text.u16 text.txt; do mv "$WORK/$f" "$WORK/gen.$f"; done
    SETS="gen"
    PEER_LIST=${PEERS:-"daac-byte daac-char ac-auto ac-dfa ac07 python"}
fi
cd "$WORK"

# ms FILE STEP: the "STEP N ms" figure of a timing line.
ms() { sed -n "s/.*[:,] $2 \([0-9.]*\) ms.*/\1/p" "$1"; }

REPEAT=${REPEAT:-3}
CORES=${CORES:-"1 0,1"}

# The programs of one set, mode and core list run in rounds: each round runs
# every program once, pinned to the cores $cores, and each program's fastest
# of REPEAT rounds counts, so that a busy moment of a shared machine weighs on
# all of them alike. add NAME KIND CMD... enters a program for the rounds;
# KIND tells how its phases are read: velmora (velmora_replace's load, scan
# and build), cli (velmora-replace's --stats line) or peer (the automaton's
# build, scan and output).
NAMES=()
declare -A KIND CMD
add() {
    local name=$1 kind=$2 q
    shift 2
    printf -v q '%q ' "$@"
    NAMES+=("$name")
    KIND[$name]=$kind
    CMD[$name]=$q
}

# once NAME: one run of NAME under /usr/bin/time; NAME.time and NAME.err (its
# standard error) are those of its fastest run so far.
once() {
    local name=$1 t0 t1
    # No run pays for writing back the output of the one before it.
    sync
    # Wall time from the clock, as time's 10 ms steps are too coarse for the floor.
    t0=$(date +%s%N)
    eval "/usr/bin/time -f '%M KB' -o rss.try taskset -c $cores ${CMD[$name]}" 2>err.try || { cat err.try rss.try >&2; exit 1; }
    t1=$(date +%s%N)
    echo "$(awk "BEGIN { printf \"%.4f\", ($t1 - $t0) / 1e9 }") s $(cat rss.try)" >time.try
    if [ ! -e "$name.time" ] || awk "BEGIN { exit !($(cut -d' ' -f1 time.try) < $(cut -d' ' -f1 "$name.time")) }"; then
        mv time.try "$name.time"
        mv err.try "$name.err"
    fi
}

# rounds: runs the programs entered, REPEAT rounds, then forgets them.
rounds() {
    local name
    for name in "${NAMES[@]}"; do rm -f "$name.time" "$name.err"; done
    for _ in $(seq "$REPEAT"); do
        for name in "${NAMES[@]}"; do once "$name"; done
    done
}

# record NAME MODE LOAD SCAN OUTPUT: appends "NAME MODE wall-s rss-KB load-ms
# scan-ms output-ms" to the results (- where a program does not say).
record() {
    echo "$1 $2 $(cut -d' ' -f1,3 "$1.time") ${3:--} ${4:--} ${5:--}" >>"$results"
}

# report NAME MODE: prints NAME's fastest run and records its phases: ours
# load (adding every pair and compiling the matcher), scan and build; a
# peer's automaton build, scan and output; velmora-replace's whole run and
# its dictionary loading, recorded as load and scan (the rest).
report() {
    local name=$1 mode=$2 err=$1.err total load
    sed 's/^/    /' "$err"
    echo "    $name $mode: $(cat "$name.time")"
    case ${KIND[$name]} in
    velmora) record "$name" "$mode" "$(ms "$err" load)" "$(ms "$err" scan)" "$(ms "$err" build)" ;;
    peer) record "$name" "$mode" "$(ms "$err" build)" "$(ms "$err" scan)" "$(ms "$err" output)" ;;
    cli)
        total=$(sed -n 's/.* \([0-9.]*\) s (dictionaries.*/\1/p' "$err")
        load=$(sed -n 's/.*(dictionaries \([0-9.]*\) s).*/\1/p' "$err")
        record "$name" "$mode" "$(awk "BEGIN { print $load * 1000 }")" "$(awk "BEGIN { print ($total - $load) * 1000 }")"
        ;;
    esac
}

failed=0
for set in $SETS; do
    "$BUILD/cli/velmora-replace" -q --compile $set.vmd -d $set.dict.tsv
    for cores in $CORES; do
        results=results.$set.$cores
        NAMES=()
        add floor floor sh -c "cat $set.text.txt >floor.txt"
        rounds
        record floor copy
        for mode in replace gloss; do
            arg=$([ "$mode" = gloss ] && echo gloss || true)
            echo "== $set, $mode, cores $cores (load average $(cut -d' ' -f1-3 /proc/loadavg))"
            NAMES=()
            add velmora velmora "$BUILD/bench/velmora_replace" $set.dict.u16 $set.text.u16 ours.u16 $arg
            for cli in cli cli-vmd; do
                add $cli cli "$BUILD/cli/velmora-replace" -q --stats -d $([ $cli = cli ] && echo $set.dict.tsv || echo $set.vmd) \
                    $([ "$mode" = gloss ] && echo --gloss || true) $set.text.txt -o $cli.txt
            done
            for peer in $PEER_LIST; do
                case $peer in
                python) add $peer peer /usr/bin/python3 "$PEERS_DIR/py_peer.py" $set.dict.tsv $set.text.txt $peer.txt $arg ;;
                ac07) add $peer peer "$PEERS_DIR/rust/target/release/ac_peer" ac07-nfa $set.dict.tsv $set.text.txt $peer.txt $arg ;;
                *) add $peer peer "$PEERS_DIR/rust/target/release/ac_peer" $peer $set.dict.tsv $set.text.txt $peer.txt $arg ;;
                esac
            done
            rounds
            iconv -f UTF-16LE -t UTF-8 ours.u16 >ours.txt
            for name in "${NAMES[@]}"; do
                report "$name" "$mode"
                if [ "$name" != velmora ] && ! cmp ours.txt "$name.txt"; then
                    echo "!!! $set, $mode: output of $name differs from velmora_replace" >&2
                    failed=1
                fi
            done
        done
    done
done

for set in $SETS; do
    units=$(($(stat -L -c %s $set.text.u16) / 2))
    for cores in $CORES; do
        echo
        echo "== $set on cores $cores: $(wc -l <$set.dict.tsv) pairs, $units units ($((units * 2)) bytes of UTF-16), $(stat -L -c %s $set.text.txt) bytes of UTF-8; x/cli = the row's figure over velmora-replace's"
        awk -v bytes=$(stat -L -c %s $set.text.txt) '
            function ratio(a, b) { return (a != "-" && b != "-" && b > 0) ? sprintf("%.2f", a / b) : "-" }
            function num(a) { return a == "-" ? "-" : sprintf("%.1f", a) }
            BEGIN { printf "%-9s %-8s %7s %8s %7s %6s | %8s %8s %8s\n", "program", "mode", "wall s", "RSS MB", "MB/s",
                           "x/cli", "load ms", "scan ms", "out ms" }
            { rows[NR] = $0; if ($1 == "cli") cw[$2] = $3; if ($1 == "velmora") vs[$2] = $6 }
            END {
                for (r = 1; r <= NR; r++) {
                    split(rows[r], f, " ")
                    printf "%-9s %-8s %7.3f %8.1f %7.1f %6s | %8s %8s %8s\n", f[1], f[2], f[3], f[4] / 1024,
                           bytes / 1e6 / f[3], ratio(f[3], cw[f[2]]), num(f[5]), num(f[6]), num(f[7])
                    if (f[1] !~ /^(velmora|cli|cli-vmd|floor)$/) {
                        if (!(f[2] in bw) || f[3] < bw[f[2]]) { bw[f[2]] = f[3]; bn[f[2]] = f[1] }
                        if (f[1] ~ /^daac/ && (!(f[2] in ds) || f[6] < ds[f[2]])) { ds[f[2]] = f[6]; dn[f[2]] = f[1] }
                    }
                }
                split("replace gloss", modes)
                for (i = 1; i <= 2; i++)
                    if ((m = modes[i]) in bw)
                        printf "%s: fastest peer %s, peer/velmora-replace %s; scan: %s/velmora_replace %s\n",
                               m, bn[m], ratio(bw[m], cw[m]), dn[m], ratio(ds[m], vs[m])
            }' "results.$set.$cores"
    done
done

# Peak memory of a long stream: the last set's text repeated to STREAM_MB
# megabytes (1000 by default; 0 skips it) through a pipe, against the same
# dictionary on an empty input.
STREAM_MB=${STREAM_MB:-1000}
if [ "$STREAM_MB" -gt 0 ]; then
    echo
    echo "== velmora-replace streaming $STREAM_MB MB of $set through a pipe"
    : | /usr/bin/time -f "%M" -o rss.empty "$BUILD/cli/velmora-replace" -q -d $set.dict.tsv >/dev/null
    repeats=$(( STREAM_MB * 1000000 / $(stat -L -c %s $set.text.txt) + 1 ))
    for ((i = 0; i < repeats; i++)); do cat $set.text.txt; done |
        /usr/bin/time -f "%e s %M" -o rss.stream "$BUILD/cli/velmora-replace" -q -d $set.dict.tsv >/dev/null
    awk -v empty="$(cat rss.empty)" '{ printf "    %s s; peak RSS %.1f MB, of which %.1f MB over the dictionary alone (%.1f MB)\n", $1, $3 / 1024, ($3 - empty) / 1024, empty / 1024 }' rss.stream
fi

if [ "$failed" != 0 ]; then
    echo "!!! FAILED: some outputs differ from ours (see above)" >&2
    exit 1
fi
echo "all outputs identical to ours"
