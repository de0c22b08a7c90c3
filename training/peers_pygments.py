#!/usr/bin/python3
"""Runs Pygments' guess_lexer, a third peer, on the same files as the other peers, on content only.

  peers_pygments.py <list> <out>
<list>: lines "id<TAB>class<TAB>file". <out>: "id<TAB>class<TAB>answer", the guessed lexer mapped to our class
names ("?" where we have no such class, "dialog" for its plain-text lexer).
"""
import sys

from pygments.lexers import guess_lexer
from pygments.util import ClassNotFound

# First alias of a Pygments lexer -> our class.
LEXERS = {
    "nasm": "Assembly", "gas": "Assembly", "tasm": "Assembly", "ca65": "Assembly", "batch": "Batchfile", "c": "C",
    "csharp": "C#", "cpp": "C++", "clojure": "Clojure", "clojurescript": "Clojure", "cmake": "CMake",
    "cobol": "COBOL", "cobolfree": "COBOL", "coffeescript": "CoffeeScript", "css": "CSS", "dart": "Dart",
    "docker": "Dockerfile", "elixir": "Elixir", "erlang": "Erlang", "fortran": "Fortran",
    "fortranfixed": "Fortran", "go": "Go", "groovy": "Groovy", "haskell": "Haskell", "html": "HTML", "java": "Java",
    "javascript": "JavaScript", "json": "JSON", "julia": "Julia", "kotlin": "Kotlin", "common-lisp": "Lisp",
    "emacs-lisp": "Lisp", "scheme": "Lisp", "lua": "Lua", "make": "Makefile", "markdown": "Markdown",
    "matlab": "MATLAB", "octave": "MATLAB", "objective-c": "Objective-C", "objective-c++": "Objective-C",
    "ocaml": "OCaml", "delphi": "Pascal", "pascal": "Pascal", "perl": "Perl", "perl6": "Perl", "php": "PHP",
    "html+php": "PHP", "powershell": "PowerShell", "prolog": "Prolog", "python": "Python", "python2": "Python",
    "splus": "R", "ruby": "Ruby", "rust": "Rust", "scala": "Scala", "bash": "Shell", "sh": "Shell",
    "sql": "SQL", "mysql": "SQL", "postgresql": "SQL", "swift": "Swift", "tex": "TeX", "latex": "TeX",
    "toml": "TOML", "typescript": "TypeScript", "verilog": "Verilog", "systemverilog": "Verilog",
    "vb.net": "VisualBasic", "vbscript": "VisualBasic", "xml": "XML", "yaml": "YAML", "text": "dialog",
}


def answer(text):
    try:
        lexer = guess_lexer(text)
    except ClassNotFound:
        return "dialog"
    return LEXERS.get(lexer.aliases[0] if lexer.aliases else "", "?")


def main():
    src, dst = sys.argv[1:3]
    out = []
    for line in open(src, encoding="utf-8"):
        if not line.strip():
            continue
        fid, cls, path = line.rstrip("\n").split("\t")
        text = open(path, "rb").read()[:20000].decode("utf-8", "replace")
        out.append(f"{fid}\t{cls}\t{answer(text)}")
    with open(dst, "w") as fh:
        fh.write("\n".join(out) + "\n")


if __name__ == "__main__":
    main()
