#!/usr/bin/env bash
# velmora_replace.sh PROGRAM: the built velmora-replace on files, pipes, a
# closed pipe, a full disk and error cases, --output-dir, --jsonl, compiled
# dictionaries, and the GNU parallel recipes of the manual page giving the
# output of one run.
set -uo pipefail
prog=$(realpath "$1")
dir=$(mktemp -d)
sshd_pid=
trap '[ -z "$sshd_pid" ] || kill "$sshd_pid"; rm -rf "$dir"' EXIT
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

# Started with standard input and error closed: no message lands in a
# rewritten file.
cp big.txt e.txt
"$prog" -q -j2 -d dict.txt -i e.txt nope 0<&- 2>&-
check "closed descriptors: status" test $? = 2
check "closed descriptors: no message in the file" cmp -s e.txt <("$prog" -q -d dict.txt big.txt)

# --counts only after a run that succeeded; -i on a FIFO fails at once.
printf 'old\n' >kept.tsv
"$prog" -q -d dict.txt --counts kept.tsv a.txt nope >/dev/null 2>&1
check "counts kept after a failure" test "$(cat kept.tsv)" = old
mkfifo fifo
timeout 60 "$prog" -d dict.txt -i fifo 2>err9
check "-i on a FIFO" test "$?:$(cat err9)" = "2:velmora-replace: fifo: not a regular file, so it cannot be rewritten in place"

# Dictionaries that never end or would not fit: one line and status 2, also
# under a memory limit (which sanitizer builds cannot run under).
expect_error "/dev/zero: not a regular file or a pipe" -d /dev/zero a.txt
truncate -s 30G sparse.txt
printf '\xff\xfe' >sparse16.txt
truncate -s 30G sparse16.txt
if (ulimit -v 400000 && "$prog" --version >/dev/null 2>&1); then
    limited() { (ulimit -v 400000 && exec "$prog" "$@"); }
    limited -d sparse.txt a.txt >/dev/null 2>err7
    check "sparse dictionary: refused at its start" test "$?:$(cat err7)" = \
        "2:velmora-replace: sparse.txt: NUL byte at byte 0, not UTF-8 text (UTF-16 needs the mark FF FE)"
    limited -d sparse16.txt a.txt >/dev/null 2>err7
    check "sparse UTF-16 dictionary: out of memory" test "$?:$(cat err7)" = \
        "2:velmora-replace: sparse16.txt: the dictionary does not fit in memory"
else
    echo "SKIP: the program cannot run under ulimit -v (a sanitizer build)" >&2
fi
rm -f sparse.txt sparse16.txt

# A before-string with a line break: said once when standard input is read.
printf 'a\nb\tX\n\tc\td\n' >breaks.txt
printf 'x\ny\n' | "$prog" -q -d breaks.txt -d dict.txt - a.txt >/dev/null 2>err8
check "line break warning" test "$(grep -c 'warning: a before-string holds a line break' err8)" = 1
"$prog" -q -d breaks.txt a.txt >/dev/null 2>err8
check "no warning for files" test ! -s err8

# A writer in another PID namespace keeps its temporary file while it
# writes, whatever process ids this namespace sees.
if unshare --user --map-root-user --pid --fork true 2>/dev/null; then
    mkfifo slow
    unshare --user --map-root-user --pid --fork "$prog" -q -d dict.txt -o ns.out slow &
    writer=$!
    exec 7>slow
    for _ in $(seq 100); do
        [ -n "$(ls -A | grep '^\.ns\.out\..*\.tmp$')" ] && break
        sleep 0.1
    done
    "$prog" -q -d dict.txt -o ns.out a.txt
    check "other namespace: live temporary kept" test -n "$(ls -A | grep '^\.ns\.out\..*\.tmp$')"
    printf 'ab' >&7
    exec 7>&-
    wait $writer
    check "other namespace: its writer finishes" test "$?:$(cat ns.out)" = 0:X
else
    echo "SKIP: unshare cannot make a user and PID namespace here" >&2
fi

# --output-dir: each output under its file name, several at once; never
# over an input.
"$prog" -q -j 2 -d dict.txt --output-dir out a.txt big.txt b.txt
for f in a.txt big.txt b.txt; do
    check "--output-dir $f" cmp -s out/$f <("$prog" -q -d dict.txt $f)
done
expect_error "./a.txt is the input a.txt: it is not written over" -d dict.txt --output-dir . a.txt
check "--output-dir: the input kept" test "$(cat a.txt)" = "apples and abc"

# --jsonl: the field's text replaced as the plain text is, line breaks and
# all; a bad line writes nothing.
python3 - <<'PY'
import json, random
random.seed(3)
lines = open("big.txt", encoding="utf-8", newline="").read().split("\n")
docs = ["\r\n".join(lines[k:k + 7]) for k in range(0, len(lines), 7)]
with open("big.jsonl", "w", encoding="utf-8", newline="") as f:
    for k, d in enumerate(docs):
        f.write(json.dumps({"id": k, "text": d}, ensure_ascii=k % 2 == 0) + "\n")
open("docs.txt", "w", encoding="utf-8", newline="").write("\n".join(docs))
PY
"$prog" -q -d dict.txt --jsonl text big.jsonl >one.jsonl
python3 -c '
import json, sys
sys.stdout.buffer.write("\n".join(json.loads(l)["text"] for l in open("one.jsonl", encoding="utf-8")).encode())' >docs.out
check "--jsonl replaces as plain text" cmp -s docs.out <("$prog" -q -d dict.txt docs.txt)
printf '{"text":"apple"}\n{"txt":"apple"}\n' >bad.jsonl
expect_error 'bad.jsonl: line 2: no field "text"' -d dict.txt --jsonl text bad.jsonl
check "--jsonl: nothing written" test ! -s out5
"$prog" -q -d dict.txt --jsonl text --keep-bad-lines bad.jsonl >out5 2>err5
check "--keep-bad-lines: status and message" \
    test "$?: $(cat err5)" = '0: velmora-replace: bad.jsonl: 1 line kept unchanged (line 2: no field "text")'
check "--keep-bad-lines: the line kept" test "$(tail -1 out5)" = '{"txt":"apple"}'

# A compiled dictionary, whatever its name, gives the output and counts of its
# sources, joins included, alone or merged with more; a damaged one is refused.
printf 'ab\tY\napple\tringo\n' >more.txt
printf 'ab\tZ\nbig\tB\n' >extra.txt
"$prog" --compile compiled.txt -d dict.txt -d more.txt
check "compile" test "$?" = 0
for mode in "" --gloss; do
    "$prog" -q $mode -d dict.txt -d more.txt --counts c1.tsv big.txt a.txt >plain.out
    "$prog" -q $mode -d compiled.txt --counts c2.tsv big.txt a.txt >compiled.out
    check "compiled $mode: same output" test "$(sha256sum <plain.out)" = "$(sha256sum <compiled.out)"
    check "compiled $mode: same counts" cmp -s c1.tsv c2.tsv
done
cat compiled.txt | "$prog" -q --gloss -d /dev/stdin big.txt a.txt >piped.out
check "compiled through a pipe" cmp -s piped.out compiled.out
"$prog" -q -d dict.txt -d more.txt -d extra.txt big.txt a.txt >plain.out
"$prog" -q -d compiled.txt -d extra.txt big.txt a.txt >compiled.out
check "compiled and text mixed" test "$(sha256sum <plain.out)" = "$(sha256sum <compiled.out)"
expect_error "/proc/self/mem: Input/output error" -d /proc/self/mem a.txt
head -c 1000 compiled.txt >cut.vmd
"$prog" -d cut.vmd a.txt >out7 2>err7
check "cut compiled dictionary: status" test "$?" = 2
check "cut compiled dictionary: message" grep -q '^velmora-replace: cut.vmd: the compiled dictionary is truncated' err7
check "cut compiled dictionary: nothing written" test ! -s out7

# The recipes of the manual page give the bytes of one run. GNU parallel
# cuts a file at line ends (the dictionary holds no line break; JSON lines
# keep theirs inside their strings).
same() { # same NAME FILE FILE: equal SHA-256
    check "$1" test "$(sha256sum <"$2")" = "$(sha256sum <"$3")"
}
"$prog" -q -d dict.txt big.txt >one.txt
parallel --will-cite -j 3 --pipepart -a big.txt --block -1 -k "$prog" -q -d dict.txt >split.txt
same "parallel --pipepart" one.txt split.txt
parallel --will-cite -j 3 --pipepart -a big.jsonl --block -1 -k "$prog" -q -d dict.txt --jsonl text >split.jsonl
same "parallel --pipepart, JSON lines" one.jsonl split.jsonl

# Many machines: GNU parallel over ssh, the compiled dictionary sent once per host,
# files in batches; here one sshd on 127.0.0.1 with a throwaway key.
ssh_recipe() {
    [ "$(id -u)" = 0 ] || { skip="sshd needs root"; return 1; }
    command -v rsync >/dev/null || { skip="rsync is not installed"; return 1; }
    [ -x /usr/sbin/sshd ] || { skip="openssh-server is not installed"; return 1; }
    mkdir -p ssh remote local/corpus /run/sshd
    ssh-keygen -q -t ed25519 -N '' -f ssh/host && ssh-keygen -q -t ed25519 -N '' -f ssh/id || { skip="no key"; return 1; }
    cp ssh/id.pub ssh/authorized_keys
    local port
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    printf '%s\n' "Port $port" "ListenAddress 127.0.0.1" "HostKey $PWD/ssh/host" "PidFile none" \
        "AuthorizedKeysFile $PWD/ssh/authorized_keys" "StrictModes no" "UsePAM no" \
        "PasswordAuthentication no" "PermitRootLogin prohibit-password" "LogLevel ERROR" >ssh/sshd_config
    /usr/sbin/sshd -D -e -f ssh/sshd_config 2>ssh/sshd.log &
    sshd_pid=$!
    local ssh="ssh -F /dev/null -i $PWD/ssh/id -p $port -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null -o BatchMode=yes -o LogLevel=ERROR"
    for _ in $(seq 50); do $ssh 127.0.0.1 true 2>/dev/null && break; sleep 0.1; done
    $ssh 127.0.0.1 true || { skip="sshd did not start: $(cat ssh/sshd.log)"; return 1; }
    for k in 1 2 3; do cp big.txt local/corpus/t$k.txt; done
    cp a.txt b.txt local/corpus/ && "$prog" --compile local/dict.vmd -d dict.txt
    (cd local && parallel --will-cite --ssh "$ssh" -S 1/127.0.0.1 --workdir "$dir/remote" --basefile dict.vmd \
        -N 3 --transferfile {} --return out/{/} --cleanup \
        "$prog" -q -d dict.vmd --output-dir out {} ::: corpus/*.txt)
    check "parallel over ssh: status" test $? = 0
    for f in local/corpus/*.txt; do
        same "parallel over ssh: $f" local/out/"$(basename "$f")" <("$prog" -q -d dict.txt "$f")
    done
    check "parallel over ssh: cleaned up" test -z "$(ls -A remote 2>/dev/null)"
}
ssh_recipe || echo "SKIP: parallel over ssh: $skip" >&2

exit $fail
