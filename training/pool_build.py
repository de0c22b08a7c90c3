"""Builds a split's Pool from the corpus: for every file, the pieces the library makes of it (over several
random batch choices where more are wanted) and a few short snippets of it; then documents of prose and
documents of prose with a pasted snippet of code. Every text is cut as the library cuts it (prep), in the
mode it would be parsed in. Seeds come from file ids, so a split always gives the same pool.
"""
import multiprocessing
import random
import sys

import numpy as np

import corpus_index
import documents
from pieces import FILE, MIXED, PROSE, SNIPPET, PoolBuilder, piece_columns

SEED = 20231018
MAX_PIECES_PER_FILE = 12  # a long file must not outweigh many short ones
SNIPPETS_PER_FILE = 5
# A scarce class takes more pieces (other random batches) and snippets of each of its files, so that its
# epochs repeat fewer identical samples: up to SCARCE_PIECE_BUDGET pieces per class, within these bounds.
SCARCE_PIECE_BUDGET, MAX_SCARCE_PIECES, MAX_SCARCE_SNIPPETS = 8000, 64, 16
MODES = (documents.AUTOMATIC, documents.FULL)


def hash_seed(text):
    h = 1469598103934665603
    for b in text.encode():
        h = ((h ^ b) * 1099511628211) & 0xFFFFFFFF
    return h ^ SEED


def sample_counts(class_files):
    """(pieces, snippets) to take of each file of a class that has class_files training files."""
    pieces = min(MAX_SCARCE_PIECES, max(MAX_PIECES_PER_FILE, SCARCE_PIECE_BUDGET // max(class_files, 1)))
    snippets = min(MAX_SCARCE_SNIPPETS, max(SNIPPETS_PER_FILE, pieces // 4))
    return pieces, snippets


def encoded(pieces):
    got = [piece_columns(p) for p in pieces]
    return [c for c, _ in got], [n for _, n in got]


def file_groups(data, label, seed, want, snippets):
    """[(pieces, label, kind)]: the file's distinct pieces (up to want, over up to 8 batch choices), then
    each snippet's pieces."""
    rng = random.Random(seed)
    pieces, seen = [], set()
    for _ in range(1 + (want > MAX_PIECES_PER_FILE) * 7):
        for p in documents.text_pieces(data, rng):
            if p not in seen:
                seen.add(p)
                pieces.append(p)
        if len(pieces) >= want:
            break
    rng.shuffle(pieces)
    groups = [(pieces[:want], label, FILE)]
    for _ in range(snippets):
        groups.append((documents.text_pieces(documents.snippet(data, rng), rng), label, SNIPPET))
    return groups


def _file_job(args):
    path, label, seed, want, snippets = args
    data = open(path, "rb").read()
    return [(*encoded(p), lab, kind) for p, lab, kind in file_groups(data, label, seed, want, snippets)]


def document_text(prose, code, rng):
    """A document of prose paragraphs, with `code`'s pasted lines between two of them when code is given;
    None when the prose has no paragraph or the code too few lines."""
    paras = documents.paragraphs(prose)
    if not paras:
        return None
    if code is None:
        return documents.prose_document(paras, rng)
    pasted = documents.pasted_lines(code, rng)
    return None if pasted is None else documents.mixed_document(paras, pasted, rng)


def _document_job(args):
    prose_path, code_path, label, seed, mode = args
    rng = random.Random(seed)
    prose = open(prose_path, "rb").read()
    code = open(code_path, "rb").read() if code_path else None
    text = document_text(prose, code, rng)
    if text is None:
        return []
    return [(*encoded(documents.text_pieces(text, rng, mode)), label, MIXED if code_path else PROSE)]


def document_jobs(cache, sel, class_index, dialog, mixed_per_class, prose_documents, seed):
    """Jobs for the documents: mixed_per_class mixed documents of every code class, prose_documents of
    prose alone; the modes alternate."""
    rng = random.Random(seed)
    prose = [corpus_index.file_path(cache, r) for r in sel if r["class"] == "dialog"]
    by_class = {}
    for r in sel:
        if r["class"] != "dialog":
            by_class.setdefault(r["class"], []).append(corpus_index.file_path(cache, r))
    if not prose:
        return []
    jobs = []
    for cls in sorted(by_class):
        for i in range(mixed_per_class):
            jobs.append((rng.choice(prose), rng.choice(by_class[cls]), class_index[cls], rng.getrandbits(31),
                         MODES[i % 2]))
    for i in range(prose_documents):
        jobs.append((rng.choice(prose), None, dialog, rng.getrandbits(31), MODES[i % 2]))
    return jobs


def build_pool(cache, rows, split, classes, mixed_per_class=0, prose_documents=0, workers=2, progress=True):
    """The Pool of a split. Training files of scarce classes give more pieces and snippets (sample_counts);
    validation and test files give the standard numbers."""
    sel = corpus_index.of_split(rows, split)
    class_index = {c: k for k, c in enumerate(classes)}
    class_files = {}
    for r in sel:
        class_files[r["class"]] = class_files.get(r["class"], 0) + 1
    counts = {c: sample_counts(n) if split == "train" else (MAX_PIECES_PER_FILE, SNIPPETS_PER_FILE)
              for c, n in class_files.items()}
    jobs = [(corpus_index.file_path(cache, r), class_index[r["class"]], hash_seed(r["id"]), *counts[r["class"]])
            for r in sel]
    docs = document_jobs(cache, sel, class_index, class_index["dialog"], mixed_per_class, prose_documents,
                         hash_seed(split))
    builder = PoolBuilder()
    with multiprocessing.Pool(workers) as pool:
        for what, fn, work in (("files", _file_job, jobs), ("documents", _document_job, docs)):
            for i, groups in enumerate(pool.imap(fn, work, chunksize=64), 1):
                for cols, lengths, label, kind in groups:
                    builder.add_encoded(cols, lengths, label, kind)
                if progress and (i % 2000 == 0 or i == len(work)):
                    sys.stderr.write(f"\r  {split} {what}: {i}/{len(work)}")
            if progress and work:
                sys.stderr.write("\n")
    return builder.build()


def kind_counts(pool):
    """{kind: (groups, pieces)}, for the training log."""
    sizes = pool.group_sizes()
    return {int(k): (int((pool.kinds == k).sum()), int(sizes[pool.kinds == k].sum())) for k in np.unique(pool.kinds)}
