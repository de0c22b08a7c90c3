"""Calibration of the last layer on the validation split, for the library's decision rule.

The library sums the raw scores of every piece it infers, takes the softmax and answers "dialog" when
the top probability is below 0.4. So the scale of the scores decides how often a right but unsure
answer is replaced by "dialog", and a bias on "dialog" decides how code-like prose must be before it
is answered as code. Both are folded into the last linear layer: scores become scale * s, plus bias on
"dialog" for every piece. The pair is chosen on validation files and snippets (never the test split) to
maximise the mean of the three rates the evaluation reports: code files right, prose files answered
"dialog", and 100-500 byte snippets right.
"""
import collections
import random
import zlib

import numpy as np
import torch

import prep

FILES_PER_CLASS = 60
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


def text_scores(model, data, seed):
    """(summed raw scores, number of pieces) as the library would get them; None when it answers at once."""
    rng = random.Random(seed)
    pieces = prep.text_pieces(data, rand=lambda: rng.getrandbits(31))
    if not pieces:
        return None
    rows = torch.from_numpy(np.stack([prep.rows(p) for p in pieces]))
    with torch.no_grad():
        return model.forward_rows(rows).sum(dim=0).numpy().astype(np.float64), len(pieces)


def collect(model, files):
    """Scores of whole files and of one snippet each: lists of (class index, scores or None)."""
    model.eval()
    whole, short = [], []
    for path, k, key in files:
        data = open(path, "rb").read()
        whole.append((k, text_scores(model, data, key)))
        snip = short_snippet(data, key)
        if snip is not None:
            short.append((k, text_scores(model, snip, key)))
    return whole, short


def answers(scored, scale, bias, dialog):
    """Top-1 class of each scored text under the library's rule, after scaling and the dialog bias."""
    out = []
    for _, got in scored:
        if got is None:
            out.append(dialog)
            continue
        s, n = got
        z = s * scale
        z[dialog] += bias * n
        z = z - z.max()
        p = np.exp(z)
        p /= p.sum()
        top = int(p.argmax())
        out.append(top if p[top] >= prep.CONFIDENCE else dialog)
    return np.array(out)


def share(hits):
    return float(hits.mean()) if len(hits) else 0.0


def rates(whole, short, scale, bias, dialog):
    truth_w = np.array([k for k, _ in whole])
    got_w = answers(whole, scale, bias, dialog)
    truth_s = np.array([k for k, _ in short])
    got_s = answers(short, scale, bias, dialog)
    code = truth_w != dialog
    return {"code_files": share(got_w[code] == truth_w[code]),
            "prose_files": share(got_w[~code] == dialog),
            "snippets": share(got_s == truth_s)}


def choose(model, val_rows, cache_files, classes):
    """The (scale, dialog bias) pair that maximises the mean rate on validation, and the rates before and after."""
    dialog = classes.index("dialog")
    by_class = collections.defaultdict(list)
    for r in val_rows:
        key = zlib.crc32(r["id"].encode())
        by_class[r["class"]].append((key, r))
    files = []
    for cls, got in by_class.items():
        for key, r in sorted(got, key=lambda kv: kv[0])[:FILES_PER_CLASS]:
            files.append((cache_files(r["id"]), classes.index(cls), key))
    whole, short = collect(model, files)
    grid = {(s, b): rates(whole, short, s, b, dialog) for s in SCALES for b in DIALOG_BIASES}
    best = max(grid, key=lambda sb: (round(sum(grid[sb].values()), 6), -abs(sb[0] - 1.0), -abs(sb[1])))
    return {"scale": best[0], "dialog_bias": best[1], "files": len(whole), "snippets": len(short),
            "before": rates(whole, short, 1.0, 0.0, dialog), "after": grid[best]}


def fold(model, scale, bias, dialog):
    """Folds the pair into the last layer, so that the exported network gives the calibrated scores."""
    with torch.no_grad():
        model.fc.weight.mul_(scale)
        model.fc.bias.mul_(scale)
        model.fc.bias[dialog] += bias
