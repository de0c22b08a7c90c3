"""Where the corpus comes from: the manifest's lines, and one fetcher and one member reader per kind of source.

A manifest line is `<kind> <name> <version> [<extension>=<class> ...]`. Each kind is one `SourceKind` in
`KINDS`: `fetch` brings an entry's files into its download folder (batches of entries where the client
takes several at once), `members` yields every regular file of the fetched entry as (path inside the
project, size, read), where `read()` returns the file's bytes and must be called before the next member is
asked for (tarballs are streamed). Adding a kind of source is adding one `SourceKind`.

Nothing is lost silently: every fetch failure, unreadable archive or member is reported to `Losses`, which
counts it by cause and logs the project and path.
"""
import collections
import gzip
import hashlib
import io
import os
import re
import shutil
import subprocess
import sys
import tarfile
import tempfile
import urllib.error
import urllib.request
import zipfile
import zlib
from dataclasses import dataclass, field

MEMBER_MAX_BYTES = 1024 * 1024       # larger files are data, not sources
JAR_MAX_BYTES = 64 * 1024 * 1024
JAR_SOURCE_EXTENSIONS = {".clj", ".cljc", ".cljs", ".scala", ".groovy", ".kt", ".java"}
# Binary packages compress their documentation and manual pages; these are opened like plain files.
COMPRESSED_DOC = re.compile(r"^usr/share/(doc|man)/.*\.gz$")
HELDOUT_LIST = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "shared",
                            "heldout-repos.sha256")
GIT_MIRROR = os.environ.get("QUORVEL_GIT_MIRROR", "/work/.mirror")


class ManifestError(ValueError):
    pass


@dataclass(frozen=True)
class Entry:
    kind: str
    name: str
    version: str
    overrides: dict = field(default_factory=dict, hash=False, compare=False)


def parse_line(line, where="manifest"):
    """The entry of one manifest line, None for a blank or comment line; ManifestError when malformed."""
    line = line.split(" #", 1)[0].strip()  # a line may end with a comment
    if not line or line.startswith("#"):
        return None
    fields = line.split()
    if len(fields) < 3:
        raise ManifestError(f"{where}: expected '<kind> <name> <version> [ext=class ...]', got {line!r}")
    kind, name, version, *rules = fields
    if kind not in KINDS:
        raise ManifestError(f"{where}: unknown source kind {kind!r} (known: {', '.join(sorted(KINDS))})")
    overrides = {}
    for rule in rules:
        ext, sep, cls = rule.partition("=")
        if not sep or not ext or not cls:
            raise ManifestError(f"{where}: override {rule!r} is not <extension>=<class>")
        overrides[ext] = cls
    KINDS[kind].check(name, version, where)
    return Entry(kind, name, version, overrides)


def read_manifest(path):
    entries, seen = [], set()
    with open(path, encoding="utf-8") as fh:
        for n, line in enumerate(fh, 1):
            entry = parse_line(line, f"{path}:{n}")
            if entry is None:
                continue
            if (entry.kind, entry.name) in seen:
                raise ManifestError(f"{path}:{n}: {entry.kind} {entry.name} is listed twice")
            seen.add((entry.kind, entry.name))
            entries.append(entry)
    return entries


def project_id(entry):
    return re.sub(r"[^A-Za-z0-9.+_-]", "_", f"{entry.kind}-{entry.name}")


def download_folder(cache, entry):
    return os.path.join(cache, "downloads", project_id(entry) + "_" + entry.version.replace(":", "%3a"))


def log(msg):
    print(msg, file=sys.stderr, flush=True)


class Losses:
    """Counts what the corpus could not take, by cause, and logs each occurrence to a file."""

    def __init__(self, log_path=None):
        self.counts = collections.Counter()
        self.log_path = log_path

    def add(self, cause, project, detail=""):
        self.counts[cause] += 1
        if self.log_path:
            detail = " ".join(str(detail).split())  # one loss, one line
            with open(self.log_path, "a", encoding="utf-8") as fh:
                fh.write(f"{cause}\t{project}\t{detail}\n")

    def merge(self, counts):
        self.counts.update(counts)


# ---- heldout repositories ---------------------------------------------------------------------------

def heldout_hashes(path=None):
    """The sha256 of every held-out `owner/name`. Without the list no repository can be checked, so
    none is taken."""
    path = path or HELDOUT_LIST
    if not os.path.exists(path):
        raise ManifestError(f"{path} is missing: repositories cannot be checked against the held-out list")
    with open(path) as fh:
        return frozenset(line.split()[0].lower() for line in fh if line.strip() and not line.startswith("#"))


def is_heldout(owner_name, hashes=None):
    hashes = heldout_hashes() if hashes is None else hashes
    return hashlib.sha256(owner_name.lower().encode()).hexdigest() in hashes


# ---- archive readers ----------------------------------------------------------------------------------

def _tar_members(tar, path_of, losses, project, source):
    """(path, size, read) of the regular files of an open tar reader; errors end the archive, counted, and
    a member that cannot be read gives None, counted."""
    def reader(m):
        def read():
            try:
                return tar.extractfile(m).read()
            except (tarfile.TarError, OSError, EOFError, zlib.error) as e:
                losses.add("corrupt archive", project, f"{source}: {m.name}: {e}")
                return None
        return read

    try:
        for m in tar:
            if not m.isfile():
                continue
            path = path_of(m.name)
            if path is None or m.size > JAR_MAX_BYTES:
                continue
            yield path, m.size, reader(m)
    except (tarfile.TarError, OSError, EOFError, zlib.error) as e:
        losses.add("corrupt archive", project, f"{source}: {e}")


def _jar_members(jar_path, data, losses, project):
    if data is None:
        return
    try:
        with zipfile.ZipFile(io.BytesIO(data)) as jar:
            for info in jar.infolist():
                if info.is_dir() or os.path.splitext(info.filename)[1] not in JAR_SOURCE_EXTENSIONS:
                    continue
                if info.file_size <= MEMBER_MAX_BYTES:
                    yield f"{jar_path}!/{info.filename}", info.file_size, (lambda i=info: jar.read(i))
    except (zipfile.BadZipFile, OSError, RuntimeError, ValueError, EOFError, zlib.error) as e:
        losses.add("bad jar", project, f"{jar_path}: {e}")


def _gunzipped(path, read, losses, project):
    data = read()
    if data is None:
        return None
    try:
        data = gzip.decompress(data)
    except (OSError, EOFError, zlib.error) as e:
        losses.add("bad compressed member", project, f"{path}: {e}")
        return None
    return data[:MEMBER_MAX_BYTES + 1]


def tarballs(folder):
    names = sorted(n for n in os.listdir(folder) if re.search(r"\.(tar\.(gz|xz|bz2|lzma|zst)|tgz|deb)$", n))
    # the upstream tarball before the Debian one, so upstream files win over packaging copies
    return [os.path.join(folder, n) for n in sorted(names, key=lambda n: ("debian.tar" in n, n))]


def _open_tar(path, losses, project):
    try:
        return tarfile.open(path)
    except (tarfile.TarError, OSError, EOFError, zlib.error) as e:
        losses.add("corrupt archive", project, f"{os.path.basename(path)}: {e}")
        return None


def _source_path(name):
    """Path inside the project of a source tarball member: the top folder dropped (the Debian packaging
    tarball has none)."""
    parts = name.split("/")
    if parts[0] == "debian":
        return name
    return "/".join(parts[1:]) if len(parts) > 1 and parts[1] else None


def tarball_members(folder, entry, losses):
    """The files of a source package's or an npm package's tarballs, their top folder dropped."""
    project = project_id(entry)
    found = tarballs(folder)
    if not found:
        losses.add("no archive", project, folder)
    for tb in found:
        tar = _open_tar(tb, losses, project)
        if tar is None:
            continue
        with tar:
            yield from _tar_members(tar, _source_path, losses, project, os.path.basename(tb))


def debian_binary_members(folder, entry, losses):
    """The files a binary package installs, with compressed documentation opened and the sources inside
    jars; the data tarball is streamed from dpkg-deb."""
    project = project_id(entry)
    debs = [p for p in tarballs(folder) if p.endswith(".deb")]
    if not debs:
        losses.add("no archive", project, folder)
    for deb in debs:
        proc = subprocess.Popen(["dpkg-deb", "--fsys-tarfile", deb], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        try:
            tar = tarfile.open(fileobj=proc.stdout, mode="r|")
        except (tarfile.TarError, OSError, EOFError) as e:
            losses.add("corrupt archive", project, f"{os.path.basename(deb)}: {e}")
            proc.kill()
            proc.wait()
            continue
        try:
            for path, size, read in _tar_members(tar, lambda n: n[2:] if n.startswith("./") else n.lstrip("/"),
                                                 losses, project, os.path.basename(deb)):
                if path.endswith(".jar"):
                    yield from _jar_members(path, read(), losses, project)
                elif COMPRESSED_DOC.match(path):
                    data = _gunzipped(path, read, losses, project)
                    if data is not None:
                        yield path[:-3], len(data), (lambda d=data: d)
                else:
                    yield path, size, read
        finally:
            tar.close()
            proc.stdout.close()
            err = proc.stderr.read().decode("utf-8", "replace").strip()
            proc.stderr.close()
            if proc.wait() != 0:
                losses.add("corrupt archive", project, f"{os.path.basename(deb)}: {err[-200:]}")


def git_members(folder, entry, losses):
    """The files of the pinned commit of a bare repository, read blob by blob (`git cat-file --batch`), so
    a blob the copy lacks (mirrors may leave out the largest files) loses that file alone, counted."""
    project = project_id(entry)
    try:
        with open(os.path.join(folder, "repo.path")) as fh:
            repo = fh.read().strip()
    except OSError:
        losses.add("no archive", project, folder)
        return
    listing = subprocess.run(["git", "--git-dir", repo, "ls-tree", "-r", "-l", "-z", entry.version],
                             capture_output=True)
    if listing.returncode != 0:
        losses.add("corrupt archive", project, listing.stderr.decode("utf-8", "replace")[-200:])
        return
    cat = subprocess.Popen(["git", "--git-dir", repo, "cat-file", "--batch"], stdin=subprocess.PIPE,
                           stdout=subprocess.PIPE)

    def reader(sha, path):
        def read():
            cat.stdin.write(sha + b"\n")
            cat.stdin.flush()
            header = cat.stdout.readline().split()
            if len(header) < 3 or header[1] != b"blob":
                losses.add("missing blob", project, path)
                return None
            data = cat.stdout.read(int(header[2]))
            cat.stdout.read(1)
            return data
        return read

    try:
        for record in listing.stdout.split(b"\0"):
            meta, _, path = record.partition(b"\t")
            fields = meta.split()
            if len(fields) != 4 or fields[1] != b"blob" or fields[0] not in (b"100644", b"100755"):
                continue
            name = path.decode("utf-8", "replace")
            if not fields[3].isdigit():  # ls-tree cannot size a blob the copy lacks
                losses.add("missing blob", project, name)
                continue
            if int(fields[3]) > JAR_MAX_BYTES:
                continue
            yield name, int(fields[3]), reader(fields[2], name)
    finally:
        cat.stdin.close()
        cat.stdout.close()
        cat.wait()


# ---- fetchers -----------------------------------------------------------------------------------------

def apt_options(cache):
    apt = os.path.join(cache, "apt")
    return ["-o", f"Dir::Etc::SourceList={apt}/sources.list", "-o", "Dir::Etc::SourceParts=/dev/null",
            "-o", f"Dir::State::Lists={apt}/lists", "-o", f"Dir::Cache={apt}/cache",
            "-o", "APT::Sandbox::User=root"]


def system_mirror():
    """The Debian mirror the system's own apt configuration names (never changed, only read)."""
    folder = "/etc/apt/sources.list.d"
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        if not name.endswith(".sources"):
            continue
        for line in open(os.path.join(folder, name)):
            m = re.match(r"\s*URIs:\s*(\S+)", line)
            if m and "security" not in m.group(1):
                return m.group(1)
    return "http://deb.debian.org/debian"


def prepare_apt(cache):
    apt = os.path.join(cache, "apt")
    for sub in ("lists/partial", "cache/archives/partial"):
        os.makedirs(os.path.join(apt, sub), exist_ok=True)
    with open(os.path.join(apt, "sources.list"), "w") as fh:
        for kind in ("deb", "deb-src"):
            fh.write(f"{kind} [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] {system_mirror()} "
                     "bookworm main\n")
    subprocess.run(["apt-get", *apt_options(cache), "-qq", "update"], check=True)


def _run(cmd, cwd):
    r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return None if r.returncode == 0 else (r.stderr.strip().splitlines()[-1:] or ["failed"])[0]


def fetch_upstream_only(cache, entry, folder):
    """Fetches the files of a source package one by one, checked against their SHA256 sums, where the mirror
    lacks some of them (often the Debian packaging tarball). True when an upstream tarball came."""
    r = subprocess.run(["apt-get", *apt_options(cache), "-qq", "source", "--print-uris",
                        f"{entry.name}={entry.version}"], cwd=folder, capture_output=True, text=True)
    for url, name, _size, digest in re.findall(r"^'(\S+)' (\S+) (\d+) SHA256:([0-9a-f]{64})", r.stdout, re.M):
        if name.endswith((".dsc", ".asc")):
            continue
        try:
            with urllib.request.urlopen(url, timeout=120) as resp:
                data = resp.read()
        except (urllib.error.URLError, OSError):
            continue
        if hashlib.sha256(data).hexdigest() != digest:
            continue
        with open(os.path.join(folder, name), "wb") as fh:
            fh.write(data)
    return _has_upstream(folder)


def fetch_debian_source(cache, entries, folders):
    """Source packages, many per apt call (each call reads the whole source index); an entry whose files
    did not all come (a binary package's name, a failed batch) is fetched alone, and then file by file
    where the mirror lacks some."""
    errors = {}
    apt = ["apt-get", *apt_options(cache), "-qq", "source", "--download-only"]
    by_name = {e.name: f for e, f in zip(entries, folders)}
    if len(entries) > 1:
        _batch_into(apt + [f"{e.name}={e.version}" for e in entries], folders,
                    lambda file_name: by_name.get(file_name.split("_", 1)[0]))
    for entry, folder in zip(entries, folders):
        if _has_upstream(folder):
            continue
        err = _run(apt + [f"{entry.name}={entry.version}"], folder)
        if err and not fetch_upstream_only(cache, entry, folder):
            errors[entry] = err
    return errors


def _batch_into(cmd, folders, folder_of):
    """Runs one client call for several entries in a scratch folder beside theirs, then moves each file it
    wrote to the folder `folder_of(file name)` names; files of no entry are deleted, so no project gets
    another's files. Entries it did not serve are left for the caller to fetch alone."""
    scratch = tempfile.mkdtemp(prefix=".batch-", dir=os.path.dirname(folders[0]))
    try:
        if _run(cmd, scratch) is None:
            for file_name in os.listdir(scratch):
                folder = folder_of(file_name)
                if folder is not None:
                    os.replace(os.path.join(scratch, file_name), os.path.join(folder, file_name))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


def _has_upstream(folder):
    return any("debian.tar" not in t for t in tarballs(folder))


def _fetch_batched(entries, folders, batch_cmd, one_cmd, owner_of):
    """One client call for the whole batch (`_batch_into`); each entry it did not serve is fetched alone."""
    if len(entries) > 1:
        by_key = {owner_of(e): f for e, f in zip(entries, folders)}
        _batch_into(batch_cmd(entries), folders, lambda name: by_key.get(_file_key(name)))
    errors = {}
    for entry, folder in zip(entries, folders):
        if tarballs(folder):
            continue
        err = _run(one_cmd(entry), folder)
        if err is None and not tarballs(folder):
            err = "the client reported success but wrote no archive"
        if err:
            errors[entry] = err
    return errors


def _file_key(file_name):
    """(name, version) of a downloaded file: `name_version_arch.deb` or npm's `scope-name-version.tgz`."""
    m = re.match(r"^(.+?)_(.+?)_[a-z0-9]+\.deb$", file_name)
    if m:
        return m.group(1), m.group(2).replace("%3a", ":")
    return file_name


def fetch_debian_binary(cache, entries, folders):
    apt = ["apt-get", *apt_options(cache), "-qq", "download"]
    return _fetch_batched(entries, folders, lambda es: apt + [f"{e.name}={e.version}" for e in es],
                          lambda e: apt + [f"{e.name}={e.version}"],
                          lambda e: (e.name, e.version))


def npm_file_name(entry):
    return entry.name.lstrip("@").replace("/", "-") + f"-{entry.version}.tgz"


def fetch_npm(cache, entries, folders):
    npm = ["npm", "pack", "--silent"]
    return _fetch_batched(entries, folders, lambda es: npm + [f"{e.name}@{e.version}" for e in es],
                          lambda e: npm + [f"{e.name}@{e.version}"], npm_file_name)


def fetch_git(cache, entries, folders):
    """Public repositories at their pinned commit: read in place from the local mirror folder when it holds
    a bare copy (as `<owner>+<name>`), else cloned bare into the download folder where a network is
    available. `repo.path` in the download folder names the repository used."""
    errors = {}
    hashes = heldout_hashes()
    for entry, folder in zip(entries, folders):
        if is_heldout(entry.name, hashes):
            errors[entry] = "kept for evaluation: never trained on"
            continue
        repo = _git_mirror(entry.name)
        if repo is None:
            repo = os.path.join(folder, "repo.git")
            err = None if os.path.exists(repo) else _run(
                ["git", "clone", "-q", "--bare", f"https://github.com/{entry.name}.git", repo], folder)
            if err:
                errors[entry] = err
                continue
        if _run(["git", "--git-dir", repo, "cat-file", "-e", f"{entry.version}^{{commit}}"], folder):
            errors[entry] = f"commit {entry.version} not in the repository"
            continue
        with open(os.path.join(folder, "repo.path"), "w") as fh:
            fh.write(repo)
    return errors


def _git_mirror(owner_name):
    base = os.path.join(GIT_MIRROR, owner_name.replace("/", "+"))
    if not os.path.isdir(base):
        return None
    for root, dirs, _files in os.walk(base):
        if os.path.exists(os.path.join(root, "HEAD")) and os.path.isdir(os.path.join(root, "objects")):
            return root
        dirs.sort()
    return None


def _check_debian(name, version, where):
    if not re.match(r"^[a-z0-9][a-z0-9+.-]+$", name) or not re.match(r"^[0-9A-Za-z.+~:-]+$", version):
        raise ManifestError(f"{where}: {name} {version} is not a Debian package name and version")


def _check_npm(name, version, where):
    if not re.match(r"^(@[a-z0-9._-]+/)?[a-z0-9._-]+$", name, re.I) or not re.match(r"^\d+\.\d+\.\d+\S*$", version):
        raise ManifestError(f"{where}: {name}@{version} is not an npm package and exact version")


def _check_git(name, version, where):
    if not re.match(r"^[A-Za-z0-9_.-]+/[A-Za-z0-9_.-]+$", name):
        raise ManifestError(f"{where}: {name!r} is not owner/name")
    if not re.match(r"^[0-9a-f]{40}$", version):
        raise ManifestError(f"{where}: a repository is pinned by its full commit hash, not {version!r}")
    if is_heldout(name):
        raise ManifestError(f"{where}: {name} is kept for evaluation and may not be trained on")


@dataclass(frozen=True)
class SourceKind:
    fetch: object    # (cache, entries, folders) -> {entry: error}
    members: object  # (folder, entry, losses) -> iterator of (path, size, read)
    check: object    # (name, version, where) -> None, raising ManifestError
    batch: int = 1   # entries handed to one fetch call
    uses_apt: bool = False


KINDS = {
    "deb": SourceKind(fetch_debian_source, tarball_members, _check_debian, batch=20, uses_apt=True),
    "bin": SourceKind(fetch_debian_binary, debian_binary_members, _check_debian, batch=40, uses_apt=True),
    "npm": SourceKind(fetch_npm, tarball_members, _check_npm, batch=20),
    "git": SourceKind(fetch_git, git_members, _check_git),
}
