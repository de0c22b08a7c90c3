#!/usr/bin/python3
"""train.py end to end on a tiny corpus: an interrupted run resumed gives the very network of a run that
went through, training from exported pools gives it too, and the weights are calibrated and exported as a
bundle with its facts."""
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import torch

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import corpus_index  # noqa: E402
import documents  # noqa: E402
import fit  # noqa: E402
from pieces import FILE, SNIPPET, PoolBuilder, random_windows, rows_of  # noqa: E402

FILES = {
    "Python": [b"import os\n\ndef f%d(x):\n    return [os.path.join(str(y), 'a') for y in range(x)]\n" * 6],
    "C": [b"#include <stdio.h>\nint f%d(int x) { for (int i = 0; i < x; i++) printf(\"%%d\\n\", i); return x; }\n" * 6],
    "dialog": [b"Dear all,\n\nThe meeting about the budget for the next quarter moves to Thursday afternoon.\n\n"
               b"Please send me your notes before then, so that I can put them together.\n\nThanks, Ann\n" * 2],
}


def make_corpus(cache):
    rows = []
    for cls, texts in FILES.items():
        for split in ("train", "val"):
            for i in range(6):
                fid = f"{cls}-{split}/{i}"
                path = os.path.join(cache, "files", fid)
                os.makedirs(os.path.dirname(path), exist_ok=True)
                data = texts[0].replace(b"%d", str(i).encode())
                open(path, "wb").write(data)
                rows.append({"id": fid, "class": cls, "project": f"{cls}-{split}", "split": split,
                             "bytes": len(data), "path": f"f{i}"})
    corpus_index.write_index(cache, rows)


QUIET = os.environ.get("VERBOSE") is None
TINY = ["--epochs", "2", "--per-class", "24", "--channels", "8,8,8", "--documents-per-step", "4",
        "--window-share", "0.5", "--mixed-per-class", "2", "--prose-documents", "2", "--documents-from", "0"]


def train(cache, work, *extra):
    subprocess.run([sys.executable, os.path.join(HERE, "train.py"), "--cache", cache, "--work", work, *TINY,
                    *extra], check=True, stderr=subprocess.DEVNULL if QUIET else None)


def weights(work):
    return torch.load(os.path.join(work, "checkpoint.pt"))["state"]


class Training(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.cache = os.path.join(cls.tmp.name, "corpus")
        make_corpus(cls.cache)
        cls.straight = os.path.join(cls.tmp.name, "straight")
        train(cls.cache, cls.straight, "--train-only")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def assertSameWeights(self, a, b):
        self.assertEqual(a.keys(), b.keys())
        for k in a:
            self.assertTrue(torch.equal(a[k], b[k]), k)

    def test_a_run_stopped_and_resumed_trains_the_same_network(self):
        work = os.path.join(self.tmp.name, "resumed")
        train(self.cache, work, "--train-only", "--stop-after", "1")
        self.assertFalse(os.path.exists(os.path.join(work, "training.json")))
        train(self.cache, work, "--train-only", "--resume")
        self.assertSameWeights(weights(self.straight), weights(work))
        history = json.load(open(os.path.join(work, "training.json")))["history"]
        straight = json.load(open(os.path.join(self.straight, "training.json")))["history"]
        self.assertEqual([h["train_loss"] for h in history], [h["train_loss"] for h in straight])
        self.assertTrue(all(h["document_loss"] is not None for h in history))

    def test_resume_refuses_a_state_of_other_settings(self):
        work = os.path.join(self.tmp.name, "other")
        train(self.cache, work, "--train-only", "--stop-after", "1")
        with self.assertRaises(subprocess.CalledProcessError):
            train(self.cache, work, "--train-only", "--resume", "--per-class", "30")

    def test_exported_pools_train_the_same_network_without_the_corpus(self):
        pools = os.path.join(self.tmp.name, "pools")
        train(self.cache, pools, "--export-pools")
        work = os.path.join(self.tmp.name, "elsewhere")
        train(os.path.join(self.tmp.name, "no-corpus"), work, "--train-only", "--pools", pools)
        self.assertSameWeights(weights(self.straight), weights(work))

    def test_rows_made_on_the_device_are_the_pool_rows(self):
        text = FILES["Python"][0] * 3 + FILES["C"][0]
        builder = PoolBuilder()
        for label, kind, part in ((0, FILE, text), (1, SNIPPET, text[:150])):
            builder.add(documents.text_pieces(part, random.Random(1)), label, kind)
        pool = builder.build()
        rows = fit.DeviceRows(pool, torch.device("cpu"))
        idx = np.array([0, len(pool.lengths) - 1, 1, 0])
        np.testing.assert_array_equal(rows(idx).numpy(), rows_of(pool.cols[idx], pool.lengths[idx]))
        starts, spans = random_windows(pool.lengths[idx], np.random.RandomState(2), 1.0)
        np.testing.assert_array_equal(rows(idx, starts, spans).numpy(),
                                      rows_of(pool.cols[idx], pool.lengths[idx], starts, spans))

    def test_calibration_and_export_write_the_bundle(self):
        work = os.path.join(self.tmp.name, "bundle-work")
        bundle = os.path.join(self.tmp.name, "bundle")
        train(self.cache, work, "--bundle", bundle)
        manifest = json.load(open(os.path.join(bundle, "manifest.json")))
        classes = open(os.path.join(bundle, "code.txt")).read().split("\n")[:-1]
        self.assertEqual(manifest["class_count"], len(classes))
        self.assertEqual(classes[-1], "dialog")
        calibration = json.load(open(os.path.join(work, "training.json")))["calibration"]
        self.assertGreater(calibration["documents"], 0)
        self.assertIn("mixed_documents", calibration["after"])
        self.assertGreater(os.path.getsize(os.path.join(bundle, "SCR.onnx")), 1000)


if __name__ == "__main__":
    unittest.main()
