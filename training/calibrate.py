"""Calibration of the last layer on the validation split, for the library's decision rule.

The library sums the raw scores of every piece it infers, takes the softmax and answers "dialog" when
the top probability is below 0.4, else up to three classes, each within 0.1 of the one listed before it.
So the scale of the scores decides how often a right but unsure answer is replaced by "dialog", and a bias
on "dialog" decides how code-like prose must be before it is answered as code. Both are folded into the last
linear layer: scores become scale * s, plus bias on "dialog" for every piece.

The pair is chosen on validation texts of every kind a host meets (never the test split): whole files,
100-500 byte snippets, documents of prose, and prose with a pasted snippet of code (parsed in mode 0, the
snippet's class must be among the answers). It maximises the mean of those rates under one constraint: no
code class may lose more than MAX_LOST_TO_DIALOG of its validation files to "dialog". Where no pair meets
it, the pair that loses the least to dialog in its worst class is taken.
"""
import collections
import random
import zlib

import numpy as np

import documents
import pool_build
import prep

FILES_PER_CLASS = 60
DOCUMENTS_PER_CLASS = 12
PROSE_DOCUMENTS = 300
MAX_LOST_TO_DIALOG = 0.05
SCALES = (0.6, 0.8, 1.0, 1.2, 1.5, 1.8, 2.2, 2.7, 3.3, 4.0, 5.0, 6.0, 7.5, 9.0)
DIALOG_BIASES = tuple(b / 4 for b in range(-8, 17))  # -2 .. 4


def short_snippet(data, key):
    """100 to 500 bytes of whole lines from a place fixed by key (the evaluation cuts test snippets so)."""
    lines = data.split(b"\n")
    want = 100 + key % 401
    start = (key // 401) % max(len(lines), 1)
    for s in list(range(start, len(lines))) + list(range(0, start)):
        out = b""
        for line in lines[s:]:
            if len(out) + len(line) + 1 > want and len(out) >= 100:
                break
            out += line + b"\n"
        if 100 <= len(out) <= 500:
            return out
    return data[:want] if len(data) >= 100 else None


class Scored:
    """Texts of one kind with their truth and the library's inputs to its decision: summed raw scores and
    the number of pieces (0 where the library answers at once, without the network)."""

    def __init__(self, class_count):
        self.truth, self.sums, self.pieces = [], [], []
        self.classes = class_count

    def add(self, k, got):
        self.truth.append(k)
        if got is None:
            self.sums.append(np.zeros(self.classes))
            self.pieces.append(0)
        else:
            self.sums.append(got[0])
            self.pieces.append(got[1])

    def arrays(self):
        return (np.array(self.truth, dtype=np.int64), np.array(self.sums, dtype=np.float64).reshape(-1, self.classes),
                np.array(self.pieces, dtype=np.int64))


def text_scores(model, data, seed, mode=documents.AUTOMATIC):
    """(summed raw scores, number of pieces) as the library would get them; None when it answers at once."""
    import torch
    rng = random.Random(seed)
    pieces = prep.text_pieces(data, mode=mode, rand=lambda: rng.getrandbits(31))
    if not pieces:
        return None
    rows = torch.from_numpy(np.stack([prep.rows(p) for p in pieces]))
    with torch.no_grad():
        return model.forward_rows(rows).sum(dim=0).numpy().astype(np.float64), len(pieces)


def decisions(sums, pieces, scale, bias, dialog):
    """(top class [T], answered [T, PLACES] classes or -1) of each text under the library's rule."""
    z = sums * scale
    z[:, dialog] += bias * pieces
    z -= z.max(axis=1, keepdims=True)
    p = np.exp(z)
    p /= p.sum(axis=1, keepdims=True)
    order = np.argsort(-p, axis=1, kind="stable")[:, :prep.PLACES]
    ranked = np.take_along_axis(p, order, axis=1)
    answered = np.full(order.shape, -1, dtype=np.int64)
    answered[:, 0] = order[:, 0]
    ref = ranked[:, 0].copy()
    for place in range(1, order.shape[1]):
        near = np.abs(ranked[:, place] - ref) < prep.CLOSENESS
        answered[near, place] = order[near, place]
        ref = np.where(near, ranked[:, place], ref)
    unsure = (ranked[:, 0] < prep.CONFIDENCE) | (pieces == 0)
    answered[unsure] = -1
    answered[unsure, 0] = dialog
    return answered[:, 0], answered


def share(hits):
    return float(hits.mean()) if len(hits) else 0.0


def rates(kinds, scale, bias, dialog):
    """The rates one (scale, bias) pair gives, and each code class's share of files lost to dialog.
    kinds: {"files", "snippets", "documents"} -> Scored.arrays(); documents hold prose (truth dialog) and
    mixed texts (truth the pasted code's class)."""
    out, lost = {}, {}
    truth, sums, pieces = kinds["files"]
    top, _ = decisions(sums, pieces, scale, bias, dialog)
    code = truth != dialog
    out["code_files"] = share(top[code] == truth[code])
    out["prose_files"] = share(top[~code] == dialog)
    for k in np.unique(truth[code]):
        lost[int(k)] = share(top[truth == k] == dialog)
    truth, sums, pieces = kinds["snippets"]
    top, _ = decisions(sums, pieces, scale, bias, dialog)
    out["snippets"] = share(top == truth)
    if "documents" in kinds and len(kinds["documents"][0]):
        truth, sums, pieces = kinds["documents"]
        top, answered = decisions(sums, pieces, scale, bias, dialog)
        mixed = truth != dialog
        out["mixed_documents"] = share((answered[mixed] == truth[mixed][:, None]).any(axis=1))
        out["prose_documents"] = share(top[~mixed] == dialog)
    return out, lost


def choose_pair(kinds, dialog, scales=SCALES, biases=DIALOG_BIASES, max_lost=MAX_LOST_TO_DIALOG):
    """The (scale, bias) pair with the best mean rate among those where no code class loses more than
    max_lost of its files to dialog; where none keeps to that, the pair whose worst class loses least.
    Ties go to the pair nearest (1, 0). Returns (pair, its rates, its worst loss to dialog)."""
    grid = {(s, b): rates(kinds, s, b, dialog) for s in scales for b in biases}

    def worst(sb):
        return max(grid[sb][1].values(), default=0.0)

    def mean(sb):
        return round(float(np.mean(list(grid[sb][0].values()))), 6)

    keeping = [sb for sb in grid if worst(sb) <= max_lost]
    near = (lambda sb: (-abs(sb[0] - 1.0), -abs(sb[1])))
    if keeping:
        best = max(keeping, key=lambda sb: (mean(sb), *near(sb)))
    else:
        best = max(grid, key=lambda sb: (-round(worst(sb), 6), mean(sb), *near(sb)))
    return best, grid[best][0], worst(best)


def validation_texts(val_rows, cache_files, classes):
    """(files [(path, class index, key)], documents [(text, class index, key)]): up to FILES_PER_CLASS
    files of each class, and DOCUMENTS_PER_CLASS mixed documents of each code class plus PROSE_DOCUMENTS of
    prose, made of validation files. All fixed by the file ids."""
    by_class = collections.defaultdict(list)
    for r in val_rows:
        by_class[r["class"]].append((zlib.crc32(r["id"].encode()), r))
    files = []
    for cls, got in sorted(by_class.items()):
        for key, r in sorted(got, key=lambda kv: kv[0])[:FILES_PER_CLASS]:
            files.append((cache_files(r["id"]), classes.index(cls), key))
    prose = [p for p, k, _ in files if classes[k] == "dialog"]
    docs = []
    if prose:
        rng = random.Random(pool_build.SEED)
        code = collections.defaultdict(list)
        for p, k, _ in files:
            if classes[k] != "dialog":
                code[k].append(p)
        wanted = [(k, rng.choice(paths)) for k, paths in sorted(code.items()) for _ in range(DOCUMENTS_PER_CLASS)]
        wanted += [(classes.index("dialog"), None)] * PROSE_DOCUMENTS
        for k, code_path in wanted:
            text = pool_build.document_text(open(rng.choice(prose), "rb").read(),
                                            open(code_path, "rb").read() if code_path else None, rng)
            if text is not None:
                docs.append((text, k, rng.getrandbits(31)))
    return files, docs


def collect(model, files, docs, class_count):
    """Scored files, snippets (one of each file) and documents (mode 0, full coverage)."""
    model.eval()
    kinds = {name: Scored(class_count) for name in ("files", "snippets", "documents")}
    for path, k, key in files:
        data = open(path, "rb").read()
        kinds["files"].add(k, text_scores(model, data, key))
        snip = short_snippet(data, key)
        if snip is not None:
            kinds["snippets"].add(k, text_scores(model, snip, key))
    for text, k, key in docs:
        kinds["documents"].add(k, text_scores(model, text, key, mode=documents.FULL))
    return {name: s.arrays() for name, s in kinds.items()}


def choose(model, val_rows, cache_files, classes):
    """The calibration on validation: the pair, the rates before and after, and the worst class's share
    of files lost to dialog."""
    dialog = classes.index("dialog")
    files, docs = validation_texts(val_rows, cache_files, classes)
    kinds = collect(model, files, docs, len(classes))
    (scale, bias), after, worst = choose_pair(kinds, dialog)
    before, _ = rates(kinds, 1.0, 0.0, dialog)
    return {"scale": scale, "dialog_bias": bias, "files": len(kinds["files"][0]),
            "snippets": len(kinds["snippets"][0]), "documents": len(kinds["documents"][0]),
            "before": before, "after": after, "worst_class_lost_to_dialog": worst}


def fold(model, scale, bias, dialog):
    """Folds the pair into the last layer, so that the exported network gives the calibrated scores."""
    import torch
    with torch.no_grad():
        model.fc.weight.mul_(scale)
        model.fc.bias.mul_(scale)
        model.fc.bias[dialog] += bias
