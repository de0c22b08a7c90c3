#!/usr/bin/python3
"""Writes tests/fixtures_check/prep_fixtures.txt: what prep.py and the trained network make of a set of
texts, for the C++ test that compares the library with them (cleaning, batches, pieces, one-hot rows,
scores and whole answers). The texts are written here, never taken from the corpus, so none of them is
training data.

Line format (strings hex-encoded, "-" for an empty string or a text set aside):
  alphabet <hex>                             prep.ALPHABET, once, before the cases: the library checks it
  case <name>
  text <hex>
  clean <hex>|-                              the three cleaning passes and the 40 % gate
  batches <mode> <batchLen> <sampleNums> <srand seed> <return> <effective mode> <sampleNums after> <count>
  batch <hex>|-                              <count> lines, in order
  piece <batch index> <hex>                  pieces of the inferred batches of the first batches line
  rows <hex>                                 510 bytes: the one-hot column of each row, 96 for an empty row
  scores <float> ...                         the network's scores for that piece, in code.txt order
  answer <srand seed> <return> <hex>|-       QuorvelParse(text, -1, result, -1, -1) after srand(seed)
  end
"""
import argparse
import os
import random
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import labels  # noqa: E402
import prep  # noqa: E402

CONFIDENCE, CLOSENESS, PLACES = prep.CONFIDENCE, prep.CLOSENESS, prep.PLACES
MARGIN = 0.02  # answers closer than this to a decision boundary are left out: float noise could flip them
BATCH_CONFIGS = [(-1, 500, 5, 1), (0, 500, 5, 1), (1, 500, 5, 1), (2, 500, 5, 1), (2, 300, 3, 7),
                 (0, 100, 5, 1), (0, 600, 5, 1), (7, 250, 9, 3), (2, 500, 0, 1), (1, 0, 5, 1)]

C_CODE = b"""#include <stdio.h>
#include <stdlib.h>

/* Reads numbers from standard input and prints their running mean. */
int main(int argc, char **argv)
{
\tdouble sum = 0.0, value;
\tlong count = 0;
\twhile (scanf("%lf", &value) == 1) {
\t\tsum += value;
\t\tcount++;
\t\tprintf("%ld: %.3f\\n", count, sum / count);
\t}
\treturn count > 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
"""

PYTHON_CODE = b"""import argparse
import collections


def word_counts(path):
    \"\"\"Counts the words of a text file, ignoring case.\"\"\"
    counts = collections.Counter()
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            counts.update(w.lower() for w in line.split())
    return counts


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("path")
    for word, n in word_counts(parser.parse_args().path).most_common(10):
        print(f"{word:20} {n}")
"""

PROSE = (b"Dear Anna,\r\n\r\nthank you for the photographs of the harbour; the one with the fishing boats at dawn "
         b"is my favourite. We arrived home late on Sunday after a long drive through the rain, and the cat had "
         b"of course decided that the new sofa belongs to her now.\r\n\r\nNext month we plan to visit my sister in "
         b"the mountains. If you have time, come along: there is plenty of room, and the walks along the lake are "
         b"beautiful in autumn.\r\n\r\nWarm regards,\r\nPeter\r\n")

GERMAN = ("Die Stadtbibliothek \u00f6ffnet am Montag wieder. W\u00e4hrend der Umbauarbeiten wurden die "
          "Leses\u00e4le neu gestaltet, und f\u00fcr Kinder gibt es jetzt eine eigene Ecke mit B\u00fcchern, "
          "Spielen und gem\u00fctlichen Sitzkissen. Die \u00d6ffnungszeiten bleiben unver\u00e4ndert.\n").encode()

CJK = ("\u4eca\u5929\u5929\u6c14\u5f88\u597d\uff0c\u6211\u4eec\u53bb\u516c\u56ed\u6563\u6b65\u5427\u3002\n" * 12).encode()

JS_CODE = b"""export function debounce(fn, wait = 100) {
  let timer = null;
  return function (...args) {
    clearTimeout(timer);
    timer = setTimeout(() => fn.apply(this, args), wait);
  };
}

const onResize = debounce(() => {
  document.querySelectorAll('.panel').forEach((el) => el.classList.toggle('narrow', window.innerWidth < 640));
}, 250);
window.addEventListener('resize', onResize);
"""


def generated_code(seed, lines):
    """A long, deterministic Java-like text, so that modes 1 and 2 are reached."""
    rng = random.Random(seed)
    names = ["total", "index", "buffer", "count", "limit", "offset", "result", "value", "node", "item"]
    out = [b"public final class Accumulator {"]
    for i in range(lines):
        a, b = rng.choice(names), rng.choice(names)
        out.append(f"    private int {a}{i} = {b}.size() + {rng.randrange(1000)}; // step {i}".encode())
    out.append(b"}")
    return b"\n".join(out) + b"\n"


def cases():
    yield "c", C_CODE
    yield "python", PYTHON_CODE
    yield "javascript", JS_CODE
    yield "prose_crlf", PROSE
    yield "german_umlauts", GERMAN
    yield "cjk_only", CJK
    yield "short", b"x = 1\n"
    yield "forty_nine", b"a" * 49
    yield "fifty", b"b" * 50
    yield "digits_table", b"\n".join(f"{i:6d} {i * i:10d} {i * 7 % 13:4d}".encode() for i in range(80))
    yield "nul_inside", C_CODE[:300] + b"\0" + C_CODE[300:]
    yield "broken_utf8", b"caf\xc3\xa9 \x80\xbf stray; emoji \xf0\x9f\x98\x80 end; " * 8 + b"tail \xe4"
    yield "tabs_blanks", b"\t\t   key   =   value   \n" * 30
    yield "mode1_size", generated_code(11, 40)
    yield "mode2_size", generated_code(12, 120)
    yield "long_prose", PROSE * 9
    yield "mixed", PROSE + C_CODE + PYTHON_CODE


def hexs(b):
    return b.hex() if b else "-"


def softmax(v):
    v = np.asarray(v, dtype=np.float32)
    e = np.exp((v - v.max()).astype(np.float64))
    return (e / np.float64(np.float32(e.sum()))).astype(np.float32)


def decide(total, names):
    """(result, safe): the driver's answer for summed scores, and whether it is clear of every boundary."""
    if not np.any(total):
        return "dialog", True
    p = softmax(total)
    order = np.argsort(-p, kind="stable")
    top = float(p[order[0]])
    if top < CONFIDENCE:
        return names[-1], CONFIDENCE - top > MARGIN
    safe = top - CONFIDENCE > MARGIN and (len(order) < 2 or p[order[0]] - p[order[1]] > 1e-4)
    result, ref = "", top
    for place in range(min(PLACES, len(order))):
        c = order[place]
        diff = abs(float(p[c]) - ref)
        if place > 0:
            safe = safe and abs(diff - CLOSENESS) > MARGIN
            if not diff < CLOSENESS:
                continue
        result += names[c] + "; "
        ref = float(p[c])
    return result, safe


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--checkpoint", default=os.path.join(here, "..", ".cache", "model", "checkpoint.pt"))
    ap.add_argument("--out", default=os.path.join(here, "..", "tests", "fixtures_check", "prep_fixtures.txt"))
    args = ap.parse_args()
    import torch  # the checkpoint's network; the decision rule above needs numpy alone
    from model import SCRModel
    torch.set_num_threads(2)
    ckpt = torch.load(args.checkpoint)
    model = SCRModel(**ckpt["config"])
    model.load_state_dict(ckpt["state"])
    model.eval()
    names = ckpt["classes"]
    assert names == labels.CLASSES

    def scores(piece):
        with torch.no_grad():
            return model.forward_rows(torch.from_numpy(prep.rows(piece))[None])[0].numpy()

    lines = ["# generated by training/make_fixtures.py from the checkpoint of the bundled model; do not edit",
             f"alphabet {prep.ALPHABET.hex()}"]
    answers = 0
    for name, text in cases():
        lines += [f"case {name}", f"text {hexs(text)}"]
        cleaned = prep.clean(text)
        lines.append(f"clean {hexs(cleaned) if cleaned is not None else '-'}")
        first = None
        for mode, batch_len, sample_nums, seed in BATCH_CONFIGS:
            if cleaned is None:
                break
            got = prep.get_batch_string(cleaned, mode, batch_len, sample_nums, prep.GlibcRand(seed))
            if got is None:
                lines.append(f"batches {mode} {batch_len} {sample_nums} {seed} 0 -1 {sample_nums} 0")
                continue
            batches, effective, after = got
            first = first if first is not None else batches
            lines.append(f"batches {mode} {batch_len} {sample_nums} {seed} 1 {effective} {after} {len(batches)}")
            lines += [f"batch {hexs(b)}" for b in batches]
        for i, batch in enumerate(first or []):
            if not prep.inferred(batch):
                continue
            for piece in prep.pieces(batch):
                lines.append(f"piece {i} {hexs(piece)}")
                lines.append(f"rows {prep.rows(piece).astype(np.uint8).tobytes().hex()}")
                lines.append("scores " + " ".join(f"{v:.7g}" for v in scores(piece)))
        # the whole answer, as QuorvelParse gives it with the host defaults after srand(1)
        pieces = prep.text_pieces(text, rand=prep.GlibcRand(1))
        if cleaned is None or prep.get_batch_string(cleaned) is None:
            lines.append("answer 1 0 -")
            answers += 1
        else:
            total = np.zeros(len(names), dtype=np.float32)
            for piece in pieces:
                total += scores(piece)
            result, safe = decide(total, names)
            if safe:
                lines.append(f"answer 1 1 {hexs(result.encode())}")
                answers += 1
        lines.append("end")
    os.makedirs(os.path.dirname(os.path.abspath(args.out)), exist_ok=True)
    with open(args.out, "w") as fh:
        fh.write("\n".join(lines) + "\n")
    print(f"wrote {args.out}: {sum(1 for _ in cases())} cases, {answers} answers", file=sys.stderr)


if __name__ == "__main__":
    main()
