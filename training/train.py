#!/usr/bin/python3
"""Trains the recognition network on the corpus and writes the model bundle.

Samples are made exactly as the library makes them (prep.py): a file is cleaned, cut into batches
(automatic mode, batchLen 500, sampleNums 5), batches that the driver would not infer are dropped, and
every 500-byte piece of the rest is a sample; so are the pieces of short snippets (100 to 2000 bytes)
cut from each file, which teach the network the repeated short pieces that small texts give.
The best checkpoint is then calibrated on validation files for the library's decision rule
(calibrate.py). CPU only, 2 threads, fixed seeds. Output: SCR.onnx, code.txt and manifest.json in the bundle folder,
and the PyTorch checkpoint in the cache (make_fixtures.py and the evaluation read it).
"""
import argparse
import collections
import datetime
import json
import math
import multiprocessing
import os
import random
import sys
import tempfile
import time

import numpy as np
import torch
from torch import nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import calibrate  # noqa: E402
import labels  # noqa: E402
import prep  # noqa: E402
from model import OneHotFront, SCRModel  # noqa: E402

SEED = 20231018
MAX_PIECES_PER_FILE = 12  # a long file must not outweigh many short ones
SNIPPETS_PER_FILE = 5
# A scarce class takes more pieces (other random batches) and snippets of each of its files, so that its
# epochs repeat fewer identical samples: up to SCARCE_PIECE_BUDGET pieces per class, within these bounds.
SCARCE_PIECE_BUDGET, MAX_SCARCE_PIECES, MAX_SCARCE_SNIPPETS = 8000, 64, 16
BATCH, PEAK_LR, FLOOR_LR = 256, 3e-3, 5e-5
# The weights of the epochs after this share of training are also averaged (the learning rate is low by then);
# the average is kept when it beats every single epoch on validation. Runs of the same data in another order
# differ by several points on some classes; the average smooths part of that.
AVERAGE_FROM = 0.75


def log(msg):
    print(msg, file=sys.stderr, flush=True)


def read_index(cache):
    rows = []
    with open(os.path.join(cache, "index.tsv")) as fh:
        next(fh)
        for line in fh:
            fid, cls, project, split, size, path = line.rstrip("\n").split("\t")
            rows.append({"id": fid, "class": cls, "project": project, "split": split, "path": path})
    return rows


def snippet(data, rng):
    """A run of whole lines of 100 to 2000 bytes from a random place of the file."""
    target = int(math.exp(rng.uniform(math.log(100), math.log(2000))))
    if len(data) <= target:
        return data
    start = rng.randrange(0, len(data) - target)
    nl = data.rfind(b"\n", 0, start)
    start = nl + 1 if nl >= 0 and start - nl < 200 else start
    return data[start:start + target]


def sample_counts(class_files):
    """(pieces, snippets) to take of each file of a class that has class_files training files."""
    pieces = min(MAX_SCARCE_PIECES, max(MAX_PIECES_PER_FILE, SCARCE_PIECE_BUDGET // max(class_files, 1)))
    snippets = min(MAX_SCARCE_SNIPPETS, max(SNIPPETS_PER_FILE, pieces // 4))
    return pieces, snippets


def file_samples(args):
    """Row arrays of the pieces the library makes of a file (over several random batch choices where more
    are wanted) and of a few snippets of it."""
    path, seed, want, snippets = args
    rng = random.Random(seed)
    data = open(path, "rb").read()
    pieces, seen = [], set()
    for _ in range(1 + (want > MAX_PIECES_PER_FILE) * 7):
        for p in prep.text_pieces(data, rand=lambda: rng.getrandbits(31)):
            if p not in seen:
                seen.add(p)
                pieces.append(p)
        if len(pieces) >= want:
            break
    rng.shuffle(pieces)
    pieces = pieces[:want]
    for _ in range(snippets):
        got = prep.text_pieces(snippet(data, rng), rand=lambda: rng.getrandbits(31))
        if got:
            pieces.append(got[rng.randrange(len(got))])
    if not pieces:
        return None
    return np.stack([prep.rows(p).astype(np.uint8) for p in pieces])


def build_pools(cache, rows, split):
    sel = [r for r in rows if r["split"] == split]
    class_files = collections.Counter(r["class"] for r in sel)
    counts = {c: sample_counts(n) if split == "train" else (MAX_PIECES_PER_FILE, SNIPPETS_PER_FILE)
              for c, n in class_files.items()}
    jobs = [(os.path.join(cache, "files", r["id"]), hash_seed(r["id"]), *counts[r["class"]]) for r in sel]
    pools = collections.defaultdict(list)
    with multiprocessing.Pool(2) as pool:
        for i, (r, got) in enumerate(zip(sel, pool.imap(file_samples, jobs, chunksize=64)), 1):
            if got is not None:
                pools[r["class"]].append(got)
            if i % 2000 == 0 or i == len(sel):
                sys.stderr.write(f"\r  {split}: {i}/{len(sel)} files")
    sys.stderr.write("\n")
    return {c: np.concatenate(v) for c, v in pools.items()}


def hash_seed(text):
    h = 1469598103934665603
    for b in text.encode():
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFF
    return h ^ SEED


def epoch_indices(pools, classes, per_class, rng):
    """A class-balanced epoch: per_class samples of every class (with repetition for small classes)."""
    xs, ys = [], []
    for k, cls in enumerate(classes):
        pool = pools.get(cls)
        if pool is None or len(pool) == 0:
            continue
        want = per_class * (2 if cls == "dialog" else 1)
        idx = rng.choice(len(pool), size=want, replace=len(pool) < want)
        xs.append(pool[idx])
        ys.append(np.full(want, k, dtype=np.int64))
    x, y = np.concatenate(xs), np.concatenate(ys)
    order = rng.permutation(len(y))
    return x[order], y[order]


def epochs_that_fit(done, elapsed, limit, planned):
    """How many epochs the run can have at the pace of those done so far: the planned number unless the
    time limit comes first. The learning-rate schedule follows steps towards this number, never the clock,
    so a busy machine trains the same model as an idle one as long as it keeps within the limit."""
    pace = elapsed / done
    return max(done, min(planned, done + int((limit - elapsed) // pace)))


def set_learning_rate(opt, frac):
    for group in opt.param_groups:
        group["lr"] = PEAK_LR * 0.5 * (1 + math.cos(math.pi * frac)) + FLOOR_LR


class WeightAverage:
    """Running mean of a model's weights."""

    def __init__(self):
        self.state, self.count = None, 0

    def add(self, model):
        self.count += 1
        if self.state is None:
            self.state = {k: v.detach().clone() for k, v in model.state_dict().items()}
            return
        for k, v in model.state_dict().items():
            self.state[k] += (v.detach() - self.state[k]) / self.count


def evaluate(model, pools, classes, limit=3000):
    model.eval()
    correct, total = collections.Counter(), collections.Counter()
    with torch.no_grad():
        for k, cls in enumerate(classes):
            pool = pools.get(cls)
            if pool is None:
                continue
            x = torch.from_numpy(pool[:limit].astype(np.int64))
            for i in range(0, len(x), 1024):
                pred = model.forward_rows(x[i:i + 1024]).argmax(dim=1)
                correct[cls] += int((pred == k).sum())
                total[cls] += len(pred)
    model.train()
    per_class = {c: correct[c] / total[c] for c in total}
    return sum(per_class.values()) / max(len(per_class), 1), per_class


def save_checkpoint(path, model, classes, history, t0):
    torch.save({"state": model.state_dict(), "config": model.config, "classes": classes,
                "history": history, "train_minutes": (time.time() - t0) / 60}, path)


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


def repeat_check(history, training_json):
    """Exits: 0 when the epochs just trained had exactly the training loss and validation accuracy of the same
    epochs of the earlier run, 1 if not."""
    earlier = {e["epoch"]: e for e in json.load(open(training_json))["history"]}
    differ = [(e["epoch"], key, e[key], earlier.get(e["epoch"], {}).get(key)) for e in history
              for key in ("train_loss", "val_piece_accuracy") if e[key] != earlier.get(e["epoch"], {}).get(key)]
    for epoch, key, now, then in differ:
        log(f"  epoch {epoch}: {key} {now} now, {then} in the earlier run")
    log(f"  repeat check over {len(history)} epochs: " + ("runs differ" if differ else "identical"))
    sys.exit(1 if differ else 0)


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
        "training_data": {"sources": "training/manifest (Debian bookworm source and binary packages, npm packages)",
                          "projects": corpus.get("projects"), "files_per_class": per_class,
                          "training_minutes": round(training.get("train_minutes", 0.0), 1),
                          "seed": SEED},
        "date": facts["date"],
    }
    with open(os.path.join(bundle, "manifest.json"), "w") as fh:
        json.dump(manifest, fh, indent=1)
        fh.write("\n")


def calibrate_checkpoint(ckpt_path, rows, cache, classes):
    """Chooses the score scale and dialog bias on validation and stores the checkpoint with them folded in
    ("state"), keeping the trained weights as they were ("raw_state") for a later calibration."""
    ckpt = torch.load(ckpt_path)
    raw = ckpt.get("raw_state", ckpt["state"])
    model = SCRModel(**ckpt["config"])
    model.load_state_dict(raw)
    val = [r for r in rows if r["split"] == "val"]
    chosen = calibrate.choose(model, val, lambda fid: os.path.join(cache, "files", fid), classes)
    log(f"  calibration on {chosen['files']} validation files and {chosen['snippets']} snippets: scale "
        f"{chosen['scale']}, dialog bias {chosen['dialog_bias']}; "
        + ", ".join(f"{k} {chosen['before'][k]:.3f} -> {chosen['after'][k]:.3f}" for k in chosen["after"]))
    calibrate.fold(model, chosen["scale"], chosen["dialog_bias"], classes.index("dialog"))
    ckpt.update(state=model.state_dict(), raw_state=raw, calibration=chosen)
    torch.save(ckpt, ckpt_path)
    return chosen


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cache", default=os.path.join(here, "..", ".cache", "corpus"))
    ap.add_argument("--work", default=os.path.join(here, "..", ".cache", "model"))
    ap.add_argument("--bundle", default=os.path.join(here, "..", "data", "models", "SCR"))
    ap.add_argument("--epochs", type=int, default=32, help="length of training, in epochs")
    ap.add_argument("--max-minutes", type=float, default=110.0,
                    help="time limit: a machine too slow for all epochs trains fewer, with a warning")
    ap.add_argument("--per-class", type=int, default=3000, help="samples of each class per epoch")
    ap.add_argument("--channels", default="64,128,128,128",
                    help="channels of the layers, c1,c2,c3 or c1,c2,c3,c4 (a third convolution)")
    ap.add_argument("--export-only", action="store_true", help="export the saved checkpoint again")
    ap.add_argument("--recalibrate", action="store_true",
                    help="calibrate the saved checkpoint's trained weights again, then export")
    ap.add_argument("--repeat-check", type=int, default=0, metavar="N",
                    help="train the first N epochs again, in a scratch folder, and fail unless their training "
                         "losses and validation accuracies equal those of the run in --work (nothing is written "
                         "there, nor to the bundle)")
    args = ap.parse_args()
    if not 0 <= args.repeat_check <= args.epochs:
        ap.error("--repeat-check takes a number of epochs from 1 to --epochs")
    torch.set_num_threads(2)
    torch.manual_seed(SEED)
    rng = np.random.RandomState(SEED)
    random.seed(SEED)
    cache, work, bundle = (os.path.abspath(p) for p in (args.cache, args.work, args.bundle))
    os.makedirs(work, exist_ok=True)
    os.makedirs(bundle, exist_ok=True)
    classes = labels.CLASSES
    ckpt_path = os.path.join(tempfile.mkdtemp() if args.repeat_check else work, "checkpoint.pt")

    if args.recalibrate:
        work_json = os.path.join(work, "training.json")
        training = json.load(open(work_json))
        training["calibration"] = calibrate_checkpoint(ckpt_path, read_index(cache), cache, classes)
        json.dump(training, open(work_json, "w"), indent=1)
    elif not args.export_only:
        rows = read_index(cache)
        start = time.time()
        train_pools = build_pools(cache, rows, "train")
        val_pools = build_pools(cache, rows, "val")
        log(f"samples: {sum(len(v) for v in train_pools.values())} train, "
            f"{sum(len(v) for v in val_pools.values())} val ({time.time() - start:.0f} s)")
        widths = [int(c) for c in args.channels.split(",")]
        if len(widths) not in (3, 4):
            ap.error("--channels takes three or four widths")
        c1, c2, c3, c4 = (widths + [0])[:4]
        model = SCRModel(len(classes), c1=c1, c2=c2, c3=c3, c4=c4)
        opt = torch.optim.AdamW(model.parameters(), lr=PEAK_LR, weight_decay=1e-4)
        loss_fn = nn.CrossEntropyLoss(label_smoothing=0.05)
        limit = args.max_minutes * 60
        steps_per_epoch = math.ceil(args.per_class * (len(classes) + 1) / BATCH)
        planned, epoch = args.epochs, 0
        t0, step, best, kept = time.time(), 0, -1.0, None
        history, average = [], WeightAverage()
        while epoch < planned:
            epoch += 1
            total_steps = planned * steps_per_epoch
            x, y = epoch_indices(train_pools, classes, args.per_class, rng)
            seen, running, total_loss = 0, 0.0, 0.0
            for i in range(0, len(y), BATCH):
                set_learning_rate(opt, min(step / total_steps, 1.0))
                xb = torch.from_numpy(x[i:i + BATCH].astype(np.int64))
                yb = torch.from_numpy(y[i:i + BATCH])
                loss = loss_fn(model.forward_rows(xb), yb)
                opt.zero_grad()
                loss.backward()
                opt.step()
                step += 1
                seen += len(yb)
                total_loss += float(loss) * len(yb)
                running = 0.98 * running + 0.02 * float(loss) if seen > BATCH else float(loss)
                if step % 50 == 1:
                    sys.stderr.write(f"\r  epoch {epoch}/{planned} {seen}/{len(y)} loss {running:.3f} "
                                     f"[{(time.time() - t0) / 60:.1f} min]   ")
            acc, per_class = evaluate(model, val_pools, classes)
            history.append({"epoch": epoch, "val_piece_accuracy": acc, "train_loss": total_loss / seen,
                            "minutes": (time.time() - t0) / 60})
            log(f"\n  epoch {epoch}: validation piece accuracy (class mean) {acc:.4f}")
            if epoch == args.repeat_check:
                repeat_check(history, os.path.join(work, "training.json"))
            if acc > best:
                best, kept = acc, epoch
                save_checkpoint(ckpt_path, model, classes, history, t0)
            if epoch > AVERAGE_FROM * planned:
                average.add(model)
            fit = epochs_that_fit(epoch, time.time() - t0, limit, planned)
            if fit < planned:
                log(f"  WARNING: at this pace only {fit} of {args.epochs} epochs fit in the time limit of "
                    f"{args.max_minutes:g} minutes; this machine trains a different, shorter model")
                planned = fit
        if average.count > 1:
            model.load_state_dict(average.state)
            acc, averaged = evaluate(model, val_pools, classes)
            log(f"  average of the last {average.count} epochs: validation piece accuracy {acc:.4f}")
            history.append({"epoch": f"average of the last {average.count}", "val_piece_accuracy": acc,
                            "minutes": (time.time() - t0) / 60})
            if acc > best:
                best, per_class, kept = acc, averaged, "average"
                save_checkpoint(ckpt_path, model, classes, history, t0)
        worst = sorted(per_class.items(), key=lambda kv: kv[1])[:8]
        log("  weakest classes on validation pieces: " + ", ".join(f"{c} {a:.3f}" for c, a in worst))
        train_minutes = (time.time() - t0) / 60
        calibration = calibrate_checkpoint(ckpt_path, rows, cache, classes)
        train_files = collections.Counter(r["class"] for r in rows if r["split"] == "train")
        json.dump({"train_files": train_files, "history": history, "train_minutes": train_minutes,
                   "epochs": {"asked": args.epochs, "done": epoch},
                   "kept": {"epoch": kept, "averaged_epochs": average.count if kept == "average" else 0},
                   "config": model.config, "calibration": calibration,
                   "samples": {c: int(len(v)) for c, v in train_pools.items()}},
                  open(os.path.join(work, "training.json"), "w"), indent=1)

    ckpt = torch.load(ckpt_path)
    model = SCRModel(**{k: v for k, v in ckpt["config"].items()})
    model.load_state_dict(ckpt["state"])
    facts = {"format_version": 1, "alphabet": prep.ALPHABET.decode(), "piece_bytes": prep.PIECE_BYTES,
             "input": "feature4 float [1,510,96]", "output": f"de_pred float [1,{len(classes)}]",
             "classes": len(classes), "class_file": "code.txt",
             "date": datetime.date.today().isoformat()}
    summary_path = os.path.join(cache, "summary.json")
    if os.path.exists(summary_path):
        summary = json.load(open(summary_path))
        files = sum(e["train"]["files"] for e in summary["summary"].values())
        facts["training_data"] = (f"{files} training files from {summary['projects']} projects (Debian bookworm "
                                  f"source and binary packages, npm packages, training/manifest)")
    path = export(model, classes, bundle, facts)
    write_manifest(bundle, facts, classes, cache, ckpt)
    log(f"exported {path} ({os.path.getsize(path) / 1e6:.2f} MB)")


if __name__ == "__main__":
    main()
