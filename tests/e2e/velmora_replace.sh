#!/usr/bin/env bash
# velmora_replace.sh PROGRAM: the built velmora-replace on files, pipes, a
# closed pipe, a full disk and error cases, and GNU parallel --pipe giving the
# output of one run.
set -uo pipefail
prog=$(realpath "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
fail=0
check() { # check NAME CONDITION...
    local name=$1
    shift
    if ! "$@"; then
        echo "FAIL: $name" >&2
        fail=1
    fi
}

printf 'apple\tringo\n\xe3\x81\x82\t[a]\nab\tX\n' >dict.txt
python3 - <<'PY'
import random
random.seed(9)
words = ["apple", "ab", "\u3042", "abc", "x", "\u3044", " ", "\n", "\U0001F600"]
text = "".join(random.choice(words) for _ in range(400000))
open("big.txt", "w", encoding="utf-8", newline="").write(text)
d = open("dict.txt", encoding="utf-8").read()
open("dict.u16", "wb").write(b"\xff\xfe" + d.encode("utf-16-le"))
PY
printf 'apples and abc\n' >a.txt
printf '\xe3\x81\x82b\n' >b.txt

# Files, in argument order whatever the number of jobs; a UTF-16 dictionary
# reads as its UTF-8 twin.
"$prog" -d dict.txt a.txt b.txt >out1 2>err1
check "two files" test "$(cat out1)" = "$(printf 'ringos and Xc\n[a]b')"
check "quiet on success" test ! -s err1
for j in 1 2 4; do
    "$prog" -j $j -d dict.u16 a.txt big.txt b.txt a.txt >outj 2>/dev/null
    check "-j $j keeps the order" cmp -s outj <(cat out1 | head -1; "$prog" -d dict.txt big.txt; tail -1 out1; cat a.txt | "$prog" -d dict.txt)
done
check "pipe" test "$(printf 'ab' | "$prog" -d dict.txt --gloss -)" = "ab[X]"
"$prog" -d dict.txt -o out2 a.txt b.txt
check "-o" cmp -s out1 out2

# In place, with a backup; --counts and --stats.
cp a.txt c.txt
"$prog" -d dict.txt --in-place=.orig --counts used.tsv --stats c.txt 2>err3
check "in place" test "$(cat c.txt)" = "ringos and Xc"
check "backup" cmp -s a.txt c.txt.orig
check "counts" test "$(cat used.tsv)" = "$(printf 'ab\tX\t1\napple\tringo\t1')"
check "stats" grep -q '^velmora-replace: 1 file, 15 units, 2 replacements, .* MB/s$' err3

# The reader goes away: quiet, status 0.
"$prog" -d dict.txt big.txt big.txt 2>err4 | head -c 10 >/dev/null
status=("${PIPESTATUS[@]}")
check "closed pipe: status" test "${status[0]}" = 0
check "closed pipe: quiet" test ! -s err4

# Errors: one line naming the file and the reason, status 2, nothing written.
expect_error() { # expect_error MESSAGE ARGS...
    local message=$1
    shift
    "$prog" "$@" >out5 2>err5
    local status=$?
    check "$message: status" test $status = 2
    check "$message: message" test "$(cat err5)" = "velmora-replace: $message"
}
expect_error "nope.txt: No such file or directory" -d nope.txt a.txt
expect_error "nope: No such file or directory" -d dict.txt nope
printf 'ok\xffbad' >bad.txt
expect_error "bad.txt: invalid UTF-8 at byte 2" -d dict.txt bad.txt
check "bad text: nothing written" test ! -s out5
printf '\xfe\xffab' >be.txt
expect_error "be.txt: UTF-16BE is not supported (byte 0); save it as UTF-16LE or UTF-8" -d be.txt a.txt
expect_error "/dev/full: No space left on device" -d dict.txt -o /dev/full big.txt
expect_error "no/such/out: No such file or directory" -d dict.txt -o no/such/out a.txt
"$prog" -d dict.txt big.txt >/dev/full 2>err6
check "full standard output" test "$?:$(cat err6)" = "2:velmora-replace: standard output: No space left on device"
cp big.txt d.txt
"$prog" -d dict.txt -o d.txt a.txt nope 2>/dev/null
check "-o left whole after a failure" cmp -s big.txt d.txt
check "no temporary files" test -z "$(ls -A | grep '\.tmp$')"

# Split at line ends by GNU parallel: the same as one run (the dictionary
# holds no line break).
if command -v parallel >/dev/null; then
    "$prog" -q -d dict.txt big.txt >one.txt
    parallel --will-cite --pipe --keep-order --block 100k "$prog" -q -d dict.txt <big.txt >split.txt
    check "parallel --pipe --keep-order" cmp -s one.txt split.txt
    check "parallel really split" test "$(wc -l <big.txt)" -gt 1000
else
    echo "FAIL: GNU parallel is not installed" >&2
    fail=1
fi

exit $fail
