"""Pieces as the network reads them, kept in groups that remember which text they came from.

A piece is at most 500 cleaned bytes, every one in the alphabet, so it is stored as its column indices
(uint8, EMPTY_ROW past its end) and its length. The network's 510 rows are the piece repeated from its
start (prep.rows); rows_of() builds them for a batch at once, and can read a window of each piece instead
of the whole, which is what the library makes of a short text.

A group is the pieces of one text as the library would infer them: a file in the automatic mode, a short
snippet of a file, a document of prose, or prose with a pasted snippet of code. A group's label is the
answer the library should give for the sum of its pieces' scores.
"""
from dataclasses import dataclass

import numpy as np

import prep

PIECE = prep.PIECE_BYTES
FILE, SNIPPET, PROSE, MIXED = range(4)
KIND_NAMES = ("file", "snippet", "prose", "mixed")
# Pieces of these kinds carry their group's label on their own; the prose pieces of a mixed document do not.
PIECE_LABELLED = (FILE, SNIPPET, PROSE)


def piece_columns(piece):
    """(columns[500] uint8, length) of one cleaned piece."""
    if not 0 < len(piece) <= PIECE:
        raise ValueError(f"a piece has 1 to {PIECE} bytes, not {len(piece)}")
    cols = prep.COLUMN_OF[np.frombuffer(piece, dtype=np.uint8)]
    if (cols < 0).any():
        raise ValueError("a piece holds a byte outside the alphabet: it was not cleaned")
    out = np.full(PIECE, prep.EMPTY_ROW, dtype=np.uint8)
    out[:len(cols)] = cols
    return out, len(cols)


def rows_of(cols, lengths, starts=None, spans=None):
    """[B, 510] int64 rows of B pieces (cols [B, 500], lengths [B]); with starts and spans, of the window
    cols[start:start + span] of each, repeated as prep.rows repeats a short piece."""
    lengths = np.asarray(lengths, dtype=np.int64)
    starts = np.zeros_like(lengths) if starts is None else np.asarray(starts, dtype=np.int64)
    spans = lengths if spans is None else np.asarray(spans, dtype=np.int64)
    at = starts[:, None] + np.arange(prep.POSITIONS)[None, :] % spans[:, None]
    return np.take_along_axis(np.asarray(cols), at, axis=1).astype(np.int64)


def random_windows(lengths, rng, share, low=100, high=500):
    """(starts, spans) that cut about `share` of the pieces to a random window of low to high bytes (never
    longer than the piece); the others keep the whole piece. Pieces of low bytes or fewer stay whole."""
    lengths = np.asarray(lengths, dtype=np.int64)
    starts, spans = np.zeros_like(lengths), lengths.copy()
    cut = (rng.random_sample(len(lengths)) < share) & (lengths > low)
    if cut.any():
        top = np.minimum(lengths[cut], high)
        spans[cut] = low + (rng.random_sample(int(cut.sum())) * (top - low + 1)).astype(np.int64)
        spans[cut] = np.minimum(spans[cut], top)
        starts[cut] = (rng.random_sample(int(cut.sum())) * (lengths[cut] - spans[cut] + 1)).astype(np.int64)
    return starts, spans


@dataclass
class Pool:
    """The pieces of one split, grouped: group g owns pieces offsets[g]:offsets[g + 1]."""
    cols: np.ndarray      # [N, 500] uint8
    lengths: np.ndarray   # [N] int16
    offsets: np.ndarray   # [G + 1] int64
    labels: np.ndarray    # [G] int16, class index
    kinds: np.ndarray     # [G] uint8, FILE .. MIXED

    def group_sizes(self):
        return np.diff(self.offsets)

    def piece_groups(self):
        """[N]: the group of every piece."""
        return np.repeat(np.arange(len(self.labels)), self.group_sizes())

    def save(self, path):
        np.savez(path, cols=self.cols, lengths=self.lengths, offsets=self.offsets, labels=self.labels,
                 kinds=self.kinds)

    @classmethod
    def load(cls, path):
        with np.load(path) as z:
            pool = cls(**{k: z[k] for k in ("cols", "lengths", "offsets", "labels", "kinds")})
        pool.check()
        return pool

    def check(self):
        n, g = len(self.lengths), len(self.labels)
        if self.cols.shape != (n, PIECE) or len(self.kinds) != g or len(self.offsets) != g + 1:
            raise ValueError("pool arrays disagree on their sizes")
        if self.offsets[0] != 0 or self.offsets[-1] != n or (np.diff(self.offsets) <= 0).any():
            raise ValueError("pool offsets do not cut the pieces into non-empty groups")


class PoolBuilder:
    def __init__(self):
        self.cols, self.lengths, self.offsets, self.labels, self.kinds = [], [], [0], [], []

    def add(self, pieces, label, kind):
        """Adds one group; a text that gave no piece adds nothing (the library answers it at once)."""
        if not pieces:
            return False
        for p in pieces:
            c, n = piece_columns(p)
            self.cols.append(c)
            self.lengths.append(n)
        self.offsets.append(self.offsets[-1] + len(pieces))
        self.labels.append(label)
        self.kinds.append(kind)
        return True

    def add_encoded(self, cols, lengths, label, kind):
        if len(lengths) == 0:
            return False
        self.cols.extend(cols)
        self.lengths.extend(lengths)
        self.offsets.append(self.offsets[-1] + len(lengths))
        self.labels.append(label)
        self.kinds.append(kind)
        return True

    def build(self):
        pool = Pool(cols=np.array(self.cols, dtype=np.uint8).reshape(-1, PIECE),
                    lengths=np.array(self.lengths, dtype=np.int16),
                    offsets=np.array(self.offsets, dtype=np.int64),
                    labels=np.array(self.labels, dtype=np.int16),
                    kinds=np.array(self.kinds, dtype=np.uint8))
        pool.check()
        return pool
