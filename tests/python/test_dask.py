"""A Replacer shipped to the worker processes of a real Dask cluster on 127.0.0.1."""
import json
import logging
import os
import pathlib
import textwrap

import dask
import dask.bag as dask_bag
import dask.distributed
import distributed
import pytest

import velmora

README = pathlib.Path(__file__).resolve().parents[2] / "README.md"
PAIRS = [("\u6771\u4eac", "\u3068\u3046\u304d\u3087\u3046"), ("\U0001F600", "smile"), ("a", "A")]
DOCUMENTS = [{"id": k, "text": f"\u6771\u4eac {k} \U0001F600 a\nline two \u6771\u4eac"} for k in range(400)]


@pytest.fixture(scope="module")
def cluster():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, silence_logs=logging.ERROR) as cluster:
        yield cluster


def write_corpus(folder):
    folder.mkdir()
    for part in range(4):
        with open(folder / f"part{part}.jsonl", "w", encoding="utf-8") as out:
            for d in DOCUMENTS[part::4]:
                out.write(json.dumps(d, ensure_ascii=False) + "\n")


def replace_text(d, replacer):
    return {**d, "text": replacer.replace(d["text"])}


def test_cluster_output_equals_one_process(tmp_path, cluster):
    r = velmora.Replacer(PAIRS)
    write_corpus(tmp_path / "corpus")
    expected = [replace_text(d, r) for d in DOCUMENTS]
    with distributed.Client(cluster) as client:
        docs = dask_bag.read_text(str(tmp_path / "corpus" / "*.jsonl")).map(json.loads)
        result = docs.map(replace_text, dask.delayed(r)).compute()
        texts = docs.pluck("text").map(r.replace).compute()
        workers = client.run(os.getpid)
    assert len(workers) == 2
    assert sorted(result, key=lambda d: d["id"]) == sorted(expected, key=lambda d: d["id"])
    assert sorted(texts) == sorted(d["text"] for d in expected)


def test_the_readme_example_as_written(tmp_path, cluster, monkeypatch):
    """The README's Dask example, its Client() on the cluster; its files joined as cat joins them."""
    readme = README.read_text(encoding="utf-8")
    block = readme[readme.index("\n", readme.index("With Dask, over JSON lines")):readme.index("With PySpark")]
    code = textwrap.dedent("\n".join(line for line in block.splitlines() if line.startswith("    ") or not line))
    assert "to_textfiles(" in code
    (tmp_path / "dict.txt").write_text("".join(f"{b}\t{a}\n" for b, a in PAIRS), encoding="utf-8")
    write_corpus(tmp_path / "corpus")
    clients = []
    monkeypatch.setattr(dask.distributed, "Client", lambda: clients.append(distributed.Client(cluster)) or clients[-1])
    monkeypatch.chdir(tmp_path)
    try:
        exec(compile(code, str(README), "exec"), {"__name__": "__main__"})
    finally:
        for client in clients:
            client.close()
    assert len(clients) == 1
    joined = "".join(f.read_text(encoding="utf-8") for f in sorted((tmp_path / "replaced").glob("*.jsonl")))
    r = velmora.Replacer(PAIRS)
    assert joined.endswith("\n")
    assert sorted((json.loads(line) for line in joined.splitlines()), key=lambda d: d["id"]) == \
        [replace_text(d, r) for d in DOCUMENTS]
