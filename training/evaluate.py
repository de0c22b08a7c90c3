#!/usr/bin/python3
"""Evaluates the bundle through the built C++ library and writes the model card.

  1. the test split (whole projects never seen in training), at most EVAL_CAP files per class, and one
     snippet of 100 to 500 bytes (whole lines) of each of those files
  2. training/eval/quorvel_eval classifies every file with QuorvelParse (host defaults); the first class
     of the result is the answer, "dialog" and a 0 return count as dialog
  3. one inference timed on one thread
  4. the peers (VS Code's language detection, highlight.js) on the same files, content only
  5. data/models/SCR/MODEL.md, confusion.png and evaluation.json
"""
import argparse
import collections
import datetime
import json
import os
import platform
import subprocess
import sys
import random
import zlib

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import corpus_index  # noqa: E402
import labels  # noqa: E402
import pool_build  # noqa: E402
from calibrate import MAX_LOST_TO_DIALOG, short_snippet  # noqa: E402

EVAL_CAP = 300
PEER_CAP = 12   # files per class for the peers, which take about a second a file here
TARGET_CODE, TARGET_PROSE, TARGET_SHORT, TARGET_MS, TARGET_MB = 0.95, 0.99, 0.85, 0.3, 10.0
TARGET_CLASS, CLASS_MIN_PROJECTS = 0.85, 12   # no class with this many test projects below TARGET_CLASS
TARGET_MIXED, TARGET_PROSE_DOCS = 0.90, 0.99
# Documents of test prose: MIXED_PER_CLASS with a pasted snippet of a test file of each code class, and
# PROSE_DOCS of prose alone, each of DOC_BYTES; parsed in mode 0, the whole text covered.
MIXED_PER_CLASS, PROSE_DOCS, DOC_BYTES, PEER_DOCS = 20, 300, (1000, 4096), 6
VSCODE_MIN_CONFIDENCE = 0.2   # below it VS Code's detector is taken as having no answer (plain text)
HLJS_MIN_RELEVANCE = 5        # the same for highlight.js


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def split_files(cache, wanted="test"):
    by_class = collections.defaultdict(list)
    for r in corpus_index.of_split(corpus_index.read_index(cache), wanted):
        by_class[r["class"]].append((zlib.crc32(r["id"].encode()), r["id"], r["class"]))
    chosen = []
    for cls in labels.CLASSES:
        chosen += [(fid, c) for _, fid, c in sorted(by_class.get(cls, []))[:EVAL_CAP]]
    return chosen


def write_lists(cache, work, chosen):
    os.makedirs(os.path.join(work, "short"), exist_ok=True)
    full, short = [], []
    for fid, cls in chosen:
        path = os.path.join(cache, "files", fid)
        full.append(f"{fid}\t{cls}\t{path}")
        snip = short_snippet(open(path, "rb").read(), zlib.crc32(fid.encode()))
        if snip is not None:
            spath = os.path.join(work, "short", fid.replace("/", "_"))
            open(spath, "wb").write(snip)
            short.append(f"{fid}\t{cls}\t{spath}")
    for name, rows in (("full", full), ("short", short)):
        open(os.path.join(work, name + ".tsv"), "w").write("\n".join(rows) + "\n")
        taken, subset = collections.Counter(), []
        for row in rows:
            cls = row.split("\t")[1]
            if taken[cls] < PEER_CAP:
                taken[cls] += 1
                subset.append(row)
        write_if_changed(os.path.join(work, name + ".peers.tsv"), "\n".join(subset) + "\n")


def write_if_changed(path, text):
    """Keeps the file (and the peer results made from it) when its content is the same."""
    if os.path.exists(path) and open(path).read() == text:
        return
    open(path, "w").write(text)


def document(prose_paths, code_paths, rng):
    """A document of DOC_BYTES from a random prose file (and a pasted snippet of a random code file when
    code_paths is given); None when ten tries give none of that size."""
    for _ in range(10):
        code = open(rng.choice(code_paths), "rb").read() if code_paths else None
        text = pool_build.document_text(open(rng.choice(prose_paths), "rb").read(), code, rng)
        if text is not None and DOC_BYTES[0] <= len(text) <= DOC_BYTES[1]:
            return text
    return None


def write_documents(cache, work, wanted="test"):
    """docs.tsv (and docs.peers.tsv, PEER_DOCS of each class): mixed and prose documents made of the split's
    files, the same ones every run. The class of a mixed document is the pasted code's."""
    by_class = collections.defaultdict(list)
    for r in corpus_index.of_split(corpus_index.read_index(cache), wanted):
        by_class[r["class"]].append((zlib.crc32(r["id"].encode()), corpus_index.file_path(cache, r)))
    paths = {c: [p for _, p in sorted(v)] for c, v in by_class.items()}
    prose = paths.get("dialog", [])
    folder = os.path.join(work, "docs")
    os.makedirs(folder, exist_ok=True)
    rng = random.Random(pool_build.SEED)
    rows, subset = [], []
    if not prose:
        return
    for cls in labels.CLASSES:
        code = None if cls == "dialog" else paths.get(cls)
        if cls != "dialog" and not code:
            continue
        for i in range(PROSE_DOCS if cls == "dialog" else MIXED_PER_CLASS):
            text = document(prose, code, rng)
            if text is None:
                continue
            path = os.path.join(folder, f"{cls}-{i}.txt")
            open(path, "wb").write(text)
            rows.append(f"doc/{cls}-{i}\t{cls}\t{path}")
            if i < PEER_DOCS * (10 if cls == "dialog" else 1):
                subset.append(rows[-1])
    open(os.path.join(work, "docs.tsv"), "w").write("\n".join(rows) + "\n")
    write_if_changed(os.path.join(work, "docs.peers.tsv"), "\n".join(subset) + "\n")


def read_results(path):
    rows = []
    for line in open(path):
        parts = line.rstrip("\n").split("\t")
        answers = [a for a in parts[4].split("; ") if a] if len(parts) > 4 and parts[2] != "0" else []
        rows.append({"id": parts[0], "class": parts[1], "answer": parts[3], "answers": answers or [parts[3]]})
    return rows


def document_scores(rows, answer_key="answer", answers_key="answers"):
    """Mixed documents: the pasted code's class among the answers; prose documents: answered "dialog"."""
    mixed = [r for r in rows if r["class"] != "dialog"]
    prose = [r for r in rows if r["class"] == "dialog"]
    per_class = collections.defaultdict(list)
    for r in mixed:
        per_class[r["class"]].append(r["class"] in r[answers_key])
    return {"mixed_found": sum(r["class"] in r[answers_key] for r in mixed) / max(len(mixed), 1),
            "prose_dialog": sum(r[answer_key] == "dialog" for r in prose) / max(len(prose), 1),
            "mixed": len(mixed), "prose": len(prose),
            "per_class": {c: sum(v) / len(v) for c, v in per_class.items()}}


def scores(rows, answer_key="answer"):
    per_class = collections.defaultdict(lambda: [0, 0])
    for r in rows:
        per_class[r["class"]][1] += 1
        per_class[r["class"]][0] += r[answer_key] == r["class"]
    code = [r for r in rows if r["class"] != "dialog"]
    prose = [r for r in rows if r["class"] == "dialog"]
    acc = {c: v[0] / v[1] for c, v in per_class.items()}
    code_classes = [c for c in acc if c != "dialog"]
    return {
        "code_top1": sum(r[answer_key] == r["class"] for r in code) / max(len(code), 1),
        "code_top1_class_mean": sum(acc[c] for c in code_classes) / max(len(code_classes), 1),
        "prose_dialog": sum(r[answer_key] == "dialog" for r in prose) / max(len(prose), 1),
        "all_top1": sum(r[answer_key] == r["class"] for r in rows) / max(len(rows), 1),
        "per_class": acc, "counts": {c: v[1] for c, v in per_class.items()},
        "code_files": len(code), "prose_files": len(prose),
    }


def confusion_png(rows, path):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt
    present = [c for c in labels.CLASSES if any(r["class"] == c for r in rows)]
    index = {c: i for i, c in enumerate(labels.CLASSES)}
    m = np.zeros((len(labels.CLASSES), len(labels.CLASSES)))
    for r in rows:
        if r["answer"] in index:
            m[index[r["class"]], index[r["answer"]]] += 1
    rows_sel = [index[c] for c in present]
    m = m[rows_sel]
    norm = m / np.maximum(m.sum(axis=1, keepdims=True), 1)
    fig, ax = plt.subplots(figsize=(14, 9), dpi=90)
    ax.imshow(norm, cmap="Blues", vmin=0, vmax=1, aspect="auto")
    ax.set_xticks(range(len(labels.CLASSES)))
    ax.set_xticklabels(labels.CLASSES, rotation=90, fontsize=7)
    ax.set_yticks(range(len(present)))
    ax.set_yticklabels(present, fontsize=7)
    ax.set_xlabel("answer of QuorvelParse (first class)")
    ax.set_ylabel("true class (test split, whole files)")
    ax.set_title("Confusion on the test split, rows normalised")
    fig.tight_layout()
    fig.savefig(path)


def run(cmd, **kw):
    log("  $ " + " ".join(cmd))
    return subprocess.run(cmd, check=True, **kw)


def cpu_name():
    for line in open("/proc/cpuinfo"):
        if line.startswith("model name"):
            return line.split(":", 1)[1].strip()
    return platform.processor()


def peer_rows(path):
    out = []
    for line in open(path):
        fid, cls, vs, conf, hl, rel = line.rstrip("\n").split("\t")
        out.append({"id": fid, "class": cls, "vscode_any": vs, "hljs_any": hl,
                    "vscode": vs if float(conf) >= VSCODE_MIN_CONFIDENCE else "dialog",
                    "hljs": hl if float(rel) >= HLJS_MIN_RELEVANCE else "dialog"})
    return out


def pygments_version():
    try:
        import pygments
        return pygments.__version__
    except ImportError:
        return "?"


def pct(x):
    return f"{100 * x:.1f} %"


def epochs_text(training):
    epochs = training.get("epochs", {})
    minutes = f"{training.get('train_minutes', 0):.0f} minutes"
    if not epochs:
        return minutes
    cut = f", cut short by the time limit from {epochs['asked']}" if epochs["done"] < epochs["asked"] else ""
    averaged = training.get("kept", {}).get("averaged_epochs", 0)
    kept = f"; the bundle holds the weights averaged over the last {averaged} epochs" if averaged else ""
    where = training.get("trained_on", "this machine's CPU")
    return f"{epochs['done']} epochs ({minutes} on {where}{cut}{kept})"


def recipe_text(training):
    r = training.get("recipe", {}).get("recipe", {})
    parts = []
    if r.get("window_share"):
        parts.append(f"{pct(r['window_share'])} of the single pieces were cut to a random window of 100 to 500 bytes")
    if r.get("documents_per_step"):
        pools = training["recipe"].get("pools", {})
        parts.append(f"every step also trained on {r['documents_per_step']} documents (2 to 8 pieces of a file, a "
                     f"snippet, prose, or prose with a pasted snippet of code: {pools.get('mixed_per_class', 0)} "
                     f"per code class), with the loss on the mean of their pieces' scores (whose ranking is that "
                     f"of the sum the library answers from)"
                     + (f", from {pct(r['documents_from'])} of the training on" if r.get("documents_from") else ""))
    return (" " + "; ".join(parts).capitalize() + ".") if parts else ""


RATE_NAMES = {"code_files": "code files", "prose_files": "prose files as dialog", "snippets": "snippets",
              "mixed_documents": "mixed documents", "prose_documents": "prose documents as dialog"}


def calibration_text(cal):
    rates = ", ".join(f"{RATE_NAMES.get(k, k)} {pct(cal['before'][k])} -> {pct(cal['after'][k])}" for k in cal["after"])
    worst = cal.get("worst_class_lost_to_dialog")
    if worst is None:
        rule = "the pair that maximised the mean of the accuracy rates"
    elif worst <= MAX_LOST_TO_DIALOG:
        rule = ("the pair that maximised the mean of the accuracy rates among those where no code class loses more "
                f"than {pct(MAX_LOST_TO_DIALOG)} of its validation files to \"dialog\" (the worst loses {pct(worst)})")
    else:
        rule = ("the pair whose worst code class loses the least of its validation files to \"dialog\" "
                f"({pct(worst)}: no pair kept every class within {pct(MAX_LOST_TO_DIALOG)}), and among those the best "
                "mean rate")
    return f"""

The last layer is calibrated for the library's rule (softmax of the summed scores, "dialog" below 0.4):
its scores are multiplied by {cal['scale']} and "dialog" gets {cal['dialog_bias']:+} per piece, {rule}, on
{cal['files']} validation files, {cal['snippets']} snippets and {cal.get('documents', 0)} documents in mode 0
({rates})."""


def previous_documents(previous, ev):
    p, d = previous.get("documents"), ev.get("documents")
    if not p or not d:
        return ""
    return (f", mixed documents {pct(p['mixed_found'])} and prose documents as \"dialog\" {pct(p['prose_dialog'])} "
            f"(this bundle: {pct(d['mixed_found'])} and {pct(d['prose_dialog'])})")


def write_card(bundle, ev, summary, training, previous=None):
    """previous: the evaluation of another bundle on the same split (--compare), shown beside this one."""
    s, sh = ev["full"], ev["short"]
    ps, psh = (previous["full"], previous["short"]) if previous else ({"per_class": {}}, {"per_class": {}})
    cls_rows = []
    for c in labels.CLASSES:
        e = summary[c]
        files = sum(e[k]["files"] for k in e)
        projects = sum(e[k]["projects"] for k in e)
        acc = s["per_class"].get(c)
        sacc = sh["per_class"].get(c)
        cls_rows.append(f"| {c} | {files} | {projects} | {e['train']['files']}/{e['train']['projects']} | "
                        f"{e['test']['files']}/{e['test']['projects']} | "
                        f"{pct(acc) if acc is not None else 'n/a'} ({s['counts'].get(c, 0)}) | "
                        f"{pct(sacc) if sacc is not None else 'n/a'} |"
                        + (f" {pct(ps['per_class'][c]) if c in ps['per_class'] else 'n/a'} |" if previous else ""))
    p = ev.get("peers")
    peer_lines = []
    if p:
        for name, key in (("this model (libQuorvel)", None), ("VS Code language detection 1.0.23", "vscode"),
                          ("highlight.js 11.12.0 highlightAuto", "hljs"),
                          (f"Pygments {pygments_version()} guess_lexer", "pygments")):
            if key is None:
                a, b = p["ours"]["full"], p["ours"]["short"]
                peer_lines.append(f"| {name} | {pct(a['code_top1'])} | {pct(a['code_top1_class_mean'])} | "
                                  f"{pct(a['prose_dialog'])} | {pct(b['all_top1'])} |")
            elif key == "pygments":
                a, b = p[key]["full"], p[key]["short"]
                peer_lines.append(f"| {name} | {pct(a['code_top1'])} | {pct(a['code_top1_class_mean'])} | "
                                  f"{pct(a['prose_dialog'])} | {pct(b['all_top1'])} |")
            else:
                a, b, lenient = p[key]["full"], p[key]["short"], p[key]["full_any"]
                peer_lines.append(f"| {name} | {pct(a['code_top1'])} ({pct(lenient['code_top1'])} with no threshold) | "
                                  f"{pct(a['code_top1_class_mean'])} | {pct(a['prose_dialog'])} | {pct(b['all_top1'])} |")
    none = [c for c in labels.CLASSES if sum(summary[c][k]["files"] for k in summary[c]) == 0]
    untested = [c for c in labels.CLASSES if c not in none and summary[c]["test"]["files"] == 0]
    thin = [c for c in labels.CLASSES if c not in none and 0 < summary[c]["train"]["projects"] < 4]
    limits = "\n".join([
        f"- No corpus file at all: {', '.join(none) or 'none'}. The class stays in `code.txt`; the network has never "
        "seen an example of it.",
        f"- No test project (too few projects to split): {', '.join(untested) or 'none'}.",
        f"- Fewer than 4 training projects: {', '.join(thin) or 'none'}; accuracy on other projects of these "
        "classes is poor, which weighs on the class mean.",
        "- The package mirror reachable here served only part of Debian's source packages (often the upstream "
        "tarball without the Debian one, which is enough); binary packages that ship sources fill some of the gaps.",
    ])
    t = ev["timing"]
    cfg = {"k1": 8, "c1": 64, "s1": 4, "c2": 128, "c3": 128, "c4": 0, **training.get("config", {})}
    widths = [cfg["c1"], cfg["c2"], cfg["c3"]] + ([cfg["c4"]] if cfg["c4"] else [])
    convs = f"{'two' if len(widths) == 3 else 'three'} convolutions of width 3 ({' -> '.join(map(str, widths))} channels"
    cal = training.get("calibration")
    calibration = "" if not cal else calibration_text(cal)

    prev_head, prev_rule = (" previous bundle, whole files |", "---|") if previous else ("", "")
    comparison = "" if not previous else f"""

The previous bundle ({previous.get('bundle_note', 'the one this bundle replaces')}), measured by the same evaluation
on the same test files: code files {pct(ps['code_top1'])} (class mean {pct(ps['code_top1_class_mean'])}), prose as
"dialog" {pct(ps['prose_dialog'])}, texts of 100 to 500 bytes {pct(psh['all_top1'])}{previous_documents(previous, ev)}; against this bundle's
{pct(s['code_top1'])}, {pct(s['prose_dialog'])} and {pct(sh['all_top1'])}. Its accuracy per class is the last
column of the table below."""

    def met(v, goal, higher=True):
        ok = v >= goal if higher else v <= goal
        return "met" if ok else "missed"

    weak = sorted((c, a) for c, a in s["per_class"].items()
                  if c != "dialog" and summary[c]["test"]["projects"] >= CLASS_MIN_PROJECTS and a < TARGET_CLASS)
    weak_text = ", ".join(f"{c} {pct(a)}" for c, a in weak) or "none below"
    d = ev.get("documents")
    docs_rows = "" if not d else f"""
| mixed documents (prose with a pasted snippet, 1-4 KB, mode 0): the snippet's class among the answers | >= 90 % | {pct(d['mixed_found'])} ({d['mixed']} documents) | {met(d['mixed_found'], TARGET_MIXED)} |
| prose documents of the same sizes, mode 0, answered "dialog" | >= 99 % | {pct(d['prose_dialog'])} ({d['prose']} documents) | {met(d['prose_dialog'], TARGET_PROSE_DOCS)} |"""
    pd = (ev.get("peers") or {}).get("documents")
    doc_peers = "" if not pd else "\n\n" + "\n".join([
        f"On documents ({PEER_DOCS} mixed documents of each code class, {PEER_DOCS * 10} of prose; a peer's top answer "
        "must be the pasted code's class, with no threshold, and prose must get no answer above its threshold):",
        "", "| detector | mixed: the snippet's class found | prose documents as plain text |", "|---|---|---|"] + [
        f"| {name} | {pct(pd[key]['mixed_found'])} | {pct(pd[key]['prose_dialog'])} |"
        for name, key in (("this model (libQuorvel, mode 0)", "ours"), ("VS Code language detection", "vscode"),
                          ("highlight.js", "hljs"), ("Pygments", "pygments"))])

    text = f"""# SCR model card

Generated by `training/evaluate.py` on {ev['date']}. The bundle: `SCR.onnx` (network), `code.txt` (class names,
one per line, `dialog` last), `manifest.json` (format facts, also stored as ONNX metadata), this card and
`confusion.png`. Rebuilt from nothing by `make model`.

## Network

Input `feature4` float [1, 510, 96] (one-hot rows of a 500-byte piece, as `SCRNet::pre_process` makes them),
output `de_pred` float [1, {len(labels.CLASSES)}]: one raw score per class in `code.txt` order; the library sums
them over pieces and batches before its softmax. ONNX opset 13.

The first layer turns the one-hot rows into table indices (one small Gemm) and looks up {cfg['k1']} tables of
97 x {cfg['c1']} at stride {cfg['s1']}: a convolution over the characters without a multiplication of its own. Then max pooling,
{convs}, with pooling), global max and mean pooling and a
linear layer. Trained with PyTorch (fixed seeds) for {epochs_text(training)} on pieces made
exactly as the library makes them, plus pieces of 100-2000 byte snippets; the files of
scarce classes give more pieces and snippets each, so that their epochs repeat fewer identical samples.{recipe_text(training)}{calibration}

## Targets (test split, through the built library)

| target | goal | measured | |
|---|---|---|---|
| top-1 over code files (all code classes, files) | >= 95 % | {pct(s['code_top1'])} ({s['code_files']} files; class mean {pct(s['code_top1_class_mean'])}) | {met(s['code_top1'], TARGET_CODE)} |
| prose answered "dialog" | >= 99 % | {pct(s['prose_dialog'])} ({s['prose_files']} files) | {met(s['prose_dialog'], TARGET_PROSE)} |
| no class with {CLASS_MIN_PROJECTS} or more test projects below | {pct(TARGET_CLASS)} | {weak_text} | {met(not weak, True)} |
| texts of 100 to 500 bytes, top-1 (all classes) | >= 85 % | {pct(sh['all_top1'])} ({sh['code_files'] + sh['prose_files']} snippets; code {pct(sh['code_top1'])}, prose {pct(sh['prose_dialog'])}) | {met(sh['all_top1'], TARGET_SHORT)} |
| one inference, one thread | <= 0.3 ms | {t['inference_ms_best']:.3f} ms best, {t['inference_ms_median']:.3f} ms median | {met(t['inference_ms_median'], TARGET_MS, False)} (median) |
| model file | <= 10 MB | {ev['model_mb']:.2f} MB | {met(ev['model_mb'], TARGET_MB, False)} |{docs_rows}

Speed: `quorvel_eval time` (SCRNet::SCRParse on a 500-byte piece: encoding, tensor, run), 5 rounds of
{int(t.get('runs', 0))} calls after warm-up, on {ev['machine']} (this development machine: 2 cores, shared with other
builds while measured, so the median is pessimistic).{comparison}

## Classes, corpus and accuracy per class

Files and projects after labelling, filtering and de-duplication; train and test as files/projects (the
validation split holds the rest). Accuracy is top-1 of the library on whole test files (number of files in
brackets, at most {EVAL_CAP} per class) and on one 100-500 byte snippet of each. "n/a": no project of the class
could be put in the test split (too few projects).

| class | files | projects | train | test | accuracy, whole files | accuracy, 100-500 B |{prev_head}
|---|---|---|---|---|---|---|{prev_rule}
{chr(10).join(cls_rows)}

The corpus comes from the Debian bookworm source and binary packages (binary packages for the sources
they ship: Octave packages, Clojure jars, Rust crates, Lisp libraries, ...), npm packages and, for the
classes those lack (Julia, Dart, Elixir, Scala, COBOL, Prolog, Visual Basic), public GitHub repositories at a
pinned commit (none of those kept for evaluation), all pinned in `training/manifest`; files are labelled by extension, file name, shebang and content rules
(`training/labels.py`); generated, minified, vendored, licence-only and binary files are dropped, and so are
exact and near duplicates (MinHash over lines). Prose for `dialog`: manual pages rendered with groff,
translations (msgstr of .po files in many languages), README/NEWS/changelog and other text files,
reStructuredText documentation; text files in test folders (expected outputs, data) are left out, and texts
and translations are kept only when most of their tokens are words and few of their characters are code
characters. Projects are split between train, validation and test as a whole.

![confusion matrix](confusion.png)

## Peers on the same test files (content only)

The first {PEER_CAP} test files of each class (and their snippets), for every detector.

| detector | code top-1 | code, class mean | prose as plain text | 100-500 B top-1 |
|---|---|---|---|---|
{chr(10).join(peer_lines) if peer_lines else '| (peers not run) | | | | |'}{doc_peers}

## Limits

{limits}

VS Code's detector has no plain-text class: an answer below {VSCODE_MIN_CONFIDENCE} confidence is counted as
"dialog", as its editor integration ignores weak answers; the same for highlight.js below relevance
{HLJS_MIN_RELEVANCE}. Classes a peer does not know count as errors for it. highlight.js names HTML "xml",
which is counted as correct for XML only. Pygments' plain-text lexer counts as "dialog".
"""
    open(os.path.join(bundle, "MODEL.md"), "w").write(text)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.abspath(os.path.join(here, ".."))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cache", default=os.path.join(root, ".cache", "corpus"))
    ap.add_argument("--work", default=os.path.join(root, ".cache", "eval"))
    ap.add_argument("--build", default=os.path.join(root, "build-model"))
    ap.add_argument("--bundle", default=os.path.join(root, "data", "models", "SCR"))
    ap.add_argument("--peers", default=os.path.join(root, ".cache", "peers", "node_modules"))
    ap.add_argument("--no-peers", action="store_true")
    ap.add_argument("--split", choices=("test", "val"), default="test",
                    help="val: the same measures on the validation split, to compare bundles without looking at "
                         "the test split; no peers, no model card (give it its own --work)")
    ap.add_argument("--compare", metavar="EVALUATION_JSON",
                    help="evaluation.json of another bundle on the same split, shown beside this one in the card")
    ap.add_argument("--compare-note", default="the one this bundle replaces",
                    help="what the compared bundle is, for the card")
    args = ap.parse_args()
    for name in ("cache", "work", "build", "bundle", "peers"):  # the tool works in the bundle's data folder
        setattr(args, name, os.path.abspath(getattr(args, name)))
    if args.split == "val" and args.work == os.path.abspath(ap.get_default("work")):
        ap.error("--split val needs its own --work folder")
    os.makedirs(args.work, exist_ok=True)
    write_lists(args.cache, args.work, split_files(args.cache, args.split))

    tool = run(["bash", os.path.join(here, "eval", "build.sh"), args.build],
               stdout=subprocess.PIPE, text=True).stdout.strip().splitlines()[-1]
    data_dir = os.path.dirname(os.path.dirname(args.bundle))
    env = dict(os.environ, VESKLOG_LEVEL="error")
    ev = {"date": datetime.date.today().isoformat(), "machine": cpu_name(),
          "model_mb": os.path.getsize(os.path.join(args.bundle, "SCR.onnx")) / 1e6}
    for name in ("full", "short"):
        out = os.path.join(args.work, f"{name}.out")
        run([tool, "classify", data_dir, os.path.join(args.work, f"{name}.tsv"), out], env=env)
        rows = read_results(out)
        ev[name] = scores(rows)
        if name == "full" and args.split == "test":
            confusion_png(rows, os.path.join(args.bundle, "confusion.png"))
    write_documents(args.cache, args.work, args.split)
    out = os.path.join(args.work, "docs.out")
    run([tool, "classify", data_dir, os.path.join(args.work, "docs.tsv"), out, "0"], env=env)
    ev["documents"] = document_scores(read_results(out))
    timing = run([tool, "time", data_dir, "3000"], env=env, stdout=subprocess.PIPE, text=True).stdout
    ev["timing"] = {k: float(v) for k, v in (l.split() for l in timing.splitlines() if l.strip())}

    if args.split == "test" and not args.no_peers and os.path.isdir(args.peers):
        ev["peers"] = {}
        outs = {}
        for name in ("full", "short", "docs"):
            subset = os.path.join(args.work, f"{name}.peers.tsv")
            out = os.path.join(args.work, f"{name}.peers.out")
            if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(subset):
                run(["node", os.path.join(here, "peers.js"), subset, out], env=dict(os.environ, NODE_PATH=args.peers))
            outs[name] = peer_rows(out)
            guessed = os.path.join(args.work, f"{name}.pygments.out")
            if not os.path.exists(guessed) or os.path.getmtime(guessed) < os.path.getmtime(subset):
                run([sys.executable, os.path.join(here, "peers_pygments.py"), subset, guessed])
            pygments = {fid: ans for fid, _, ans in (l.rstrip("\n").split("\t") for l in open(guessed) if l.strip())}
            for r in outs[name]:
                r["pygments"] = pygments.get(r["id"], "?")
            ours = {r["id"]: r for r in read_results(os.path.join(args.work, f"{name}.out"))}
            outs["ours_" + name] = [ours[r["id"]] for r in outs[name] if r["id"] in ours]
        ev["peers"]["ours"] = {"full": scores(outs["ours_full"]), "short": scores(outs["ours_short"])}
        for key in ("vscode", "hljs"):
            ev["peers"][key] = {"full": scores(outs["full"], key), "short": scores(outs["short"], key),
                                "full_any": scores(outs["full"], key + "_any")}
        ev["peers"]["pygments"] = {"full": scores(outs["full"], "pygments"), "short": scores(outs["short"], "pygments")}
        ev["peers"]["documents"] = {"ours": document_scores(outs["ours_docs"])}
        for key in ("vscode", "hljs", "pygments"):
            for r in outs["docs"]:
                r[key + "_list"] = [r[key + "_any"] if key != "pygments" else r[key]]
            ev["peers"]["documents"][key] = document_scores(outs["docs"], key, key + "_list")
    summary = json.load(open(os.path.join(args.cache, "summary.json")))["summary"]
    training_path = os.path.join(root, ".cache", "model", "training.json")
    training = json.load(open(training_path)) if os.path.exists(training_path) else {}
    json.dump(ev, open(os.path.join(args.work, "evaluation.json"), "w"), indent=1)
    if args.split == "test":
        previous = None
        if args.compare:
            previous = json.load(open(args.compare))
            previous["bundle_note"] = args.compare_note
        write_card(args.bundle, ev, summary, training, previous)
    s, sh = ev["full"], ev["short"]
    log(f"code top-1 {pct(s['code_top1'])}, prose as dialog {pct(s['prose_dialog'])}, "
        f"100-500 B top-1 {pct(sh['all_top1'])}, mixed documents {pct(ev['documents']['mixed_found'])}, prose "
        f"documents as dialog {pct(ev['documents']['prose_dialog'])}, "
        f"inference {ev['timing']['inference_ms_median']:.3f} ms median, "
        f"model {ev['model_mb']:.2f} MB")


if __name__ == "__main__":
    main()
