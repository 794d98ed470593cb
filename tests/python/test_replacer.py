"""The Python module against the engine's case table, velmora-replace and its own promises."""
import json
import os
import pathlib
import pickle
import pydoc
import re
import signal
import subprocess
import sys
import threading

import cloudpickle
import pytest

import velmora

TESTS = pathlib.Path(__file__).resolve().parent.parent


def c_literal(body):
    """The string a C++ u"..." literal spells, one code point per UTF-16 unit or \\U escape."""
    simple = {"t": "\t", "r": "\r", "n": "\n", "\\": "\\", '"': '"', "0": "\0"}
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        kind = body[i + 1]
        if kind in "uU":
            width = 4 if kind == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + width], 16)))
            i += 2 + width
        elif kind == "x":
            digits = re.match(r"[0-9A-Fa-f]+", body[i + 2:]).group()
            out.append(chr(int(digits, 16)))
            i += 2 + len(digits)
        else:
            out.append(simple[kind])
            i += 2
    return "".join(out)


def engine_cases():
    """The rows {name, {pairs}, text, replaced, glossed} of the engine's scan table."""
    source = (TESTS / "EngineTableTest.cpp").read_text(encoding="utf-8")
    cases = []
    for line in source.splitlines():
        if not line.strip().startswith('{"'):
            continue
        name, *strings = [c_literal(s) for s in re.findall(r'"((?:[^"\\]|\\.)*)"', line)]
        *flat, text, replaced, glossed = strings
        cases.append(pytest.param(list(zip(flat[::2], flat[1::2])), text, replaced, glossed, id=name))
    assert len(cases) > 20, "the engine's case table was not found"
    return cases


def rebuilt(text, spans):
    """The text with each span's after-string in its place."""
    out, at = [], 0
    for start, end, _, after in spans:
        out += [text[at:start], after]
        at = end
    return "".join(out) + text[at:]


@pytest.mark.parametrize("pairs,text,replaced,glossed", engine_cases())
def test_engine_case_table(pairs, text, replaced, glossed):
    r = velmora.Replacer(pairs)
    assert r.replace(text) == replaced
    assert r.replace(text, gloss=True) == glossed
    spans = r.find(text)
    assert all(r.get(before) == after for _, _, before, after in spans)
    if all(text[start:end] == before for start, end, before, _ in spans):  # no match cuts a character in two
        assert rebuilt(text, spans) == replaced


@pytest.mark.parametrize("pairs,text,replaced,spans", [
    ([("\U0001F600", "smile")], "a\U0001F600b", "asmileb", [(1, 2, "\U0001F600", "smile")]),
    ([("\ud83d", "H")], "\U0001F600", "H\ude00", [(0, 1, "\ud83d", "H")]),
    ([("x", "X")], "x\udc00y\ud800", "X\udc00y\ud800", [(0, 1, "x", "X")]),
    ([("\udc00", "L")], "\ud83d\udc00\U0001F400", "\ud83dL\ud83dL", [(1, 2, "\udc00", "L"), (2, 3, "\udc00", "L")]),
    ([("\ud83d", "H"), ("\ude00", "L")], "\U0001F600\U0001F600", "HLHL",
     [(0, 1, "\ud83d", "H"), (0, 1, "\ude00", "L"), (1, 2, "\ud83d", "H"), (1, 2, "\ude00", "L")]),
    ([("a\ud83d", "A")], "xa\U0001F600a", "xA\ude00a", [(1, 3, "a\ud83d", "A")]),
    ([("a", "\U00020B9F")], "\xe9a", "\xe9\U00020B9F", [(1, 2, "a", "\U00020B9F")]),
    ([("\xe9", "e")], "caf\xe9 \u3042", "cafe \u3042", [(3, 4, "\xe9", "e")]),
], ids=["pair matched whole", "lone high key splits a pair", "lone surrogates in the text",
        "low key splits pairs too", "two matches share a character", "a match ends inside a character",
        "non-BMP after-string", "latin-1 and BMP text"])
def test_surrogates_and_string_kinds(pairs, text, replaced, spans):
    r = velmora.Replacer(pairs)
    assert r.replace(text) == replaced
    assert r.find(text) == spans
    # Long enough to be built in parts, which may end inside a character.
    assert r.replace(text * 200_001) == replaced * 200_001


def test_unchanged_text_comes_back_itself():
    text = "nothing to do here \U0001F600"
    assert velmora.Replacer([("zz", "y")]).replace(text) is text


def test_counts():
    r = velmora.Replacer([("ab", "X"), ("a", "Y"), ("a", "Z"), ("\U0001F600", "s")])
    assert r.counts("ab a \U0001F600 ab c a") == {"ab": 2, "a": 2, "\U0001F600": 1}
    assert list(r.counts("a ab")) == ["a", "ab"]
    assert r.counts("none") == {}
    assert len(r) == 3


def test_mapping_lookup_and_items(tmp_path):
    pairs = {"\uffff": "high", "\U00010000": "astral", "\u6771\u4eac": "\u3068\u3046\u304d\u3087\u3046", "a": "b"}
    r = velmora.Replacer(pairs)
    # In UTF-16 order, as save() writes them: U+10000 is D800 DC00, below U+FFFF.
    assert r.items() == [("a", "b"), ("\u6771\u4eac", pairs["\u6771\u4eac"]), ("\U00010000", "astral"), ("\uffff", "high")]
    r.save(tmp_path / "saved.vmd")
    assert velmora.Replacer.from_files(tmp_path / "saved.vmd").items() == r.items()
    assert [key in r for key in ["a", "\U00010000", "ab", "", "\ud800", 5]] == [True, True, False, False, False, False]
    assert [r.get("\uffff"), r.get("x"), r.get("x", "y"), r.get(None)] == ["high", None, "y", None]


@pytest.mark.parametrize("pairs", [
    [],
    [("ab", "X"), ("ab", "Y"), ("\U0001F600", "\u7b11"), ("a\r\nb", "J\tK\n"), ("\tc", "\ud800"), ("\udc00", "\ud83d")],
    [(f"\u6771{k}", f"<{k}>") for k in range(30000)],
], ids=["empty", "small", "large"])
def test_pickles_are_small_and_give_the_same_replacer(tmp_path, pairs):
    r = velmora.Replacer(pairs)
    r.save(tmp_path / "saved.vmd")
    pickled = pickle.dumps(r)
    assert len(pickled) < min(4096 + 30 * len(pairs), (tmp_path / "saved.vmd").stat().st_size)
    copy = pickle.loads(pickled)
    assert copy.items() == r.items()


def test_pickling_and_saving_give_the_same_replacer(tmp_path):
    r = velmora.Replacer([("ab", "X"), ("ab", "Y"), ("\U0001F600", "\u7b11"), ("a\r\nb", "J\tK\n"), ("\tc", "\ud800")])
    text = "ab a\r\nb \U0001F600\tc"
    copy = pickle.loads(pickle.dumps(r))
    assert (len(copy), copy.replace(text)) == (len(r), r.replace(text))
    # A compiled file's bytes, as pickles held them before, still load.
    path = tmp_path / "saved.vmd"
    r.save(path)
    old = velmora.Replacer.__new__(velmora.Replacer)
    old.__setstate__(path.read_bytes())
    assert old.items() == r.items()
    # Spark and Dask send rdd.map(r.replace) with cloudpickle.
    assert cloudpickle.loads(cloudpickle.dumps(r.replace))(text, gloss=True) == r.replace(text, gloss=True)
    assert velmora.Replacer.from_files(path).replace(text) == r.replace(text)


def dictionary_files(tmp_path):
    """Two dictionaries, UTF-16LE and UTF-8, joined across files, with a line that continues the next."""
    utf16 = tmp_path / "one.txt"
    utf16.write_bytes(b"\xff\xfe" + "ab\tX\r\nc\nd\tCD\n\U0001F600\t\u7b11\n".encode("utf-16-le"))
    utf8 = tmp_path / "two.txt"
    utf8.write_text("ab\tY\nabc\tZ\ttail\n\u3042\u3044\t\u30a2\u30a4\n", encoding="utf-8")
    return [utf16, utf8]


@pytest.mark.parametrize("gloss,compiled", [(False, False), (True, False), (False, True)])
def test_same_output_as_velmora_replace(tmp_path, gloss, compiled):
    files = dictionary_files(tmp_path)
    text = "ab abc c\nd \U0001F600\u3042\u3044 abcd\r\n" * 50
    source = tmp_path / "text.txt"
    source.write_text(text, encoding="utf-8", newline="")
    command = [os.environ["VELMORA_REPLACE"], "-q"] + [f"-d{f}" for f in files] + (["--gloss"] if gloss else [])
    expected = subprocess.run(command + [str(source)], check=True, capture_output=True).stdout.decode("utf-8")
    if compiled:  # merged in its place among the others as its text would be
        velmora.Replacer.from_files(files[1]).save(tmp_path / "two.vmd")
        files[1] = tmp_path / "two.vmd"
    assert velmora.Replacer.from_files(*files).replace(text, gloss=gloss) == expected


def test_find_in_a_text_scanned_in_windows():
    r = velmora.Replacer([("\ude00", "L"), ("ab", "X")])
    text = ("ab" + "x" * 996 + "\U0001F600") * 3000
    assert r.find(text) == [span for k in range(0, 3000 * 999, 999)
                            for span in [(k, k + 2, "ab", "X"), (k + 998, k + 999, "\ude00", "L")]]


@pytest.mark.parametrize("gloss", [False, True])
def test_long_json_values_as_the_module_replaces_them(tmp_path, gloss):
    """velmora-replace --jsonl takes a long value a window at a time: pairs split between windows, a value that
    needs \\u escapes and one without a match (its escapes as they came) come out as whole."""
    (tmp_path / "dict.txt").write_text("ab\tX\n\U0001F600\ts\n", encoding="utf-8")
    r = velmora.Replacer.from_files(tmp_path / "dict.txt")
    text = "ab" + "\U0001F601" * 1_500_000 + "c\U0001F600"
    lines = [json.dumps({"id": 1, "text": text}, ensure_ascii=False), json.dumps({"id": 2, "text": text}),
             '{"id": 3, "text": "' + "\\u00e9\\/ zz" * 300_000 + '"}']
    (tmp_path / "in.jsonl").write_text("\n".join(lines) + "\n", encoding="utf-8")
    command = [os.environ["VELMORA_REPLACE"], "-q", f"-d{tmp_path / 'dict.txt'}", "--jsonl", "text"]
    done = subprocess.run(command + (["--gloss"] if gloss else []) + [str(tmp_path / "in.jsonl")], check=True,
                          capture_output=True)
    replaced = r.replace(text, gloss=gloss)
    assert done.stdout.decode("utf-8").split("\n") == [
        json.dumps({"id": 1, "text": replaced}, ensure_ascii=False), json.dumps({"id": 2, "text": replaced}), lines[2], ""]


def test_threads_and_a_long_text_agree_with_one_thread():
    r = velmora.Replacer([(f"w{k}", f"<{k}>") for k in range(1000)] + [("\u3042", "\U0001F600")])
    lines = [f"w{k} w{k * 7 % 1000}x \u3042 w1" * 20 for k in range(400)]
    expected = [r.replace(line) for line in lines]
    results = {}

    def work(part):
        results[part] = [r.replace(line) for line in lines[part::4]]

    threads = [threading.Thread(target=work, args=(part,)) for part in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert [results[k % 4][k // 4] for k in range(len(lines))] == expected
    # Long enough to be scanned in parts on several cores.
    assert r.replace("\n".join(lines * 6)) == "\n".join(expected * 6)


def test_errors(tmp_path):
    good = dictionary_files(tmp_path)[0]
    (tmp_path / "latin1.txt").write_bytes(b"caf\xe9\tx\n")
    (tmp_path / "be.txt").write_bytes(b"\xfe\xff\x00a\x00\t\x00b\x00\n")
    with pytest.raises(FileNotFoundError) as missing:
        velmora.Replacer.from_files(good, tmp_path / "missing.txt")
    assert missing.value.filename == tmp_path / "missing.txt"
    with pytest.raises(IsADirectoryError):
        velmora.Replacer.from_files(tmp_path)
    for name in ["latin1.txt", "be.txt"]:
        with pytest.raises(ValueError, match=re.escape(str(tmp_path / name)) + ": "):
            velmora.Replacer.from_files(good, str(tmp_path / name))
    with pytest.raises(FileNotFoundError):
        velmora.Replacer([("a", "b")]).save(tmp_path / "no" / "such.vmd")
    velmora.Replacer([("a", "b")]).save(tmp_path / "whole.vmd")
    (tmp_path / "cut.vmd").write_bytes((tmp_path / "whole.vmd").read_bytes()[:-1])
    with pytest.raises(ValueError, match=re.escape(str(tmp_path / "cut.vmd")) + ": "):
        velmora.Replacer.from_files(tmp_path / "cut.vmd")
    r = velmora.Replacer([("a", "b")])
    state = (tmp_path / "whole.vmd").read_bytes()
    for forged in [state[:-1] + bytes([state[-1] ^ 1]), "a\0", "a\0\0", "\0b\0", "b\0x\0a\0x\0", "a\0x\0a\0y\0"]:
        with pytest.raises(ValueError, match="pickled Replacer"):
            velmora.Replacer.__new__(velmora.Replacer).__setstate__(forged)
    for again in [lambda: r.__init__([("c", "d")]), lambda: r.__setstate__(r.__getstate__())]:
        with pytest.raises(TypeError, match="made already"):
            again()
    assert r.replace("ac") == "bc"
    for pairs in [[("b\0c", "Y")], {"a": "\0"}]:
        with pytest.raises(ValueError, match="NUL"):
            velmora.Replacer(pairs)
    with pytest.raises(TypeError, match="at least one path"):
        velmora.Replacer.from_files()
    with pytest.raises(TypeError, match="pair 1"):
        velmora.Replacer([("a", "b"), "ab"])
    with pytest.raises(TypeError):
        velmora.Replacer([("a", b"b")])
    with pytest.raises(TypeError, match="never initialised"):
        velmora.Replacer.__new__(velmora.Replacer).replace("a")


def test_help_names_arguments_and_types():
    text = pydoc.render_doc(velmora.Replacer, renderer=pydoc.plaintext)
    for signature in ["__init__(self: Replacer, pairs: Iterable[tuple[str, str]] | Mapping[str, str]) -> None",
                      "from_files(*paths: str | bytes | os.PathLike) -> Replacer",
                      "save(self: Replacer, path: str | bytes | os.PathLike) -> None",
                      "get(self: Replacer, before: str, default: object = None) -> object",
                      "items(self: Replacer) -> list[tuple[str, str]]",
                      "find(self, /, text)", "find(text: str) -> list[tuple[int, int, str, str]]",
                      "replace(self, /, text, *, gloss=False)", "replace(text: str, *, gloss: bool = False) -> str"]:
        assert signature in text
    assert "handle" not in text and ": object)" not in text


def test_ctrl_c_stops_a_long_replace():
    r = velmora.Replacer([(chr(c), chr(c + 0x60)) for c in range(0x3041, 0x3097)])
    text = "".join(map(chr, range(0x3041, 0x3091))) * 400_000
    threading.Timer(0.1, os.kill, (os.getpid(), signal.SIGINT)).start()
    with pytest.raises(KeyboardInterrupt):
        r.replace(text)
    assert r.replace(text[:3]) == "\u30a1\u30a2\u30a3"


@pytest.mark.skipif(os.environ.get("VELMORA_SANITIZED") == "1", reason="the sanitizers reserve memory of their own")
@pytest.mark.parametrize("kind,gloss", [("\u3041", False), ("\u3041", True), ("a", False), ("\U0001F600", False)],
                         ids=["two-byte", "two-byte glossed", "one-byte", "four-byte"])
def test_memory_is_the_result_and_at_most_one_copy_of_the_text(kind, gloss):
    """A text long enough to be scanned in several windows, replaced as its pieces are."""
    script = f"""
import resource, velmora
r = velmora.Replacer([(chr(c), chr(c + 1)) for c in range(ord({kind!r}), ord({kind!r}) + 80)])
piece = "".join(chr(ord({kind!r}) + k % 90) for k in range(1000))
text = piece * 20_000
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
out = r.replace(text, gloss={gloss})
grown = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - before
size = lambda s: len(s) * (1 if s.isascii() else 2 if max(s[:1000]) < "\\U00010000" else 4)
print(grown <= size(out) + size(text) + 64_000_000, out == r.replace(piece, gloss={gloss}) * 20_000,
      r.counts(text) == {{k: n * 20_000 for k, n in r.counts(piece).items()}}, grown)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert done.stdout.split()[:3] == ["True", "True", "True"], done.stdout + done.stderr


@pytest.mark.skipif(os.environ.get("VELMORA_SANITIZED") == "1", reason="the sanitizers reserve memory of their own")
@pytest.mark.parametrize("room", [20_000_000, 300_000_000], ids=["while scanning", "making the result"])
def test_running_out_of_memory_raises_memory_error(room):
    script = f"""
import re, resource, velmora
r = velmora.Replacer([("a", "bbbbbbbb")])
text = "a" * 50_000_000
mapped = int(re.search(r"VmSize:\\s+(\\d+) kB", open("/proc/self/status").read()).group(1)) * 1024
resource.setrlimit(resource.RLIMIT_AS, (mapped + {room}, resource.RLIM_INFINITY))
try:
    r.replace(text)
except MemoryError:
    print("MemoryError")
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=120)
    assert (done.returncode, done.stdout.strip()) == (0, "MemoryError"), done.stderr
