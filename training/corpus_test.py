#!/usr/bin/python3
"""The corpus pipeline's own logic: manifest lines, source kinds, losses, de-duplication, split and caps.
Plain Python and the system's dpkg-deb and git; no training packages needed."""
import collections
import gzip
import hashlib
import io
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import selection  # noqa: E402
import sources  # noqa: E402


class ManifestLines(unittest.TestCase):
    def test_lines_give_entries_with_overrides(self):
        e = sources.parse_line("bin golang-x-dev 1:0.3-1 pl=Prolog v=Verilog")
        self.assertEqual((e.kind, e.name, e.version), ("bin", "golang-x-dev", "1:0.3-1"))
        self.assertEqual(e.overrides, {"pl": "Prolog", "v": "Verilog"})
        self.assertIsNone(sources.parse_line("  # a comment"))
        self.assertEqual(sources.parse_line("deb bash 5.2-1   # the shell").overrides, {})
        self.assertIsNone(sources.parse_line(""))

    def test_malformed_lines_are_refused_with_their_place(self):
        for line in ("deb onlyname", "svn x 1.0", "npm left-pad latest", "deb x 1.0 pl", "git owner/name main",
                     "git not-a-repo 0123456789012345678901234567890123456789"):
            with self.assertRaises(sources.ManifestError, msg=line) as cm:
                sources.parse_line(line, "m:7")
            self.assertIn("m:7", str(cm.exception))

    def test_an_entry_listed_twice_is_refused(self):
        with tempfile.NamedTemporaryFile("w", suffix=".manifest", delete=False) as fh:
            fh.write("deb bash 5.2-1\nnpm bash 1.0.0\ndeb bash 5.2-1\n")
        self.addCleanup(os.remove, fh.name)
        with self.assertRaisesRegex(sources.ManifestError, ":3: deb bash is listed twice"):
            sources.read_manifest(fh.name)

    def test_heldout_repositories_are_refused_case_insensitively(self):
        hashes = frozenset([hashlib.sha256(b"someone/kept").hexdigest()])
        self.assertTrue(sources.is_heldout("Someone/Kept", hashes))
        self.assertFalse(sources.is_heldout("someone/other", hashes))
        with self.assertRaisesRegex(sources.ManifestError, "is missing"):
            sources.heldout_hashes(os.path.join(tempfile.gettempdir(), "no-such-list.sha256"))


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as fh:
        fh.write(data)


class SourceKinds(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.root = self.tmp.name

    def test_binary_package_opens_compressed_docs_and_jar_sources(self):
        pkg = os.path.join(self.root, "pkg")
        write(os.path.join(pkg, "DEBIAN", "control"),
              b"Package: demo\nVersion: 1.0\nArchitecture: all\nMaintainer: A <a@b.c>\nDescription: d\n")
        write(os.path.join(pkg, "usr/share/perl5/Demo.pm"), b"package Demo;\n1;\n")
        write(os.path.join(pkg, "usr/share/doc/demo/README.md.gz"), gzip.compress(b"# Demo\n"))
        write(os.path.join(pkg, "usr/share/doc/demo/broken.gz"), b"not gzip at all")
        jar = io.BytesIO()
        with zipfile.ZipFile(jar, "w") as z:
            z.writestr("demo/core.clj", "(ns demo.core)")
            z.writestr("demo/Core.class", b"\xca\xfe\xba\xbe")
        write(os.path.join(pkg, "usr/share/java/demo.jar"), jar.getvalue())
        write(os.path.join(pkg, "usr/share/java/bad.jar"), b"PK not a zip")
        folder = os.path.join(self.root, "dl")
        os.makedirs(folder)
        subprocess.run(["dpkg-deb", "-Zgzip", "--build", pkg, os.path.join(folder, "demo_1.0_all.deb")],
                       check=True, capture_output=True)
        losses = sources.Losses()
        got = {p: read() for p, _, read in
               sources.debian_binary_members(folder, sources.Entry("bin", "demo", "1.0"), losses)}
        self.assertEqual(got["usr/share/perl5/Demo.pm"], b"package Demo;\n1;\n")
        self.assertEqual(got["usr/share/doc/demo/README.md"], b"# Demo\n")
        self.assertEqual(got["usr/share/java/demo.jar!/demo/core.clj"], b"(ns demo.core)")
        self.assertNotIn("usr/share/java/demo.jar!/demo/Core.class", got)
        self.assertEqual(losses.counts, {"bad compressed member": 1, "bad jar": 1})

    def test_corrupt_tarball_and_missing_archive_are_counted(self):
        folder = os.path.join(self.root, "dl")
        write(os.path.join(folder, "x_1.0.orig.tar.gz"), b"\x1f\x8b garbage")
        losses = sources.Losses(os.path.join(self.root, "losses.log"))
        self.assertEqual(list(sources.tarball_members(folder, sources.Entry("deb", "x", "1.0"), losses)), [])
        empty = os.path.join(self.root, "empty")
        os.makedirs(empty)
        list(sources.tarball_members(empty, sources.Entry("npm", "y", "1.0.0"), losses))
        self.assertEqual(losses.counts, {"corrupt archive": 1, "no archive": 1})
        with open(os.path.join(self.root, "losses.log")) as fh:
            self.assertEqual([line.split("\t")[:2] for line in fh],
                             [["corrupt archive", "deb-x"], ["no archive", "npm-y"]])

    def test_git_entry_reads_the_pinned_commit_from_the_mirror(self):
        work = os.path.join(self.root, "work")
        git = ["git", "-C", work, "-c", "user.name=t", "-c", "user.email=t@t"]
        subprocess.run(["git", "init", "-q", work], check=True)
        write(os.path.join(work, "src/main.jl"), b"println(1)\n")
        write(os.path.join(work, "data/big.jl"), b"x = 1\n" * 100)
        subprocess.run(git + ["add", "."], check=True)
        subprocess.run(git + ["commit", "-qm", "one"], check=True)
        first = subprocess.run(git + ["rev-parse", "HEAD"], check=True, capture_output=True, text=True).stdout.strip()
        write(os.path.join(work, "src/main.jl"), b"println(2)\n")
        subprocess.run(git + ["commit", "-qam", "two"], check=True)
        mirror = os.path.join(self.root, "mirror", "someone+demo")
        subprocess.run(["git", "clone", "-q", "--bare", work, os.path.join(mirror, "demo.git")], check=True)
        old_mirror, sources.GIT_MIRROR = sources.GIT_MIRROR, os.path.join(self.root, "mirror")
        self.addCleanup(setattr, sources, "GIT_MIRROR", old_mirror)
        write(os.path.join(self.root, "heldout.sha256"), hashlib.sha256(b"someone/kept").hexdigest().encode() + b"\n")
        old_list, sources.HELDOUT_LIST = sources.HELDOUT_LIST, os.path.join(self.root, "heldout.sha256")
        self.addCleanup(setattr, sources, "HELDOUT_LIST", old_list)
        # a mirror may lack the largest blobs: that file alone is lost, and counted
        big = subprocess.run(git + ["rev-parse", f"{first}:data/big.jl"], check=True, capture_output=True,
                             text=True).stdout.strip()
        os.remove(os.path.join(mirror, "demo.git", "objects", big[:2], big[2:]))
        entry = sources.Entry("git", "someone/demo", first)
        folder = os.path.join(self.root, "dl")
        os.makedirs(folder)
        self.assertEqual(sources.fetch_git(self.root, [entry], [folder]), {})
        losses = sources.Losses()
        got = {p: read() for p, _, read in sources.git_members(folder, entry, losses)}
        self.assertEqual(got, {"src/main.jl": b"println(1)\n"})
        self.assertEqual(losses.counts, {"missing blob": 1})
        kept = sources.Entry("git", "Someone/Kept", first)
        self.assertIn("kept for evaluation", sources.fetch_git(self.root, [kept], [folder])[kept])
        missing = sources.Entry("git", "someone/demo", "0" * 40)
        self.assertIn("not in the repository", sources.fetch_git(self.root, [missing], [folder])[missing])

    def test_batched_fetch_sorts_files_and_falls_back_to_one_by_one(self):
        entries = [sources.Entry("bin", "a", "1.0"), sources.Entry("bin", "b", "1:2.0")]
        folders = [os.path.join(self.root, n) for n in "ab"]
        for f in folders:
            os.makedirs(f)
        batch = lambda es: ["sh", "-c", "touch a_1.0_all.deb b_1%3a2.0_amd64.deb"]
        errors = sources._fetch_batched(entries, folders, batch, None, lambda e: (e.name, e.version))
        self.assertEqual(errors, {})
        self.assertEqual([os.listdir(f) for f in folders], [["a_1.0_all.deb"], ["b_1%3a2.0_amd64.deb"]])

        folders = [os.path.join(self.root, n) for n in ("c", "d")]
        for f in folders:
            os.makedirs(f)
        one = lambda e: ["sh", "-c", f"test {e.name} = a && touch a_1.0_all.deb"]
        errors = sources._fetch_batched(entries, folders, lambda es: ["false"], one, lambda e: (e.name, e.version))
        self.assertEqual(list(errors), [entries[1]])
        self.assertEqual(os.listdir(folders[0]), ["a_1.0_all.deb"])


def fake_file(n, sha, minhash=None):
    return {"n": n, "class": "C", "sha1": sha, "minhash": minhash}


class Selection(unittest.TestCase):
    def test_dedupe_keeps_the_first_copy_across_projects(self):
        base = list(range(32))
        near = base[:24] + [100 + i for i in range(8)]   # 24 of 32 values agree
        far = base[:8] + [200 + i for i in range(24)]    # only one band agrees
        results = {"p1": [fake_file(0, "s1", base), fake_file(1, "s2")],
                   "p2": [fake_file(0, "s1"), fake_file(1, "s3", near), fake_file(2, "s4", far)]}
        kept, dropped = selection.dedupe(["p1", "p2"], results)
        self.assertEqual([(p, f["n"]) for p, f in kept], [("p1", 0), ("p1", 1), ("p2", 2)])
        self.assertEqual(dropped, {"exact": 1, "near": 1})

    def test_split_keeps_projects_whole_and_tests_every_class_with_two_projects(self):
        rows = []
        for p in range(40):
            for i in range(5):
                rows.append({"id": f"p{p}/{i}", "class": "Go" if p % 2 else "Rust", "project": f"p{p}", "path": ""})
        rows += [{"id": f"rare{p}/{i}", "class": "COBOL", "project": f"rare{p}", "path": ""}
                 for p in range(3) for i in range(4)]
        split = selection.split_projects(rows)
        self.assertEqual(set(split), {r["project"] for r in rows})
        for cls in ("Go", "Rust", "COBOL"):
            sides = {split[r["project"]] for r in rows if r["class"] == cls}
            self.assertIn("test", sides, cls)
            self.assertIn("train", sides, cls)
        self.assertEqual(selection.split_projects(rows), split)

    def test_a_class_with_enough_projects_gets_twelve_test_projects(self):
        rows = [{"id": f"p{p}/{i}", "class": "Lua", "project": f"p{p}", "path": ""}
                for p in range(90) for i in range(4)]
        split = selection.split_projects(rows)
        sides = collections.Counter(split.values())
        self.assertGreaterEqual(sides["test"], 12)
        self.assertGreaterEqual(sides["val"], 8)
        self.assertGreaterEqual(sides["train"], 60)

    def test_project_cap_is_the_largest_fair_share(self):
        self.assertEqual(selection.project_cap([40] * 20), 40)
        counts = [100] + [5] * 20          # one big project among small ones
        cap = selection.project_cap(counts)
        self.assertLessEqual(cap, 0.1 * sum(min(n, cap) for n in counts))
        self.assertGreater(cap + 1, 0.1 * sum(min(n, cap + 1) for n in counts))
        self.assertIsNone(selection.project_cap([10] * 9))

    def test_share_cap_trims_training_only_and_names_narrow_classes(self):
        rows = [{"id": f"big/{i}", "class": "Go", "project": "big", "split": "train"} for i in range(50)]
        rows += [{"id": f"s{p}/{i}", "class": "Go", "project": f"s{p}", "split": "train"}
                 for p in range(20) for i in range(3)]
        rows += [{"id": f"t/{i}", "class": "Go", "project": "t", "split": "test"} for i in range(50)]
        rows += [{"id": f"j{p}/0", "class": "Julia", "project": f"j{p}", "split": "train"} for p in range(3)]
        kept, narrow = selection.cap_project_shares(rows)
        per_project = collections.Counter(r["project"] for r in kept if r["class"] == "Go" and r["split"] == "train")
        total = sum(per_project.values())
        self.assertLessEqual(per_project["big"], 0.1 * total)
        self.assertEqual(sum(r["project"] == "t" for r in kept), 50)
        self.assertEqual(narrow, ["Julia"])

    def test_declaration_files_make_at_most_a_tenth_of_their_class(self):
        rows = [{"id": f"d{i}", "class": "TypeScript", "path": f"types/x{i}.d.ts", "split": "train"} for i in range(50)]
        rows += [{"id": f"s{i}", "class": "TypeScript", "path": f"src/x{i}.ts", "split": "train"} for i in range(90)]
        rows += [{"id": f"j{i}", "class": "JavaScript", "path": f"x{i}.d.ts", "split": "train"} for i in range(5)]
        kept = selection.cap_shapes(rows)
        ts = [r for r in kept if r["class"] == "TypeScript"]
        self.assertEqual(sum(r["path"].endswith(".d.ts") for r in ts), 10)
        self.assertEqual(len(ts), 100)
        self.assertEqual(sum(r["class"] == "JavaScript" for r in kept), 5)

    def test_shortfalls_name_each_gap(self):
        summary = {"Go": {"train": {"projects": 250}, "test": {"projects": 40}},
                   "Julia": {"train": {"projects": 70}, "test": {"projects": 3}},
                   "Lua": {"train": {"projects": 61}, "test": {"projects": 12}}}
        self.assertEqual(selection.shortfalls(summary, 60, 12, {"Go"}, 300),
                         {"Go": "train 250 < 300", "Julia": "test 3 < 12"})


if __name__ == "__main__":
    unittest.main()
