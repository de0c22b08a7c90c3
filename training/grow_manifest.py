#!/usr/bin/python3
"""Adds a family of Debian binary packages that ship sources to the manifest, pinned to bookworm's versions.

    training/grow_manifest.py golang 600      # up to 600 more golang-*-dev packages

Packages are read from the corpus's private apt lists (corpus.py --fetch-only makes them). A family takes
at most one binary package per source package, none whose source package the manifest already has, and
none larger than the family's size limit; the packages are picked in a fixed pseudo-random order, so the
same lists always give the same lines. The lines are appended under a comment naming the family.
"""
import argparse
import collections
import glob
import os
import re
import subprocess
import sys
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import sources  # noqa: E402

# name: (package name pattern, largest size in KiB, what the family is for). A family named "*-src" is of
# Debian source packages: its pattern is matched against the source package's name and its binaries, and
# the size is that of the source files.
FAMILIES = {
    "haskell-src": (r"^haskell-", 5000, "Haskell libraries from Hackage"),
    "r-src": (r"^r-cran-", 5000, "R packages from CRAN"),
    "java-src": (r"^lib.+-java$", 10000, "Java libraries"),
    "mono-src": (r"^(lib.+-cil(-dev)?|mono-.+)$", 20000, "C# libraries"),
    "fortran-src": (r"^lib.*(fortran|lapack|blas|arpack|minpack|quadpack|fftpack).*$", 20000, "Fortran libraries"),
    "golang": (r"^golang-.+-dev$", 20000, "Go libraries (sources in /usr/share/gocode)"),
    "rust": (r"^librust-[^+]+-dev$", 20000, "Rust crates with their Cargo.toml"),
    "perl": (r"^lib.+-perl$", 20000, "Perl modules"),
    "ruby": (r"^ruby-.+$", 20000, "Ruby gems"),
    "php": (r"^php-.+$", 20000, "PHP libraries"),
    "node": (r"^node-.+$", 20000, "JavaScript and TypeScript libraries"),
    "python": (r"^python3-.+$", 20000, "Python modules"),
    "elpa": (r"^elpa-.+$", 20000, "Emacs Lisp"),
    "lua": (r"^lua-.+$", 20000, "Lua modules"),
    "ocaml": (r"^lib.+-ocaml-dev$", 20000, "OCaml libraries with their .ml/.mli"),
    "cl": (r"^cl-.+$", 20000, "Common Lisp"),
    "octave": (r"^octave-.+$", 20000, "MATLAB-language Octave packages"),
    "erlang": (r"^erlang-.+$", 20000, "Erlang libraries"),
    "tex": (r"^texlive-.+$", 60000, "TeX packages and classes"),
    "clojure": (r"^lib.+-clojure$", 20000, "Clojure libraries, sources inside their jars"),
    "dev": (r"^lib(?!rust-|ghc-|.*-ocaml-dev$).+-dev$", 20000, "C and C++ headers"),
}
# npm families: (summary pattern, fewest monthly downloads, what the family is for), picked from the most
# downloaded down in the registry list named by --npm-list (name, version, downloads a month, summary).
NPM_FAMILIES = {
    "npm-ts": (r"\btype-?script\b|\btyped\b", 2000, "TypeScript sources of typed packages"),
    "npm-mobile": (r"\b(react[ -]native|capacitor|cordova|expo)\b", 500,
                   "ios/ and android/ folders of mobile plugins (Swift, Objective-C, Kotlin, Java)"),
    "npm-native": (r"\b(native (addon|module|bindings?)|node-gyp|n-api|napi|c\+\+)\b", 500,
                   "C and C++ of native add-ons"),
    "npm-coffee": (r"\bcoffee-?script\b", 100, "CoffeeScript sources"),
    "npm-powershell": (r"\bpowershell\b", 100, "PowerShell scripts and modules"),
    "npm-css": (r"\b(css|stylesheets?|sass|less)\b", 2000, "CSS"),
}
NPM_LIST = "/work/.library/env/packages/npm.tsv"
MAX_PER_SCOPE = 3  # packages of one npm scope: one organisation's packages read alike

# Packages of a family that hold no sources: debug symbols, documentation, empty transitional packages.
NOT_SOURCES = re.compile(r"-(dbg|dbgsym|doc|docs)$|^python3-(all|dev|minimal)")


def stanzas(lists, kind):
    """(fields, stanza text) of every package in the apt lists folder's `kind` files (Packages, Sources)."""
    for path in sorted(glob.glob(os.path.join(lists, f"*_{kind}*"))):
        text = subprocess.run(["/usr/lib/apt/apt-helper", "cat-file", path], check=True,
                              capture_output=True, text=True).stdout
        for stanza in text.split("\n\n"):
            fields = dict(re.findall(r"^([A-Za-z-]+): (.*)$", stanza, re.M))
            if "Package" in fields:
                yield fields, stanza


def packages(lists):
    """{name: fields} of every binary package in the apt lists folder."""
    return {fields["Package"]: fields for fields, _ in stanzas(lists, "Packages")}


def source_packages(lists):
    """{name: fields} of every source package in the apt lists folder, with the size of its files."""
    found = {}
    for fields, stanza in stanzas(lists, "Sources"):
        sizes = re.findall(r"^ [0-9a-f]{64} (\d+) ", stanza.split("Checksums-Sha256:", 1)[-1], re.M)
        fields["Size-KiB"] = sum(int(n) for n in sizes) // 1024
        found[fields["Package"]] = fields
    return found


def pick_sources(srcs, family, count, known_sources):
    pattern, max_kib, _ = FAMILIES[family]
    chosen = []
    for name in sorted(srcs, key=lambda n: (zlib.crc32(n.encode()), n)):
        if len(chosen) >= count:
            break
        fields = srcs[name]
        names = [name] + [b.strip() for b in fields.get("Binary", "").split(",")]
        if name in known_sources or fields["Size-KiB"] > max_kib or not any(re.match(pattern, n) for n in names):
            continue
        chosen.append((name, fields["Version"]))
    return sorted(chosen)


def pick_npm(list_path, family, count, known_names):
    pattern, min_downloads, _ = NPM_FAMILIES[family]
    rows = []
    with open(list_path, encoding="utf-8", errors="replace") as fh:
        next(fh)
        for line in fh:
            cells = line.rstrip("\n").split("\t")
            if len(cells) < 4 or not cells[2].isdigit() or int(cells[2]) < min_downloads:
                continue
            name, version, downloads, summary = cells[0], cells[1], int(cells[2]), cells[3]
            if name in known_names or not re.search(pattern, summary, re.I):
                continue
            try:
                sources.parse_line(f"npm {name} {version}")
            except sources.ManifestError:
                continue  # not an exact version: nothing to pin
            if "-" not in version:  # releases, not pre-releases
                rows.append((-downloads, name, version))
    chosen, per_scope = [], collections.Counter()
    for _, name, version in sorted(rows):
        scope = name.split("/")[0] if name.startswith("@") else name
        if len(chosen) >= count or per_scope[scope] >= MAX_PER_SCOPE:
            continue
        per_scope[scope] += 1
        chosen.append((name, version))
    return sorted(chosen)


def source_of(fields):
    return fields.get("Source", fields["Package"]).split()[0]


def pick(pkgs, family, count, known_sources, known_names):
    pattern, max_kib, _ = FAMILIES[family]
    chosen, sources_taken = [], set(known_sources)
    for name in sorted(pkgs, key=lambda n: (zlib.crc32(n.encode()), n)):
        fields = pkgs[name]
        if len(chosen) >= count:
            break
        if not re.match(pattern, name) or NOT_SOURCES.search(name) or name in known_names:
            continue
        if int(fields.get("Installed-Size", "0")) > max_kib:
            continue
        src = source_of(fields)
        if src in sources_taken:
            continue
        sources_taken.add(src)
        chosen.append((name, fields["Version"]))
    return sorted(chosen)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("family", choices=sorted(FAMILIES) + sorted(NPM_FAMILIES))
    ap.add_argument("count", type=int)
    ap.add_argument("--manifest", default=os.path.join(here, "manifest"))
    ap.add_argument("--npm-list", default=NPM_LIST)
    ap.add_argument("--lists", default=os.path.join(here, "..", ".cache", "corpus", "apt", "lists"))
    args = ap.parse_args()
    pkgs = packages(args.lists)
    if not pkgs:
        sys.exit(f"grow_manifest: no package lists in {args.lists}; run corpus.py --fetch-only first")
    entries = sources.read_manifest(args.manifest)
    known_names = {e.name for e in entries}
    known_sources = {e.name for e in entries if e.kind == "deb"}
    known_sources |= {source_of(pkgs[e.name]) for e in entries if e.kind == "bin" and e.name in pkgs}
    if args.family in NPM_FAMILIES:
        kind, chosen = "npm", pick_npm(args.npm_list, args.family, args.count, known_names)
    elif args.family.endswith("-src"):
        kind, chosen = "deb", pick_sources(source_packages(args.lists), args.family, args.count, known_sources)
    else:
        kind, chosen = "bin", pick(pkgs, args.family, args.count, known_sources, known_names)
    with open(args.manifest, "a", encoding="utf-8") as fh:
        what = (FAMILIES.get(args.family) or NPM_FAMILIES[args.family])[2]
        fh.write(f"# family {args.family}: {what}, {len(chosen)} packages\n")
        for name, version in chosen:
            fh.write(f"{kind} {name} {version}\n")
    print(f"grow_manifest: {len(chosen)} {args.family} packages added", file=sys.stderr)


if __name__ == "__main__":
    main()
