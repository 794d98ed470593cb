#!/usr/bin/env bash
# compiled_dictionary.sh PROGRAM [DICT]: velmora-replace made ready to scan
# with DICT given as a text dictionary and compiled (--compile), whole process
# with no text (`-q -d DICT </dev/null`, hyperfine, RUNS runs each, 30 by
# default), then the memory of two processes holding the compiled file at
# once (/proc/PID/smaps_rollup), each in a copy of its own. Without DICT, the
# Japanese dictionary of bench/real_data.sh (mecab-ipadic) is made in a
# temporary folder; LIMIT=N keeps its first N pairs.
set -euo pipefail
PROG=$(realpath "${1:?usage: compiled_dictionary.sh PROGRAM [DICT]}")
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${RUNS:-30}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
if [ $# -ge 2 ]; then
    dict=$(realpath "$2")
else
    bash "$ROOT/bench/real_data.sh" "$dir/data" >/dev/null
    dict=$dir/dict.tsv
    head -n "${LIMIT:-1000000000}" "$dir/data/ja.dict.tsv" >"$dict"
fi
compiled=$dir/dict.vmd
"$PROG" --compile "$compiled" -d "$dict"
echo "text $(stat -c %s "$dict") bytes, compiled $(stat -c %s "$compiled") bytes"

hyperfine -N --warmup 3 --runs "$RUNS" --style basic \
    -n text "$PROG -q -d $dict" -n compiled "$PROG -q -d $compiled"

# Two processes, each waiting for its text on a FIFO once its dictionary is
# read; the FIFOs are opened for writing only to be closed again.
mkfifo "$dir/in1" "$dir/in2"
"$PROG" -q -d "$compiled" <"$dir/in1" >/dev/null &
first=$!
"$PROG" -q -d "$compiled" <"$dir/in2" >/dev/null &
second=$!
exec 3>"$dir/in1" 4>"$dir/in2"
sleep 1
for pid in $first $second; do
    awk -v pid=$pid '/^(Rss|Pss|Shared_Clean|Private_Clean|Private_Dirty):/ { s = s " " $1 " " $2 " kB" }
        END { print "process " pid ":" s }' /proc/$pid/smaps_rollup
done
exec 3>&- 4>&-
wait $first $second
