"""One epoch of training and the judging of a network on a pool (PyTorch).

A step trains on a batch of single pieces (some cut to a random short window) and, when documents are
asked for, on a batch of documents whose loss is taken on the mean of their pieces' scores, which ranks
the classes as the sum the library answers from does (document_means).
"""
import math
import sys
import time

import numpy as np
import torch

import pieces
import prep
import sampling

BATCH, PEAK_LR, FLOOR_LR = 256, 3e-3, 5e-5
EVAL_CHUNK = 1024


def set_learning_rate(opt, frac):
    for group in opt.param_groups:
        group["lr"] = PEAK_LR * 0.5 * (1 + math.cos(math.pi * frac)) + FLOOR_LR


def epochs_that_fit(done, elapsed, limit, planned):
    """How many epochs the run can have at the pace of those done so far: the planned number unless the
    time limit comes first. The learning-rate schedule follows steps towards this number, never the clock,
    so a busy machine trains the same model as an idle one as long as it keeps within the limit."""
    pace = elapsed / done
    return max(done, min(planned, done + int((limit - elapsed) // pace)))


class WeightAverage:
    """Running mean of a model's weights."""

    def __init__(self, state=None, count=0):
        self.state, self.count = state, count

    def add(self, model):
        self.count += 1
        if self.state is None:
            self.state = {k: v.detach().clone() for k, v in model.state_dict().items()}
            return
        for k, v in model.state_dict().items():
            self.state[k] += (v.detach() - self.state[k]) / self.count


class DeviceRows:
    """A pool's pieces held on the training device, and pieces.rows_of done there: on an accelerator the
    rows of a batch are made where they are used instead of being copied to it every step."""

    def __init__(self, pool, device):
        self.device = device
        self.cols = torch.from_numpy(pool.cols).to(device)
        self.lengths = torch.from_numpy(pool.lengths.astype(np.int64)).to(device)
        self.positions = torch.arange(prep.POSITIONS, device=device)

    def __call__(self, idx, starts=None, spans=None):
        idx = torch.from_numpy(np.asarray(idx, dtype=np.int64)).to(self.device)
        starts = torch.zeros_like(idx) if starts is None else torch.from_numpy(starts).to(self.device)
        spans = self.lengths[idx] if spans is None else torch.from_numpy(spans).to(self.device)
        at = starts[:, None] + self.positions[None, :] % spans[:, None]
        return torch.gather(self.cols[idx].long(), 1, at)


class Recipe:
    """What a step trains on: per_class pieces of each class per epoch, a share of them cut to windows of
    100 to 500 bytes, and documents_per_step documents per step, weighted by document_weight in the loss
    once documents_from of the training is done (sampling.document_weight_at)."""

    def __init__(self, per_class=3000, window_share=0.0, documents_per_step=0, document_weight=1.0,
                 documents_from=0.0):
        self.per_class, self.window_share = per_class, window_share
        self.documents_per_step, self.document_weight = documents_per_step, document_weight
        self.documents_from = documents_from

    def as_dict(self):
        return dict(vars(self))


def steps_per_epoch(recipe, classes):
    return math.ceil(recipe.per_class * (classes + 1) / BATCH)


def document_means(scores, doc_of, count):
    """[count, classes]: the mean of each document's piece scores. Its ranking is that of the sum the
    library answers from; the loss is taken on the mean because on the sum a document of n pieces weighs n
    single pieces, and documents of up to 32 pieces then drown the pieces' signal (from a fresh network,
    training stalled at chance level)."""
    sums = torch.zeros(count, scores.shape[1], device=scores.device).index_add_(0, doc_of, scores)
    sizes = torch.bincount(doc_of, minlength=count).clamp(min=1).to(scores.dtype)
    return sums / sizes[:, None]


def train_epoch(model, opt, loss_fn, pool, rows, drawer, recipe, classes, dialog, rng, step, total_steps, device,
                label=""):
    """Trains one epoch; returns (steps done in all, mean piece loss, mean document loss or None).
    rows: the pool's DeviceRows."""
    idx, ys = sampling.balanced_pieces(pool, classes, recipe.per_class, dialog, rng)
    seen, piece_loss, doc_loss, doc_seen, running = 0, 0.0, 0.0, 0, 0.0
    t0 = time.time()
    for i in range(0, len(ys), BATCH):
        set_learning_rate(opt, min(step / total_steps, 1.0))
        bi = idx[i:i + BATCH]
        starts, spans = pieces.random_windows(pool.lengths[bi], rng, recipe.window_share)
        yb = torch.from_numpy(ys[i:i + BATCH]).to(device)
        loss = loss_fn(model.forward_rows(rows(bi, starts, spans)), yb)
        piece_loss += float(loss) * len(yb)
        d_weight = (sampling.document_weight_at(step / total_steps, recipe.document_weight, recipe.documents_from)
                    if recipe.documents_per_step else 0.0)
        if d_weight > 0:
            d_idx, d_of, d_y = drawer.draw(recipe.documents_per_step, rng)
            scores = model.forward_rows(rows(d_idx))
            d_loss = loss_fn(document_means(scores, torch.from_numpy(d_of).to(device), len(d_y)),
                             torch.from_numpy(d_y).to(device))
            doc_loss += float(d_loss) * len(d_y)
            doc_seen += len(d_y)
            loss = loss + d_weight * d_loss
        opt.zero_grad()
        loss.backward()
        opt.step()
        step += 1
        seen += len(yb)
        running = 0.98 * running + 0.02 * float(loss) if seen > BATCH else float(loss)
        if step % 50 == 1:
            sys.stderr.write(f"\r  {label} {seen}/{len(ys)} loss {running:.3f} [{(time.time() - t0) / 60:.1f} min]   ")
    return step, piece_loss / max(seen, 1), (doc_loss / doc_seen if doc_seen else None)


def piece_scores(model, rows, idx):
    """[len(idx), classes] float64 scores of the whole pieces idx (of the pool of rows), in eval mode."""
    model.eval()
    out = []
    with torch.no_grad():
        for i in range(0, len(idx), EVAL_CHUNK):
            out.append(model.forward_rows(rows(idx[i:i + EVAL_CHUNK])).double().cpu().numpy())
    model.train()
    return np.concatenate(out) if out else np.zeros((0, 0))


def judge(model, pool, rows, groups):
    """Accuracy on a fixed set of validation groups: per kind of text (documents scored by summed piece
    scores) and per class on the single pieces that carry their label. Returns (selection score, document
    accuracy by kind name, piece accuracy class mean, piece accuracy by class index)."""
    sub_offsets = [0]
    idx = []
    for g in groups:
        lo, hi = int(pool.offsets[g]), int(pool.offsets[g + 1])
        idx.append(np.arange(lo, hi))
        sub_offsets.append(sub_offsets[-1] + hi - lo)
    idx = np.concatenate(idx)
    scores = piece_scores(model, rows, idx)
    sub = pieces.Pool(cols=pool.cols[idx], lengths=pool.lengths[idx], offsets=np.array(sub_offsets),
                      labels=pool.labels[groups], kinds=pool.kinds[groups])
    documents = sampling.document_accuracy(sub, scores)
    labelled = np.isin(sub.kinds, pieces.PIECE_LABELLED)[sub.piece_groups()]
    truth = sub.labels[sub.piece_groups()]
    per_class = {int(k): float((scores[labelled & (truth == k)].argmax(axis=1) == k).mean())
                 for k in np.unique(truth[labelled])}
    piece_mean = float(np.mean(list(per_class.values()))) if per_class else 0.0
    named = {pieces.KIND_NAMES[k]: v for k, v in documents.items()}
    return sampling.selection_score(documents), named, piece_mean, per_class
