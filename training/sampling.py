"""What one epoch trains on, drawn from a Pool: class-balanced single pieces, and documents (several pieces
of one text, scored as the library scores a text: the sum of its pieces' scores). Numpy only.
"""
import collections

import numpy as np

from pieces import FILE, MIXED, PIECE_LABELLED, PROSE, SNIPPET

DOCUMENT_PIECES = (2, 8)   # pieces drawn from a file's group for one document
MOST_PIECES = 32           # a snippet, prose or mixed group is taken whole, up to this many pieces
# Documents of each kind, as shares of a batch of documents.
DOCUMENT_KINDS = {FILE: 0.35, SNIPPET: 0.25, PROSE: 0.1, MIXED: 0.3}


def balanced_pieces(pool, classes, per_class, dialog, rng):
    """(piece indices, labels): per_class pieces of every class, twice that of dialog, drawn from the
    pieces that carry their group's label (with repetition for a class with fewer), in random order."""
    labelled = np.isin(pool.kinds, PIECE_LABELLED)
    group_of = pool.piece_groups()
    piece_label = pool.labels[group_of]
    usable = labelled[group_of]
    idx, ys = [], []
    for k in range(classes):
        have = np.flatnonzero(usable & (piece_label == k))
        if len(have) == 0:
            continue
        want = per_class * (2 if k == dialog else 1)
        idx.append(have[rng.choice(len(have), size=want, replace=len(have) < want)])
        ys.append(np.full(want, k, dtype=np.int64))
    idx, ys = np.concatenate(idx), np.concatenate(ys)
    order = rng.permutation(len(ys))
    return idx[order], ys[order]


class DocumentDrawer:
    """Draws documents from a pool: a kind by DOCUMENT_KINDS (among the kinds the pool has), then a class
    uniformly among those that have groups of that kind, then a group of both."""

    def __init__(self, pool, kinds=None):
        self.pool = pool
        self.groups = collections.defaultdict(list)
        for g, (kind, label) in enumerate(zip(pool.kinds, pool.labels)):
            if kind != FILE or pool.offsets[g + 1] - pool.offsets[g] >= DOCUMENT_PIECES[0]:
                self.groups[int(kind)].append(g)
        weights = kinds or DOCUMENT_KINDS
        self.kinds = [k for k in sorted(weights) if self.groups.get(k)]
        share = np.array([weights[k] for k in self.kinds], dtype=np.float64)
        self.share = share / share.sum() if len(share) else share
        self.by_label = {k: self._by_label(self.groups[k]) for k in self.kinds}

    def _by_label(self, groups):
        by = collections.defaultdict(list)
        for g in groups:
            by[int(self.pool.labels[g])].append(g)
        return [np.array(v) for _, v in sorted(by.items())]

    def draw(self, count, rng):
        """(piece indices, document of each piece, label of each document) for `count` documents."""
        if not self.kinds:
            raise ValueError("the pool has no group that can make a document")
        pieces, docs, labels = [], [], []
        for d, kind in enumerate(rng.choice(self.kinds, size=count, p=self.share)):
            per_label = self.by_label[kind]
            groups = per_label[rng.randint(len(per_label))]
            g = int(groups[rng.randint(len(groups))])
            got = self.group_pieces(g, kind, rng)
            pieces.append(got)
            docs.append(np.full(len(got), d, dtype=np.int64))
            labels.append(int(self.pool.labels[g]))
        return np.concatenate(pieces), np.concatenate(docs), np.array(labels, dtype=np.int64)

    def group_pieces(self, g, kind, rng):
        lo, hi = int(self.pool.offsets[g]), int(self.pool.offsets[g + 1])
        if kind == FILE:
            take = rng.randint(DOCUMENT_PIECES[0], min(DOCUMENT_PIECES[1], hi - lo) + 1)
            return lo + np.sort(rng.choice(hi - lo, size=take, replace=False))
        return np.arange(lo, min(hi, lo + MOST_PIECES))


def document_weight_at(frac, weight, start):
    """The documents' weight in the loss when frac of the training's steps are done: none before start, then
    rising evenly to `weight` over the next start (at once when start is 0). A fresh network learns the
    pieces first: documents from the first step held it at chance level, while documents added to a network
    trained on pieces teach it to sum them."""
    if start <= 0:
        return weight
    return weight * min(1.0, max(0.0, (frac - start) / start))


def document_scores(piece_scores, docs, count):
    """[count, classes]: the sum of the scores of each document's pieces (docs: document of each piece)."""
    out = np.zeros((count, piece_scores.shape[1]), dtype=np.float64)
    np.add.at(out, docs, piece_scores)
    return out


def document_accuracy(pool, piece_scores, groups=None):
    """Accuracy of the argmax of summed scores per group, as {kind: class-mean accuracy} over `groups`
    (default: all). A text is right when its summed scores rank its label first."""
    groups = np.arange(len(pool.labels)) if groups is None else np.asarray(groups)
    right = collections.defaultdict(lambda: collections.defaultdict(list))
    for g in groups:
        lo, hi = pool.offsets[g], pool.offsets[g + 1]
        top = int(np.argmax(piece_scores[lo:hi].sum(axis=0)))
        right[int(pool.kinds[g])][int(pool.labels[g])].append(top == pool.labels[g])
    return {kind: float(np.mean([np.mean(v) for v in by.values()])) for kind, by in sorted(right.items())}


def selection_score(accuracy):
    """The one number that picks the kept checkpoint: the mean over kinds of text of their accuracy."""
    return float(np.mean(list(accuracy.values()))) if accuracy else 0.0


def evaluation_groups(pool, per_kind_class, rng):
    """At most per_kind_class groups of every (kind, class), fixed for a run, so that each epoch is judged on
    the same texts."""
    by = collections.defaultdict(list)
    for g, key in enumerate(zip(pool.kinds.tolist(), pool.labels.tolist())):
        by[key].append(g)
    chosen = []
    for key in sorted(by):
        got = np.array(by[key])
        chosen.extend(got[rng.permutation(len(got))[:per_kind_class]].tolist())
    return np.array(sorted(chosen), dtype=np.int64)
