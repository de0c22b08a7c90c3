"""Which extracted files the corpus keeps, and on which side: de-duplication across projects, the split by
project, and the caps that keep one project or one shape of file from filling a class.

Rows are dicts with at least "id", "class", "project", "path"; split rows also carry "split".
"""
import collections
import re
import zlib

TEST_SHARE, VAL_SHARE = 0.12, 0.08
MIN_TEST_PROJECTS, MIN_VAL_PROJECTS = 12, 8  # per class, where it has the projects
# A class with fewer projects keeps all but its held-out ones for training.
SCARCE_PROJECTS = 100
MAX_PROJECT_SHARE = 0.1  # of a class's training files, for any one project
# Shapes of file that read like nothing people write by hand in that language; each may make at most
# MAX_SHAPE_SHARE of its class on each side.
SHAPES = {"TypeScript": re.compile(r"\.d\.[cm]?ts$")}
MAX_SHAPE_SHARE = 0.1
MINHASH_BANDS, BAND_WIDTH, NEAR_MATCHES = 8, 4, 22  # 22 of 32 values equal: Jaccard of about 0.7


def stable_key(text):
    return zlib.crc32(text.encode())


def dedupe(order, results):
    """Keeps the first copy of each exact or near-duplicate file, projects taken in `order`, so a library
    vendored into many projects counts once. Returns the kept (project, file) pairs and the drop counts."""
    seen_exact, buckets, kept, dropped = set(), {}, [], collections.Counter()
    for pid in order:
        for f in results.get(pid, []):
            if f["sha1"] in seen_exact:
                dropped["exact"] += 1
                continue
            mh = f["minhash"]
            if mh is not None:
                bands = [(b, tuple(mh[b * BAND_WIDTH:(b + 1) * BAND_WIDTH])) for b in range(MINHASH_BANDS)]
                if any(buckets.get(key) is not None and
                       sum(x == y for x, y in zip(mh, buckets[key])) >= NEAR_MATCHES for key in bands):
                    dropped["near"] += 1
                    continue
                for key in bands:
                    buckets.setdefault(key, mh)
            seen_exact.add(f["sha1"])
            kept.append((pid, f))
    return kept, dropped


def held_out_projects(side, n):
    """How many of a class's n projects `side` must hold: at least one test project from 2 and one
    validation project from 4, then a share, up to MIN_TEST_PROJECTS and MIN_VAL_PROJECTS."""
    if side == "test":
        return 0 if n < 2 else min(MIN_TEST_PROJECTS, max(1, n // 7))
    return 0 if n < 4 else min(MIN_VAL_PROJECTS, max(1, n // 10))


def split_projects(rows):
    """Whole projects to test/val/train, so that no project is on two sides.

    Classes are served from the scarcest up: each gets its test and validation projects
    (`held_out_projects`), chosen among those holding at most 40 % of the class's files, so that training
    keeps most of them, and among those the projects with the fewest files of other classes; the other
    projects of scarce classes (under SCARCE_PROJECTS projects) train, the rest are assigned by a hash."""
    classes_of = collections.defaultdict(collections.Counter)
    for r in rows:
        classes_of[r["project"]][r["class"]] += 1
    projects_of = collections.defaultdict(set)
    for pid, counts in classes_of.items():
        for cls in counts:
            projects_of[cls].add(pid)
    total = {cls: sum(classes_of[p][cls] for p in ps) for cls, ps in projects_of.items()}
    size = {pid: sum(c.values()) for pid, c in classes_of.items()}
    split = {}
    for cls in sorted(projects_of, key=lambda c: (len(projects_of[c]), c)):
        members = projects_of[cls]
        for side in ("test", "val"):
            missing = held_out_projects(side, len(members)) - sum(split.get(p) == side for p in members)
            if missing <= 0:
                continue
            free = [p for p in members if p not in split and 3 <= classes_of[p][cls] <= 0.4 * total[cls]]
            free.sort(key=lambda p: (size[p] - classes_of[p][cls], stable_key(p)))
            for p in free[:missing]:
                split[p] = side
    for pid in classes_of:
        if pid in split:
            continue
        if any(len(projects_of[c]) < SCARCE_PROJECTS for c in classes_of[pid]):
            split[pid] = "train"
            continue
        h = stable_key(pid) % 1000 / 1000.0
        split[pid] = "test" if h < TEST_SHARE else "val" if h < TEST_SHARE + VAL_SHARE else "train"
    return split


def project_cap(counts, share=MAX_PROJECT_SHARE):
    """The largest number of files c that every project may give so that c is at most `share` of the
    capped total; None when no c works (a class with fewer than 1/share projects)."""
    for c in range(max(counts, default=0), 0, -1):
        if c <= share * sum(min(n, c) for n in counts):
            return c
    return None


def cap_project_shares(rows, share=MAX_PROJECT_SHARE):
    """Drops training files so that no project gives more than `share` of its class's training files.
    Returns the kept rows and the classes too narrow for the cap (left as they are)."""
    by_class = collections.defaultdict(lambda: collections.defaultdict(list))
    for r in rows:
        if r["split"] == "train":
            by_class[r["class"]][r["project"]].append(r)
    dropped_ids, too_narrow = set(), []
    for cls, per_project in sorted(by_class.items()):
        cap = project_cap([len(v) for v in per_project.values()], share)
        if cap is None:
            too_narrow.append(cls)
            continue
        for members in per_project.values():
            for r in sorted(members, key=lambda r: stable_key(r["id"]))[cap:]:
                dropped_ids.add(r["id"])
    return [r for r in rows if r["id"] not in dropped_ids], too_narrow


def cap_shapes(rows, shapes=SHAPES, share=MAX_SHAPE_SHARE):
    """Drops files of a class's special shape (declaration files, ...) beyond `share` of the class, on
    each side of the split."""
    groups = collections.defaultdict(lambda: ([], []))
    for r in rows:
        pattern = shapes.get(r["class"])
        if pattern is not None:
            groups[(r["class"], r["split"])][bool(pattern.search(r["path"]))].append(r)
    dropped_ids = set()
    for others, shaped in groups.values():
        allowed = int(share * len(others) / (1 - share))
        for r in sorted(shaped, key=lambda r: stable_key(r["id"]))[allowed:]:
            dropped_ids.add(r["id"])
    return [r for r in rows if r["id"] not in dropped_ids]


def summarize(rows, classes):
    summary = {}
    for cls in classes:
        entry = {side: {"files": 0, "projects": set(), "bytes": 0} for side in ("train", "val", "test")}
        summary[cls] = entry
    for r in rows:
        e = summary[r["class"]][r["split"]]
        e["files"] += 1
        e["projects"].add(r["project"])
        e["bytes"] += r["bytes"]
    for entry in summary.values():
        for e in entry.values():
            e["projects"] = len(e["projects"])
    return summary


def shortfalls(summary, min_train, min_test, wide_classes, min_wide_train):
    """Classes below the project counts asked of them: {class: "train N < M, test K < L"}."""
    short = {}
    for cls, e in summary.items():
        need_train = min_wide_train if cls in wide_classes else min_train
        gaps = []
        if e["train"]["projects"] < need_train:
            gaps.append(f"train {e['train']['projects']} < {need_train}")
        if e["test"]["projects"] < min_test:
            gaps.append(f"test {e['test']['projects']} < {min_test}")
        if gaps:
            short[cls] = ", ".join(gaps)
    return short
