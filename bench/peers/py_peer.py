"""py_peer.py DICT.tsv TEXT.txt OUT.txt [gloss]: leftmost-longest replacement with
the ahocorasick module, UTF-8 in and out. Timings go to stderr.

iter_long() of the packaged module misses matches, so every match is taken
with iter() and the longest one starting at each position is kept; then the
starts are walked left to right, skipping those inside the previous match.
"""
import sys
import time
from array import array

import ahocorasick


def main():
    if len(sys.argv) < 4:
        sys.exit("usage: py_peer.py DICT.tsv TEXT.txt OUT.txt [gloss]")
    gloss = "gloss" in sys.argv[4:]
    start = time.perf_counter()

    t = time.perf_counter()
    befores, afters = [], []
    with open(sys.argv[1], encoding="utf-8", newline="") as f:
        for line in f.read().split("\n"):
            before, tab, after = line.partition("\t")
            if tab:
                befores.append(before)
                afters.append(after)
    read_dict = time.perf_counter() - t

    t = time.perf_counter()
    automaton = ahocorasick.Automaton(ahocorasick.STORE_INTS)
    for i, before in enumerate(befores):
        automaton.add_word(before, i)
    automaton.make_automaton()
    build = time.perf_counter() - t

    t = time.perf_counter()
    with open(sys.argv[2], encoding="utf-8", newline="") as f:
        text = f.read()
    read_text = time.perf_counter() - t

    t = time.perf_counter()
    lengths = [len(b) for b in befores]
    best = array("i", [-1]) * (len(text) + 1)  # start -> pattern of the longest match
    for end, i in automaton.iter(text):
        s = end - lengths[i] + 1
        if best[s] < 0 or lengths[best[s]] < lengths[i]:
            best[s] = i
    pieces, k, matches = [], 0, 0
    for s, i in enumerate(best):
        if i < 0 or s < k:
            continue
        pieces.append(text[k:s])
        e = s + lengths[i]
        pieces.append(text[s:e] + "[" + afters[i] + "]" if gloss else afters[i])
        k = e
        matches += 1
    pieces.append(text[k:])
    out = "".join(pieces)
    replace = time.perf_counter() - t

    t = time.perf_counter()
    with open(sys.argv[3], "w", encoding="utf-8", newline="") as f:
        f.write(out)
    write = time.perf_counter() - t

    ms = lambda x: x * 1000.0
    print(f"python: read dict {ms(read_dict):.1f} ms, build {ms(build):.1f} ms, read text {ms(read_text):.1f} ms, "
          f"replace {ms(replace):.1f} ms, write {ms(write):.1f} ms, total {ms(time.perf_counter() - start):.1f} ms; "
          f"matches {matches}", file=sys.stderr)


if __name__ == "__main__":
    main()
