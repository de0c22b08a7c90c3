"""The bundle: the exported ONNX graph with its facts in the metadata, the class file and manifest.json."""
import datetime
import json
import os

import numpy as np
import torch

import prep
from model import OneHotFront

SEED = 20231018
FORMAT_VERSION = 1


def check_front(front, model, tries=8):
    """The exported graph must score one-hot rows as the trained network scores their indices."""
    rng = np.random.RandomState(SEED)
    for _ in range(tries):
        filled = rng.randint(1, prep.POSITIONS + 1)
        rows = np.full(prep.POSITIONS, prep.COLUMNS, dtype=np.int64)
        rows[:filled] = rng.randint(0, prep.COLUMNS, filled)
        feature4 = torch.zeros(1, prep.POSITIONS, prep.COLUMNS)
        feature4[0, np.arange(filled), rows[:filled]] = 1.0
        with torch.no_grad():
            gap = float((front(feature4) - model.forward_rows(torch.from_numpy(rows)[None])).abs().max())
        if gap > 1e-3:
            raise SystemExit(f"exported graph differs from the network by {gap}")


def export(model, classes, bundle, facts):
    model.eval()
    front = OneHotFront(model).eval()
    check_front(front, model)
    dummy = torch.zeros(1, prep.POSITIONS, prep.COLUMNS)
    path = os.path.join(bundle, "SCR.onnx")
    torch.onnx.export(front, dummy, path, input_names=["feature4"], output_names=["de_pred"], opset_version=13,
                      do_constant_folding=True)
    import onnx
    m = onnx.load(path)
    for key, value in facts.items():
        prop = m.metadata_props.add()
        prop.key, prop.value = key, str(value)
    m.producer_name = "quorvel-training"
    onnx.checker.check_model(m)
    onnx.save(m, path)
    with open(os.path.join(bundle, "code.txt"), "w") as fh:
        fh.write("\n".join(classes) + "\n")
    return path


def write_manifest(bundle, facts, classes, cache, training):
    """manifest.json: the facts a loader or a reader of the bundle needs, and what the model was trained on."""
    summary_path = os.path.join(cache, "summary.json")
    corpus = json.load(open(summary_path)) if os.path.exists(summary_path) else {}
    per_class = {c: {side: e[side] for side in ("train", "val", "test")}
                 for c, e in corpus.get("summary", {}).items()}
    manifest = {
        "generated_by": "training/train.py",
        "format_version": facts["format_version"],
        "model": "SCR.onnx", "class_file": "code.txt",
        "alphabet": facts["alphabet"], "piece_bytes": prep.PIECE_BYTES,
        "input": {"name": "feature4", "type": "float32", "shape": [1, prep.POSITIONS, prep.COLUMNS]},
        "output": {"name": "de_pred", "type": "float32", "shape": [1, len(classes)],
                   "meaning": "raw score per class, summed by the library before softmax"},
        "opset": 13, "class_count": len(classes), "classes": classes,
        "training_data": {"sources": "training/manifest (Debian bookworm source and binary packages, npm packages, "
                                     "GitHub repositories)",
                          "projects": corpus.get("projects"), "files_per_class": per_class,
                          "training_minutes": round(training.get("train_minutes", 0.0), 1),
                          "trained_on": training.get("trained_on", "this machine's CPU"),
                          "seed": SEED},
        "date": facts["date"],
    }
    with open(os.path.join(bundle, "manifest.json"), "w") as fh:
        json.dump(manifest, fh, indent=1)
        fh.write("\n")


def bundle_facts(classes, cache):
    """The facts written into the graph's metadata (and checked by the library at load)."""
    facts = {"format_version": FORMAT_VERSION, "alphabet": prep.ALPHABET.decode(), "piece_bytes": prep.PIECE_BYTES,
             "input": "feature4 float [1,510,96]", "output": f"de_pred float [1,{len(classes)}]",
             "classes": len(classes), "class_file": "code.txt",
             "date": datetime.date.today().isoformat()}
    summary_path = os.path.join(cache, "summary.json")
    if os.path.exists(summary_path):
        summary = json.load(open(summary_path))
        files = sum(e["train"]["files"] for e in summary["summary"].values())
        facts["training_data"] = (f"{files} training files from {summary['projects']} projects (Debian bookworm "
                                  f"source and binary packages, npm packages, GitHub repositories, training/manifest)")
    return facts
