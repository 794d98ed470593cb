"""A Replacer shipped to the worker processes of a real Dask cluster on 127.0.0.1."""
import json
import logging
import os

import dask
import dask.bag as dask_bag
import distributed

import velmora


def test_cluster_output_equals_one_process(tmp_path):
    r = velmora.Replacer([("\u6771\u4eac", "\u3068\u3046\u304d\u3087\u3046"), ("\U0001F600", "smile"), ("a", "A")])
    documents = [{"id": k, "text": f"\u6771\u4eac {k} \U0001F600 a\nline two \u6771\u4eac"} for k in range(400)]
    for part in range(4):
        with open(tmp_path / f"part{part}.jsonl", "w", encoding="utf-8") as out:
            for d in documents[part::4]:
                out.write(json.dumps(d, ensure_ascii=False) + "\n")

    def replace_text(d, replacer):
        return {**d, "text": replacer.replace(d["text"])}

    expected = [replace_text(d, r) for d in documents]
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                                  dashboard_address=None, silence_logs=logging.ERROR) as cluster, \
            distributed.Client(cluster) as client:
        docs = dask_bag.read_text(str(tmp_path / "*.jsonl")).map(json.loads)
        # As the README does it: the Replacer in one task of its own.
        result = docs.map(replace_text, dask.delayed(r)).compute()
        texts = docs.pluck("text").map(r.replace).compute()
        workers = client.run(os.getpid)
    assert len(workers) == 2
    assert sorted(result, key=lambda d: d["id"]) == sorted(expected, key=lambda d: d["id"])
    assert sorted(texts) == sorted(d["text"] for d in expected)
