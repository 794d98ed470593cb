#!/usr/bin/python3
"""The Python module's figures on real data (bench/real_data.sh DIR first):

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py DIR

the one-off load of the Japanese dictionary; replace on 5,000 documents of
3 KB on one thread and on two; one long text; pickling the Replacer and
loading it in another process against loading its dictionary file, text or
saved (compiled), there.
Each figure is the fastest of REPEAT runs (5 by default). On a machine that
others keep busy, two threads rarely get two cores at once; as root,
`chrt -f 1 /usr/bin/python3 bench/python_bench.py DIR` gives them the cores."""
import os
import pickle
import subprocess
import sys
import tempfile
import threading
import time

import velmora

REPEAT = int(os.environ.get("REPEAT", "5"))


def fastest(f):
    best = float("inf")
    for _ in range(REPEAT):
        start = time.perf_counter()
        f()
        best = min(best, time.perf_counter() - start)
    return best


def documents(text, count, size):
    """`count` pieces of `size` UTF-8 bytes (cut at character boundaries), taken round the text."""
    data = text.encode("utf-8")
    docs, at = [], 0
    while len(docs) < count:
        if at + size > len(data):
            at = 0
        end = at + size
        while end < len(data) and (data[end] & 0xC0) == 0x80:
            end += 1
        docs.append(data[at:end].decode("utf-8"))
        at = end
    return docs


def in_threads(r, docs, threads, cpu):
    """Replaces `docs` on `threads` threads; appends the CPU seconds of the busiest to `cpu`."""
    used = [0.0] * threads

    def work(part):
        start = time.thread_time()
        for d in docs[part::threads]:
            r.replace(d)
        used[part] = time.thread_time() - start

    workers = [threading.Thread(target=work, args=(k,)) for k in range(threads)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    cpu.append(max(used))


CHILD = """
import pickle, sys, time, velmora
state = open(sys.argv[1], "rb").read()
best = [float("inf")] * 3
for _ in range(int(sys.argv[4])):
    for k, load in enumerate([lambda: pickle.loads(state), lambda: velmora.Replacer.from_files(sys.argv[2]),
                              lambda: velmora.Replacer.from_files(sys.argv[3])]):
        start = time.perf_counter()
        r = load()
        best[k] = min(best[k], time.perf_counter() - start)
print(*best)
"""


def main():
    folder = sys.argv[1]
    dictionary = os.path.join(folder, "ja.dict.u16")
    start = time.perf_counter()
    r = velmora.Replacer.from_files(dictionary)
    print(f"load {dictionary}: {len(r):,} pairs in {time.perf_counter() - start:.3f} s")

    with open(os.path.join(folder, "ja.text.txt"), encoding="utf-8") as f:
        text = f.read()
    docs = documents(text, 5000, 3000)
    units = sum(len(d) for d in docs)
    cpu_one, cpu_two = [], []
    one = fastest(lambda: in_threads(r, docs, 1, cpu_one))
    two = fastest(lambda: in_threads(r, docs, 2, cpu_two))
    print(f"5,000 documents of 3 KB ({units:,} characters): one thread {one:.3f} s "
          f"({one / len(docs) * 1e6:.0f} us a document), two threads {two:.3f} s: {one / two:.2f} times the throughput")
    # On a busy machine the threads wait for a core; their CPU time does not.
    print(f"  CPU time of the busiest thread: one thread {min(cpu_one):.3f} s, two threads {min(cpu_two):.3f} s "
          f"(load average {os.getloadavg()[0]:.1f} on {os.cpu_count()} cores)")

    cpu = time.process_time()
    long = fastest(lambda: r.replace(text))
    cpu = (time.process_time() - cpu) / REPEAT
    print(f"one text of {len(text):,} characters: {long:.3f} s, {cpu / long:.2f} cores busy on average")

    with tempfile.TemporaryDirectory() as folder:
        start = time.perf_counter()
        data = pickle.dumps(r)
        dumped = time.perf_counter() - start
        with open(os.path.join(folder, "state"), "wb") as state:
            state.write(data)
        compiled = os.path.join(folder, "ja.vmd")
        r.save(compiled)
        out = subprocess.run([sys.executable, "-c", CHILD, state.name, dictionary, compiled, str(REPEAT)],
                             check=True, capture_output=True, text=True).stdout.split()
    loaded, from_text, from_compiled = (float(x) for x in out)
    print(f"pickle: {len(data):,} bytes made in {dumped:.3f} s; in another process pickle.loads {loaded:.3f} s, "
          f"Replacer.from_files {from_text:.3f} s from the text file, {from_compiled:.3f} s from the saved one")


if __name__ == "__main__":
    main()
