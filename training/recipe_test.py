#!/usr/bin/python3
"""Tests of the training pipeline's logic that needs no network: pieces and their rows, documents, the
epoch's sampling, calibration's choice, and the index reader."""
import os
import random
import sys
import tempfile
import unittest

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import calibrate  # noqa: E402
import corpus_index  # noqa: E402
import documents  # noqa: E402
import make_fixtures  # noqa: E402
import pool_build  # noqa: E402
import prep  # noqa: E402
import sampling  # noqa: E402
from pieces import FILE, MIXED, PROSE, SNIPPET, Pool, PoolBuilder, piece_columns, random_windows, rows_of  # noqa: E402

CODE = b"".join(b"def f%d(x):\n    return x * %d + len('%s')\n\n" % (i, i, b"ab" * (i % 7)) for i in range(120))
PROSE_TEXT = b"\n\n".join(b"Dear colleagues, the meeting about item %d moves to Thursday afternoon; "
                          b"please bring the minutes and your notes." % i for i in range(12))


def pieces_of(text, seed=1):
    return documents.text_pieces(text, random.Random(seed))


class PieceRows(unittest.TestCase):
    def test_rows_are_the_library_rows_of_whole_pieces_and_of_windows(self):
        got = pieces_of(CODE) + pieces_of(CODE[:130])
        self.assertTrue(any(len(p) < 200 for p in got) and any(len(p) == 500 for p in got))
        cols = np.stack([piece_columns(p)[0] for p in got])
        lengths = np.array([len(p) for p in got])
        np.testing.assert_array_equal(rows_of(cols, lengths), np.stack([prep.rows(p) for p in got]))
        starts, spans = np.array([3] * len(got)), np.minimum(lengths - 3, 120)
        windows = [p[3:3 + s] for p, s in zip(got, spans)]
        np.testing.assert_array_equal(rows_of(cols, lengths, starts, spans), np.stack([prep.rows(w) for w in windows]))

    def test_an_uncleaned_piece_or_a_long_one_is_refused(self):
        for bad in (b"tab\there", b"x" * 501, b""):
            with self.assertRaises(ValueError):
                piece_columns(bad)

    def test_windows_cut_about_the_share_asked_within_bounds(self):
        rng = np.random.RandomState(3)
        lengths = np.array([500] * 4000 + [90] * 1000)
        starts, spans = random_windows(lengths, rng, 0.5)
        cut = spans < lengths
        self.assertAlmostEqual(cut[:4000].mean(), 0.5, delta=0.05)
        self.assertFalse(cut[4000:].any())  # too short to cut
        self.assertTrue((spans[cut] >= 100).all() and (spans[cut] <= 500).all())
        self.assertTrue((starts + spans <= lengths).all() and (starts >= 0).all())
        self.assertEqual(random_windows(lengths, rng, 0.0)[1].tolist(), lengths.tolist())


def small_pool():
    """Class 0 and 1 code, class 2 dialog: files of 3 and 1 pieces, a snippet, prose and mixed documents."""
    b = PoolBuilder()
    p = pieces_of(CODE)[:3]
    b.add(p, 0, FILE)            # group 0: pieces 0-2
    b.add(p[:1], 1, FILE)        # group 1: piece 3 (too few for a file document)
    b.add(p[:2], 1, SNIPPET)     # group 2: pieces 4-5
    b.add(p[:2], 2, PROSE)       # group 3: pieces 6-7
    b.add(p[:3], 0, MIXED)       # group 4: pieces 8-10
    b.add([], 0, FILE)           # a text the library answers at once adds nothing
    return b.build()


class PoolsAndSampling(unittest.TestCase):
    def test_pool_saves_and_loads_and_refuses_inconsistent_arrays(self):
        pool = small_pool()
        self.assertEqual(pool.offsets.tolist(), [0, 3, 4, 6, 8, 11])
        with tempfile.TemporaryDirectory() as d:
            pool.save(os.path.join(d, "p.npz"))
            back = Pool.load(os.path.join(d, "p.npz"))
            np.testing.assert_array_equal(back.cols, pool.cols)
            pool.offsets[2] = pool.offsets[1]  # an empty group
            pool.save(os.path.join(d, "bad.npz"))
            with self.assertRaises(ValueError):
                Pool.load(os.path.join(d, "bad.npz"))

    def test_balanced_pieces_take_labelled_pieces_only_and_dialog_twice(self):
        pool = small_pool()
        idx, ys = sampling.balanced_pieces(pool, classes=3, per_class=50, dialog=2, rng=np.random.RandomState(0))
        self.assertEqual(np.bincount(ys).tolist(), [50, 50, 100])
        group = pool.piece_groups()[idx]
        np.testing.assert_array_equal(pool.labels[group], ys)
        self.assertNotIn(4, set(group.tolist()))  # the mixed document's prose pieces carry no label

    def test_documents_are_pieces_of_one_group_with_its_label(self):
        pool = small_pool()
        drawer = sampling.DocumentDrawer(pool)
        self.assertNotIn(1, drawer.groups[FILE])  # one piece is no document
        idx, docs, labels = drawer.draw(400, np.random.RandomState(1))
        groups = pool.piece_groups()
        kinds_seen = set()
        for d in range(400):
            mine = idx[docs == d]
            self.assertEqual(len(set(groups[mine].tolist())), 1)
            g = groups[mine[0]]
            self.assertEqual(labels[d], pool.labels[g])
            kinds_seen.add(int(pool.kinds[g]))
            if pool.kinds[g] == FILE:
                self.assertTrue(2 <= len(mine) <= 3 and len(set(mine.tolist())) == len(mine))
            else:
                self.assertEqual(len(mine), pool.offsets[g + 1] - pool.offsets[g])  # taken whole
        self.assertEqual(kinds_seen, {FILE, SNIPPET, PROSE, MIXED})
        self.assertEqual(np.unique(docs).tolist(), list(range(400)))

    def test_document_scores_are_sums_and_accuracy_is_per_kind_class_mean(self):
        pool = small_pool()
        scores = np.zeros((11, 3))
        scores[0:3, 0] = [1, 1, -5]  # file: sums to -3 for class 0 -> wrong (class 1 and 2 at 0)
        scores[0:3, 1] = 0.5
        scores[3, 1] = 2             # right
        scores[4:6, 1] = 1           # right
        scores[6:8, 2] = 1           # right
        scores[8:11, 0] = [3, -1, 0]  # right
        docs = np.array([0, 0, 1])
        np.testing.assert_allclose(sampling.document_scores(scores[:3], docs, 2), [[2, 1, 0], [-5, 0.5, 0]])
        acc = sampling.document_accuracy(pool, scores)
        self.assertEqual(acc, {FILE: 0.5, SNIPPET: 1.0, PROSE: 1.0, MIXED: 1.0})
        self.assertAlmostEqual(sampling.selection_score(acc), 0.875)

    def test_documents_come_in_after_their_start_and_rise_to_their_weight(self):
        at = [sampling.document_weight_at(f, 2.0, 0.2) for f in (0.0, 0.19, 0.2, 0.3, 0.4, 0.9)]
        np.testing.assert_allclose(at, [0, 0, 0, 1.0, 2.0, 2.0])
        self.assertEqual(sampling.document_weight_at(0.0, 0.5, 0.0), 0.5)

    def test_evaluation_groups_are_capped_per_kind_and_class_and_fixed(self):
        b = PoolBuilder()
        p = pieces_of(CODE)[:1]
        for i in range(30):
            b.add(p, i % 2, FILE if i < 20 else SNIPPET)
        pool = b.build()
        got = sampling.evaluation_groups(pool, 4, np.random.RandomState(5))
        keys = [(int(pool.kinds[g]), int(pool.labels[g])) for g in got]
        self.assertEqual(sorted(set(keys)), [(FILE, 0), (FILE, 1), (SNIPPET, 0), (SNIPPET, 1)])
        self.assertTrue(all(keys.count(k) == 4 for k in set(keys)))
        np.testing.assert_array_equal(got, sampling.evaluation_groups(pool, 4, np.random.RandomState(5)))


class Documents(unittest.TestCase):
    def test_paragraphs_drop_short_blocks(self):
        text = b"Hi,\n\nThis is the first paragraph, long enough to count as one.\n  \nok\n\nThe second " \
               b"paragraph goes\nover two lines of text here.\n"
        self.assertEqual(documents.paragraphs(text), [
            b"This is the first paragraph, long enough to count as one.",
            b"The second paragraph goes\nover two lines of text here."])

    def test_pasted_lines_are_a_run_of_five_to_forty_lines(self):
        rng = random.Random(2)
        lines = CODE.split(b"\n")
        for _ in range(50):
            got = documents.pasted_lines(CODE, rng)
            n = got.count(b"\n")
            self.assertTrue(5 <= n <= 40, n)
            self.assertIn(got.rstrip(b"\n"), b"\n".join(lines))
            self.assertTrue(got.split(b"\n")[0].strip())
        self.assertIsNone(documents.pasted_lines(b"a\nb\n\n\nc\n", rng))

    def test_mixed_document_holds_the_code_between_paragraphs(self):
        rng = random.Random(4)
        paras = documents.paragraphs(PROSE_TEXT)
        for _ in range(20):
            code = documents.pasted_lines(CODE, rng)
            doc = documents.mixed_document(paras, code, rng)
            self.assertIn(code.rstrip(b"\n"), doc)
            before, after = doc.split(code.rstrip(b"\n"))
            self.assertTrue(before.strip(), "the code opens the document")
            self.assertLessEqual(len(doc) - len(code), documents.DOCUMENT_BYTES[1] + 200)
        self.assertIsNone(pool_build.document_text(b"no\n\nparagraphs\n", CODE, rng))

    def test_file_groups_give_distinct_pieces_and_snippet_groups(self):
        groups = pool_build.file_groups(CODE, 3, seed=9, want=12, snippets=5)
        kinds = [k for _, _, k in groups]
        self.assertEqual(kinds, [FILE] + [SNIPPET] * 5)
        file_pieces = groups[0][0]
        self.assertTrue(0 < len(file_pieces) <= 12 and len(set(file_pieces)) == len(file_pieces))
        self.assertTrue(all(lab == 3 for _, lab, _ in groups))
        self.assertEqual(groups, pool_build.file_groups(CODE, 3, seed=9, want=12, snippets=5))


def scored(truth, sums, pieces):
    return np.array(truth), np.array(sums, dtype=np.float64), np.array(pieces)


class Calibration(unittest.TestCase):
    def test_decisions_follow_the_library_rule(self):
        """The vectorised decision against make_fixtures' one-text version of the driver's rule."""
        rng = np.random.RandomState(7)
        names = [f"c{i}" for i in range(5)] + ["dialog"]
        sums = rng.randn(500, 6) * rng.choice([0.3, 1.0, 3.0], size=(500, 1))
        sums[:50] = rng.randn(50, 6) * 0.1
        sums[:50, 0], sums[:50, 1] = 5.0, 5.0 + rng.randn(50) * 0.05  # near ties: two classes answered
        top, answered = calibrate.decisions(sums.copy(), np.ones(500, dtype=np.int64), 1.0, 0.0, 5)
        for t in range(500):
            want, _ = make_fixtures.decide(sums[t].astype(np.float32), names)
            got = "; ".join(names[c] for c in answered[t] if c >= 0) + ("" if want == "dialog" else "; ")
            self.assertEqual(got, want, t)
        self.assertTrue((answered[:50, 1] >= 0).all())

    def test_a_text_without_pieces_is_dialog_and_bias_counts_per_piece(self):
        sums = np.array([[0.0, 0.0], [1.0, 0.0], [1.0, 0.0]])
        top, _ = calibrate.decisions(sums.copy(), np.array([0, 1, 4]), 1.0, 0.5, dialog=1)
        self.assertEqual(top.tolist(), [1, 0, 1])

    def test_choice_keeps_every_class_within_the_loss_to_dialog(self):
        # Class 0's files are unsure: a large scale sends them to dialog, which helps prose. The best mean
        # would lose them; the constraint keeps them.
        files = scored([0] * 10 + [1] * 10 + [2] * 10,
                       [[0.3, 0.0, 0.0]] * 10 + [[0.0, 3.0, 0.0]] * 10 + [[0.0, 0.5, 0.0]] * 10, [1] * 30)
        snippets = scored([1], [[0.0, 3.0, 0.0]], [1])
        kinds = {"files": files, "snippets": snippets}
        (scale, bias), after, worst = calibrate.choose_pair(kinds, dialog=2, scales=(1.0,), biases=(0.0, 0.5))
        self.assertEqual((scale, bias), (1.0, 0.0))
        self.assertLessEqual(worst, 0.05)
        unconstrained = calibrate.choose_pair(kinds, 2, scales=(1.0,), biases=(0.0, 0.5), max_lost=1.0)
        self.assertEqual(unconstrained[0], (1.0, 0.5))
        self.assertEqual(calibrate.rates(kinds, 1.0, 0.5, 2)[1][0], 1.0)

    def test_when_no_pair_keeps_the_bound_the_least_loss_is_taken(self):
        files = scored([0] * 4 + [1] * 4, [[0.2, 0.0]] * 2 + [[-0.5, 0.0]] * 2 + [[0.0, 1.0]] * 4, [1] * 8)
        kinds = {"files": files, "snippets": scored([0], [[1.0, 0.0]], [1])}
        (scale, bias), _, worst = calibrate.choose_pair(kinds, 1, scales=(1.0,), biases=(0.0, 1.0), max_lost=0.0)
        self.assertEqual(bias, 0.0)
        self.assertEqual(worst, 0.5)

    def test_mixed_documents_count_when_the_code_is_among_the_answers(self):
        docs = scored([0, 1, 2], [[2.0, 2.05, -9.0], [0.0, 5.0, 0.0], [0.0, 0.0, 5.0]], [3, 3, 3])
        kinds = {"files": scored([0], [[5.0, 0.0, 0.0]], [1]), "snippets": scored([0], [[5.0, 0.0, 0.0]], [1]),
                 "documents": docs}
        got, _ = calibrate.rates(kinds, 1.0, 0.0, dialog=2)
        self.assertEqual(got["mixed_documents"], 1.0)  # class 0 second, within 0.1 of the first
        self.assertEqual(got["prose_documents"], 1.0)


class IndexFile(unittest.TestCase):
    def test_rows_written_are_read_back_and_bad_files_are_refused(self):
        with tempfile.TemporaryDirectory() as d:
            corpus_index.write_index(d, [{"id": "p/1", "class": "C", "project": "deb-x", "split": "train",
                                          "bytes": 12, "path": "src/a\tb.c"}])
            rows = corpus_index.read_index(d)
            self.assertEqual(rows, [{"id": "p/1", "class": "C", "project": "deb-x", "split": "train",
                                     "bytes": 12, "path": "src/a b.c"}])
            with open(os.path.join(d, "index.tsv"), "a") as fh:
                fh.write("p/2\tC\tdeb-x\ttrain\n")
            with self.assertRaisesRegex(ValueError, "index.tsv:3: 4 fields"):
                corpus_index.read_index(d)
            with open(os.path.join(d, "index.tsv"), "w") as fh:
                fh.write("id\tclass\n")
            with self.assertRaisesRegex(ValueError, "header"):
                corpus_index.read_index(d)


if __name__ == "__main__":
    unittest.main()
