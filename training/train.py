#!/usr/bin/python3
"""Trains the recognition network on the corpus and writes the model bundle.

Stages: load the corpus index; build the pools (pool_build.py: the pieces the library makes of each file and
of short snippets, and documents of prose with and without pasted code, each group remembering its text);
train epochs (fit.py), saving the state after every one so that --resume goes on from it; keep the network
that scores best on validation texts, each scored as the library scores it (the sum of its pieces' scores);
calibrate the score scale and the dialog bias on validation (calibrate.py); export the bundle (export.py).

The pools can be written out (--export-pools) and training run from them elsewhere (--pools, --device, with
--train-only), for an accelerator machine that has no corpus; --recalibrate then calibrates and exports the
weights brought back. Output: SCR.onnx, code.txt and manifest.json in the bundle folder, and the PyTorch
checkpoint in the work folder (make_fixtures.py and the evaluation read it).
"""
import argparse
import json
import os
import platform
import random
import sys
import tempfile
import time

import numpy as np
import torch
from torch import nn

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import calibrate  # noqa: E402
import corpus_index  # noqa: E402
import export  # noqa: E402
import fit  # noqa: E402
import labels  # noqa: E402
import pool_build  # noqa: E402
import sampling  # noqa: E402
from model import SCRModel  # noqa: E402
from pieces import Pool  # noqa: E402

SEED = pool_build.SEED
# The weights of the epochs after this share of training are also averaged (the learning rate is low by then);
# the average is kept when it beats every single epoch on validation.
AVERAGE_FROM = 0.75
EVAL_GROUPS_PER_KIND_CLASS = 40


def log(msg):
    print(msg, file=sys.stderr, flush=True)


# ---- stage: pools ---------------------------------------------------------------------------------------

def pool_settings(args):
    return {"mixed_per_class": args.mixed_per_class, "prose_documents": args.prose_documents}


def pools(args, classes):
    """(train pool, validation pool): read from --pools, or from the work folder when they were built there
    from the same index with the same settings, else built from the corpus (and kept in the work folder)."""
    where = args.pools or args.work
    key = {"settings": pool_settings(args), "classes": classes}
    if not args.pools:
        index = os.path.join(args.cache, "index.tsv")
        key["index"] = [os.path.getsize(index), int(os.path.getmtime(index))]
    key_path = os.path.join(where, "pools.json")
    paths = [os.path.join(where, f"pools-{split}.npz") for split in ("train", "val")]
    if all(os.path.exists(p) for p in paths) and os.path.exists(key_path):
        stored = json.load(open(key_path))
        if stored == key or args.pools:
            if stored.get("classes") != classes:
                raise SystemExit(f"{key_path}: the pools were built for other classes")
            log(f"pools read from {where}")
            return [Pool.load(p) for p in paths]
    if args.pools:
        raise SystemExit(f"{where} holds no pools (pools-train.npz, pools-val.npz, pools.json)")
    rows = corpus_index.read_index(args.cache)
    start = time.time()
    got = []
    for split, path in zip(("train", "val"), paths):
        docs = pool_settings(args) if split == "train" else {
            "mixed_per_class": max(args.mixed_per_class, 40), "prose_documents": max(args.prose_documents, 400)}
        pool = pool_build.build_pool(args.cache, rows, split, classes, **docs)
        pool.save(path)
        got.append(pool)
    json.dump(key, open(key_path, "w"))
    log(f"pools: {len(got[0].lengths)} train pieces, {len(got[1].lengths)} val pieces "
        f"({time.time() - start:.0f} s); by kind (groups, pieces) train {pool_build.kind_counts(got[0])}")
    return got


# ---- stage: training -------------------------------------------------------------------------------------

def recipe_of(args):
    return fit.Recipe(per_class=args.per_class, window_share=args.window_share,
                      documents_per_step=args.documents_per_step, document_weight=args.document_weight,
                      documents_from=args.documents_from)


def run_facts(args):
    """What a resumed run must share with the run it goes on from."""
    return {"recipe": recipe_of(args).as_dict(), "epochs": args.epochs, "channels": args.channels,
            "pools": pool_settings(args)}


def new_model(args, classes):
    widths = [int(c) for c in args.channels.split(",")]
    c1, c2, c3, c4 = (widths + [0])[:4]
    return SCRModel(len(classes), c1=c1, c2=c2, c3=c3, c4=c4, dropout=args.dropout)


def save_checkpoint(path, model, classes, history, minutes):
    torch.save({"state": {k: v.cpu() for k, v in model.state_dict().items()}, "config": model.config,
                "classes": classes, "history": history, "train_minutes": minutes}, path)


def save_state(path, run):
    """The whole run after an epoch, written aside first so that a stop mid-write keeps the last one."""
    torch.save(run, path + ".part")
    os.replace(path + ".part", path)


def train(args, classes, device, train_pool, val_pool, ckpt_path):
    """Trains to the planned epochs (resuming from the work folder's state with --resume); returns the run."""
    state_path = os.path.join(args.work, "state.pt")
    dialog = classes.index("dialog")
    recipe = recipe_of(args)
    model = new_model(args, classes).to(device)
    opt = torch.optim.AdamW(model.parameters(), lr=fit.PEAK_LR, weight_decay=args.weight_decay)
    loss_fn = nn.CrossEntropyLoss(label_smoothing=0.05)
    drawer = sampling.DocumentDrawer(train_pool) if recipe.documents_per_step else None
    train_rows, val_rows = fit.DeviceRows(train_pool, device), fit.DeviceRows(val_pool, device)
    groups = sampling.evaluation_groups(val_pool, EVAL_GROUPS_PER_KIND_CLASS, np.random.RandomState(SEED))
    rng = np.random.RandomState(SEED)
    run = {"facts": run_facts(args), "epoch": 0, "step": 0, "planned": args.epochs, "history": [],
           "best": -1.0, "kept": None, "minutes": 0.0, "average": None, "average_count": 0}
    if args.resume and os.path.exists(state_path):
        run = torch.load(state_path)
        if run["facts"] != run_facts(args):
            raise SystemExit(f"{state_path} is of a run with other settings: {run['facts']}")
        model.load_state_dict(run["model"])
        opt.load_state_dict(run["optimizer"])
        rng.set_state(run["numpy_rng"])
        torch.set_rng_state(run["torch_rng"])
        log(f"resuming after epoch {run['epoch']} of {run['planned']}")
    elif args.resume:
        log("nothing to resume: starting afresh")
    average = fit.WeightAverage(run["average"], run["average_count"])
    steps = fit.steps_per_epoch(recipe, len(classes))
    started = time.time() - run["minutes"] * 60
    limit = args.max_minutes * 60
    while run["epoch"] < run["planned"]:
        run["epoch"] += 1
        epoch, planned = run["epoch"], run["planned"]
        run["step"], piece_loss, doc_loss = fit.train_epoch(
            model, opt, loss_fn, train_pool, train_rows, drawer, recipe, len(classes), dialog, rng, run["step"],
            planned * steps, device, label=f"epoch {epoch}/{planned}")
        score, docs, piece_acc, _ = fit.judge(model, val_pool, val_rows, groups)
        minutes = (time.time() - started) / 60
        run["history"].append({"epoch": epoch, "val_piece_accuracy": piece_acc, "val_documents": docs,
                               "val_score": score, "train_loss": piece_loss, "document_loss": doc_loss,
                               "minutes": minutes})
        log(f"\n  epoch {epoch}: validation texts {score:.4f} ("
            + ", ".join(f"{k} {v:.3f}" for k, v in docs.items()) + f"), pieces {piece_acc:.4f}")
        if epoch == args.repeat_check:
            repeat_check(run["history"], os.path.join(args.work, "training.json"))
        if score > run["best"]:
            run["best"], run["kept"] = score, epoch
            save_checkpoint(ckpt_path, model, classes, run["history"], minutes)
        if epoch > AVERAGE_FROM * planned:
            average.add(model)
        fit_epochs = fit.epochs_that_fit(epoch, time.time() - started, limit, planned)
        if fit_epochs < planned:
            log(f"  WARNING: at this pace only {fit_epochs} of {args.epochs} epochs fit in the time limit of "
                f"{args.max_minutes:g} minutes; this machine trains a different, shorter model")
            run["planned"] = fit_epochs
        run.update(minutes=minutes, model=model.state_dict(), optimizer=opt.state_dict(),
                   numpy_rng=rng.get_state(), torch_rng=torch.get_rng_state(), average=average.state,
                   average_count=average.count)
        if not args.repeat_check:
            save_state(state_path, run)
        if epoch == args.stop_after:
            log(f"  stopped after epoch {epoch} as asked; --resume goes on")
            return None
    if average.count > 1:
        model.load_state_dict(average.state)
        score, docs, piece_acc, _ = fit.judge(model, val_pool, val_rows, groups)
        log(f"  average of the last {average.count} epochs: validation texts {score:.4f}, pieces {piece_acc:.4f}")
        run["history"].append({"epoch": f"average of the last {average.count}", "val_score": score,
                               "val_documents": docs, "val_piece_accuracy": piece_acc, "minutes": run["minutes"]})
        if score > run["best"]:
            run["best"], run["kept"] = score, "average"
            save_checkpoint(ckpt_path, model, classes, run["history"], run["minutes"])
    return run


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


def training_record(args, run, train_pool, classes, device):
    return {"history": run["history"], "train_minutes": run["minutes"],
            "epochs": {"asked": args.epochs, "done": run["epoch"]},
            "kept": {"epoch": run["kept"], "averaged_epochs": run["average_count"] if run["kept"] == "average" else 0},
            "recipe": run["facts"], "config": new_model(args, classes).config,
            "trained_on": trained_on(device),
            "samples": {c: int((train_pool.labels[train_pool.piece_groups()] == k).sum())
                        for k, c in enumerate(classes)}}


def trained_on(device):
    if device.type == "cuda":
        return f"{torch.cuda.get_device_name(device)} (PyTorch {torch.__version__})"
    return f"{platform.processor() or platform.machine()} CPU, {torch.get_num_threads()} threads (PyTorch {torch.__version__})"


# ---- stages: calibration and export ----------------------------------------------------------------------

def calibrate_checkpoint(ckpt_path, rows, cache, classes):
    """Chooses the score scale and dialog bias on validation and stores the checkpoint with them folded in
    ("state"), keeping the trained weights as they were ("raw_state") for a later calibration."""
    ckpt = torch.load(ckpt_path, map_location="cpu")
    raw = ckpt.get("raw_state", ckpt["state"])
    model = SCRModel(**ckpt["config"])
    model.load_state_dict(raw)
    chosen = calibrate.choose(model, corpus_index.of_split(rows, "val"),
                              lambda fid: os.path.join(cache, "files", fid), classes)
    log(f"  calibration on {chosen['files']} validation files, {chosen['snippets']} snippets and "
        f"{chosen['documents']} documents: scale {chosen['scale']}, dialog bias {chosen['dialog_bias']}; "
        + ", ".join(f"{k} {chosen['before'][k]:.3f} -> {chosen['after'][k]:.3f}" for k in chosen["after"]))
    calibrate.fold(model, chosen["scale"], chosen["dialog_bias"], classes.index("dialog"))
    ckpt.update(state=model.state_dict(), raw_state=raw, calibration=chosen)
    torch.save(ckpt, ckpt_path)
    return chosen


def export_bundle(args, classes, ckpt_path):
    ckpt = torch.load(ckpt_path, map_location="cpu")
    model = SCRModel(**ckpt["config"])
    model.load_state_dict(ckpt["state"])
    facts = export.bundle_facts(classes, args.cache)
    path = export.export(model, classes, args.bundle, facts)
    training_json = os.path.join(args.work, "training.json")
    training = json.load(open(training_json)) if os.path.exists(training_json) else {}
    export.write_manifest(args.bundle, facts, classes, args.cache, {**ckpt, **training})
    log(f"exported {path} ({os.path.getsize(path) / 1e6:.2f} MB)")


# ---- command line ----------------------------------------------------------------------------------------

def arguments():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--cache", default=os.path.join(here, "..", ".cache", "corpus"))
    ap.add_argument("--work", default=os.path.join(here, "..", ".cache", "model"))
    ap.add_argument("--bundle", default=os.path.join(here, "..", "data", "models", "SCR"))
    ap.add_argument("--epochs", type=int, default=32, help="length of training, in epochs")
    ap.add_argument("--max-minutes", type=float, default=70.0,
                    help="time limit from the start of the run, pools included: a machine too slow for all epochs "
                         "trains fewer, with a warning")
    ap.add_argument("--per-class", type=int, default=3000, help="single pieces of each class per epoch")
    ap.add_argument("--window-share", type=float, default=0.0,
                    help="share of the single pieces cut to a random window of 100 to 500 bytes")
    ap.add_argument("--documents-per-step", type=int, default=0,
                    help="documents (several pieces of one text, loss on the mean of their scores) in each step")
    ap.add_argument("--document-weight", type=float, default=1.0, help="weight of the documents' loss")
    ap.add_argument("--documents-from", type=float, default=0.2,
                    help="share of the training trained on single pieces alone, before documents come in "
                         "(their weight then rises over as long again)")
    ap.add_argument("--mixed-per-class", type=int, default=0,
                    help="training documents of prose with a pasted snippet of each code class")
    ap.add_argument("--prose-documents", type=int, default=0, help="training documents of prose paragraphs")
    ap.add_argument("--channels", default="64,128,128,128",
                    help="channels of the layers, c1,c2,c3 or c1,c2,c3,c4 (a third convolution)")
    ap.add_argument("--dropout", type=float, default=0.2)
    ap.add_argument("--weight-decay", type=float, default=1e-4)
    ap.add_argument("--device", default="cpu", help="cpu, or cuda on an accelerator machine")
    ap.add_argument("--resume", action="store_true", help="go on from the state the work folder holds")
    ap.add_argument("--stop-after", type=int, default=0, metavar="N",
                    help="stop after epoch N with the state saved (as an interruption would), to --resume later")
    ap.add_argument("--export-pools", action="store_true", help="build the pools into the work folder, then stop")
    ap.add_argument("--pools", help="read the pools from this folder (as --export-pools wrote them)")
    ap.add_argument("--train-only", action="store_true",
                    help="stop after training: no calibration nor export (they need the corpus)")
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
    if len(args.channels.split(",")) not in (3, 4):
        ap.error("--channels takes three or four widths")
    if not 0.0 <= args.window_share <= 1.0:
        ap.error("--window-share is a share, from 0 to 1")
    for name in ("cache", "work", "bundle"):
        setattr(args, name, os.path.abspath(getattr(args, name)))
    return args


def main():
    args = arguments()
    device = torch.device(args.device)
    if device.type == "cpu":
        torch.set_num_threads(2)
    torch.manual_seed(SEED)
    random.seed(SEED)
    os.makedirs(args.work, exist_ok=True)
    classes = labels.CLASSES
    ckpt_path = os.path.join(tempfile.mkdtemp() if args.repeat_check else args.work, "checkpoint.pt")
    training_json = os.path.join(args.work, "training.json")

    if args.recalibrate:
        training = json.load(open(training_json)) if os.path.exists(training_json) else {}
        training["calibration"] = calibrate_checkpoint(ckpt_path, corpus_index.read_index(args.cache), args.cache,
                                                       classes)
        json.dump(training, open(training_json, "w"), indent=1)
    elif not args.export_only:
        train_pool, val_pool = pools(args, classes)
        if args.export_pools:
            return
        run = train(args, classes, device, train_pool, val_pool, ckpt_path)
        if run is None:
            return
        training = training_record(args, run, train_pool, classes, device)
        weakest = sorted(run["history"][-1]["val_documents"].items(), key=lambda kv: kv[1])
        log("  validation texts by kind, kept run: " + ", ".join(f"{k} {v:.3f}" for k, v in weakest))
        json.dump(training, open(training_json, "w"), indent=1)
        if args.train_only:
            return
        training["calibration"] = calibrate_checkpoint(ckpt_path, corpus_index.read_index(args.cache), args.cache,
                                                       classes)
        json.dump(training, open(training_json, "w"), indent=1)
    os.makedirs(args.bundle, exist_ok=True)
    export_bundle(args, classes, ckpt_path)


if __name__ == "__main__":
    main()
