"""Texts made of corpus files, as a content-inspection host meets them: short snippets of a file, documents
of prose paragraphs, and prose with a snippet of code pasted between two paragraphs (a mail or a chat
message). Pure functions of bytes and a random.Random; the pieces come from prep, as the library makes them.
"""
import math

import prep

SNIPPET_BYTES = (100, 2000)
PASTED_LINES = (5, 40)
DOCUMENT_BYTES = (1000, 4000)
PARAGRAPHS = (2, 6)
MIN_PARAGRAPH = 40     # shorter blocks (headers, signatures) are not paragraphs
AUTOMATIC, FULL = -1, 0  # the batching modes a host uses: automatic, and mode 0 for full coverage


def snippet(data, rng, low=SNIPPET_BYTES[0], high=SNIPPET_BYTES[1]):
    """A run of low to high bytes (log-uniform) from a random place, starting at a line when one is near."""
    target = int(math.exp(rng.uniform(math.log(low), math.log(high))))
    if len(data) <= target:
        return data
    start = rng.randrange(0, len(data) - target)
    nl = data.rfind(b"\n", 0, start)
    start = nl + 1 if nl >= 0 and start - nl < 200 else start
    return data[start:start + target]


def pasted_lines(data, rng, low=PASTED_LINES[0], high=PASTED_LINES[1]):
    """low to high consecutive lines of a code file, starting at a non-blank line; None when the file has
    fewer than low non-blank lines."""
    lines = data.split(b"\n")
    if sum(1 for line in lines if line.strip()) < low:
        return None
    want = rng.randint(low, high)
    starts = [i for i, line in enumerate(lines) if line.strip()] or [0]
    start = starts[rng.randrange(len(starts))]
    if len(lines) - start < low:
        start = max(0, len(lines) - want)
    return b"\n".join(lines[start:start + want]).strip(b"\n") + b"\n"


def paragraphs(data):
    """The blocks of a prose text between blank lines, each of at least MIN_PARAGRAPH bytes."""
    blocks, current = [], []
    for line in data.replace(b"\r\n", b"\n").split(b"\n"):
        if line.strip():
            current.append(line.rstrip())
        elif current:
            blocks.append(b"\n".join(current))
            current = []
    if current:
        blocks.append(b"\n".join(current))
    return [b for b in blocks if len(b) >= MIN_PARAGRAPH]


def prose_run(paras, rng, low=PARAGRAPHS[0], high=PARAGRAPHS[1], most=DOCUMENT_BYTES[1]):
    """low to high consecutive paragraphs from a random place, fewer when they would pass `most` bytes."""
    if not paras:
        return []
    start = rng.randrange(len(paras))
    want = rng.randint(low, high)
    run, size = [], 0
    for p in paras[start:] + paras[:start]:
        if len(run) == want or (run and size + len(p) > most):
            break
        run.append(p)
        size += len(p) + 2
    return run


def prose_document(paras, rng):
    return b"\n\n".join(prose_run(paras, rng)) + b"\n"


def mixed_document(paras, code, rng):
    """Prose paragraphs with `code` pasted between two of them (or after the only one)."""
    run = prose_run(paras, rng)
    at = rng.randint(1, max(1, len(run) - 1)) if len(run) > 1 else len(run)
    return b"\n\n".join(run[:at] + [code.rstrip(b"\n")] + run[at:]) + b"\n"


def text_pieces(text, rng, mode=AUTOMATIC):
    """The pieces the library infers for `text` in `mode`, its random batches drawn from rng."""
    return prep.text_pieces(text, mode=mode, rand=lambda: rng.getrandbits(31))
