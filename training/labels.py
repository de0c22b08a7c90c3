"""Which class a corpus file belongs to: by file name, extension, shebang and content rules.

label(path, head) returns a class name of code.txt, "dialog" for prose, or None for a file the corpus
does not take. `head` is the first few KB of the file, already decoded as latin-1.
"""
import collections
import os
import re

# The classes, in the order of code.txt; "dialog" is last.
CLASSES = [
    "Assembly", "Batchfile", "C", "C#", "C++", "Clojure", "CMake", "COBOL", "CoffeeScript", "CSS", "Dart",
    "Dockerfile", "Elixir", "Erlang", "Fortran", "Go", "Groovy", "Haskell", "HTML", "Java", "JavaScript", "JSON",
    "Julia", "Kotlin", "Lisp", "Lua", "Makefile", "Markdown", "MATLAB", "Objective-C", "OCaml", "Pascal", "Perl",
    "PHP", "PowerShell", "Prolog", "Python", "R", "Ruby", "Rust", "Scala", "Shell", "SQL", "Swift", "TeX", "TOML",
    "TypeScript", "Verilog", "VisualBasic", "XML", "YAML", "dialog",
]

EXTENSIONS = {
    ".asm": "Assembly", ".s": "Assembly", ".S": "Assembly", ".nasm": "Assembly", ".nas": "Assembly",
    ".bat": "Batchfile", ".cmd": "Batchfile",
    ".c": "C", ".h": "C",
    ".cs": "C#",
    ".cc": "C++", ".cpp": "C++", ".cxx": "C++", ".hpp": "C++", ".hh": "C++", ".hxx": "C++", ".ipp": "C++",
    ".clj": "Clojure", ".cljs": "Clojure", ".cljc": "Clojure",
    ".cmake": "CMake",
    ".cob": "COBOL", ".cbl": "COBOL", ".cpy": "COBOL", ".cobol": "COBOL",
    ".coffee": "CoffeeScript",
    ".css": "CSS",
    ".dart": "Dart",
    ".dockerfile": "Dockerfile",
    ".ex": "Elixir", ".exs": "Elixir",
    ".erl": "Erlang", ".hrl": "Erlang",
    ".f": "Fortran", ".f77": "Fortran", ".for": "Fortran", ".f90": "Fortran", ".f95": "Fortran", ".f03": "Fortran",
    ".f08": "Fortran", ".F": "Fortran", ".F90": "Fortran",
    ".go": "Go",
    ".groovy": "Groovy", ".gradle": "Groovy", ".gvy": "Groovy",
    ".hs": "Haskell", ".lhs": "Haskell",
    ".html": "HTML", ".htm": "HTML", ".xhtml": "HTML",
    ".java": "Java",
    ".js": "JavaScript", ".mjs": "JavaScript", ".cjs": "JavaScript", ".jsx": "JavaScript",
    ".json": "JSON",
    ".jl": "Julia",
    ".kt": "Kotlin", ".kts": "Kotlin",
    ".lisp": "Lisp", ".lsp": "Lisp", ".el": "Lisp", ".asd": "Lisp", ".scm": "Lisp", ".ss": "Lisp",
    ".lua": "Lua",
    ".mk": "Makefile", ".mak": "Makefile",
    ".md": "Markdown", ".markdown": "Markdown",
    ".m": "Objective-C", ".mm": "Objective-C",
    ".ml": "OCaml", ".mli": "OCaml",
    ".pas": "Pascal", ".pp": "Pascal", ".lpr": "Pascal", ".dpr": "Pascal",
    ".pl": "Perl", ".pm": "Perl",
    ".php": "PHP",
    ".ps1": "PowerShell", ".psm1": "PowerShell", ".psd1": "PowerShell",
    ".pro": None, ".P": None,
    ".py": "Python",
    ".r": "R", ".R": "R",
    ".rb": "Ruby", ".gemspec": "Ruby", ".rake": "Ruby",
    ".rs": "Rust",
    ".scala": "Scala", ".sbt": "Scala",
    ".sh": "Shell", ".bash": "Shell", ".zsh": "Shell", ".ksh": "Shell",
    ".sql": "SQL",
    ".swift": "Swift",
    ".tex": "TeX", ".sty": "TeX", ".cls": "TeX", ".ltx": "TeX", ".dtx": "TeX",
    ".toml": "TOML",
    ".ts": "TypeScript", ".tsx": "TypeScript", ".mts": "TypeScript", ".cts": "TypeScript",
    ".v": "Verilog", ".sv": "Verilog", ".vh": "Verilog", ".svh": "Verilog",
    ".vb": "VisualBasic", ".vbs": "VisualBasic", ".bas": "VisualBasic", ".frm": "VisualBasic",
    ".xml": "XML", ".xsd": "XML", ".xsl": "XML", ".xslt": "XML", ".plist": "XML", ".xib": "XML", ".csproj": "XML",
    ".yml": "YAML", ".yaml": "YAML",
    ".txt": "dialog", ".rst": "dialog", ".po": "dialog",
}

# Sources that JVM libraries (Clojure above all) ship inside their jars; compiled classes are ignored.
JAR_SOURCE_EXTENSIONS = {".clj", ".cljc", ".cljs", ".scala", ".groovy", ".kt"}

NAMES = {
    "Makefile": "Makefile", "GNUmakefile": "Makefile", "makefile": "Makefile", "Makefile.am": "Makefile",
    "rules": None,  # debian/rules is handled by path below
    "Dockerfile": "Dockerfile", "Containerfile": "Dockerfile",
    "CMakeLists.txt": "CMake",
    "Rakefile": "Ruby", "Gemfile": "Ruby", "Jenkinsfile": "Groovy",
    "README": "dialog", "NEWS": "dialog", "ChangeLog": "dialog", "THANKS": "dialog", "TODO": "dialog",
    "HACKING": "dialog", "changelog": "dialog", "BUGS": "dialog", "FAQ": "dialog",
}

SHEBANGS = [
    (re.compile(r"python"), "Python"), (re.compile(r"perl"), "Perl"), (re.compile(r"ruby"), "Ruby"),
    (re.compile(r"\b(ba|da|k|z)?sh\b"), "Shell"), (re.compile(r"\bnode\b"), "JavaScript"),
    (re.compile(r"\bphp"), "PHP"), (re.compile(r"\blua"), "Lua"), (re.compile(r"Rscript"), "R"),
    (re.compile(r"escript"), "Erlang"), (re.compile(r"elixir"), "Elixir"), (re.compile(r"julia"), "Julia"),
    (re.compile(r"groovy"), "Groovy"), (re.compile(r"swift"), "Swift"), (re.compile(r"make\b.*-f"), "Makefile"),
    (re.compile(r"pwsh"), "PowerShell"),
]

# Boilerplate that build tools copy into thousands of projects, or that they generate.
SKIP_NAMES = {
    "configure", "config.guess", "config.sub", "install-sh", "depcomp", "missing", "ltmain.sh", "libtool",
    "aclocal.m4", "compile", "mkinstalldirs", "ylwrap", "test-driver", "py-compile", "package-lock.json",
    "yarn.lock", "npm-shrinkwrap.json", "config.status", "gradlew", "gradlew.bat", "mvnw", "mvnw.cmd",
}
LICENCE_NAME = re.compile(r"^(licen[cs]e|copying|copyright|notice|patents|unlicense)([._-].*)?$", re.I)
VENDOR_DIR = re.compile(
    r"(^|/)(node_modules|vendor|vendored|third[_-]?party|3rdparty|external|extern|bower_components|"
    r"\.git|__pycache__|\.pc|debian/patches|autom4te\.cache|site-packages)(/|$)", re.I)
MINIFIED_NAME = re.compile(r"[.-]min\.(js|css)$|\.bundle\.js$|\.map$", re.I)

# A bracketed pair alone ("[a b]") is a MATLAB matrix as often as an Objective-C message, so a message
# counts only with its selector colon or a Foundation name.
OBJC_HINT = re.compile(r"#import|@interface|@implementation|@end\b|@property|@protocol|@selector|"
                       r"\[\w+ \w+:|\[\[\w+ alloc\]|\bNS[A-Z]\w+")
# Markers no MATLAB file holds: preprocessor imports and the compiler's @-directives.
OBJC_DIRECTIVE = re.compile(r"^\s*#\s*(import|include)\b|@(interface|implementation|protocol|end|property|selector)\b",
                            re.M)
# A .md file with none of these is plain prose with a .md name: it says nothing about Markdown.
MARKDOWN_HINT = re.compile(r"^\s{0,3}(#{1,6}\s|[-*+]\s|\d+\.\s|>|```|~~~|\|.*\||={3,}\s*$|-{3,}\s*$)|"
                           r"\[[^\]]+\]\([^)]+\)|\*\*\S|__\S|`[^`\n]+`|<[a-z]+[ >]", re.M)
# Documentation blocks of a Perl file: from a line opening with "=word" to "=cut".
POD_BLOCK = re.compile(r"^=[a-z]\w*.*?(^=cut\b.*?$|\Z)", re.M | re.S)
MAX_POD_SHARE = 0.6  # of the characters of a Perl file's head
MATLAB_HINT = re.compile(r"^\s*(function\b|%|end\b|endfunction|disp\(|fprintf\()", re.M)
CPP_HINT = re.compile(r"\bclass\s+\w+\s*[:{]|\bnamespace\b|\btemplate\s*<|std::|\bpublic:|\bprivate:|\bvirtual\b")
PROLOG_HINT = re.compile(r":-\s*$|^:- |^\w+\([^)]*\)\s*:-", re.M)
PERL_HINT = re.compile(r"\buse (strict|warnings)\b|\bmy \$|\bsub \w+|\$_\b|^package \w+", re.M)
VERILOG_HINT = re.compile(r"\bmodule\b[\s\S]*\bendmodule\b")
PASCAL_HINT = re.compile(r"\b(begin|unit|program|procedure|function)\b[\s\S]*\bend\b", re.I)
TEX_HINT = re.compile(r"\\(documentclass|ProvidesClass|ProvidesPackage|NeedsTeXFormat|def|newcommand|begin\{)")
VB_HINT = re.compile(r"\b(Dim|Sub|Function|End Sub|Attribute VB_|Imports|Module|WScript)\b", re.I)
COBOL_HINT = re.compile(r"\b(IDENTIFICATION|PROCEDURE|DATA)\s+DIVISION\b", re.I)
ASM_REJECT = re.compile(r"^\s*#\s*(include|define)\s*<", re.M)
MAN_PAGE = re.compile(r"\.([1-8])([a-z]*)$")
# Text files in test folders are expected outputs and input data far more often than prose.
TEST_DATA_DIR = re.compile(r"(^|/)(t|tests?|testing|testfiles|testdata|test-data|testsuite|corpus|fixtures|"
                           r"expected|results)/", re.I)

# Characters that prose uses rarely and code, data and markup use all the time.
CODE_CHARS = frozenset("{}[]<>=;|\\$#@^~`*_/+&%")
MIN_WORD_SHARE = 0.5        # of whitespace-separated tokens
MAX_CODE_CHAR_SHARE = 0.15  # of non-blank characters, unless the text is nearly all words
NEARLY_ALL_WORDS = 0.8
# Listings and tables: settings files commented with '#', and files whose lines mostly open with the same
# word (test result lists, symbol tables, error tables). Prose rarely does either over many lines.
MAX_COMMENT_LINE_SHARE = 0.4  # of non-blank lines
MAX_SAME_LEAD_SHARE = 0.75    # of the lines that open with a word, counted over at least MIN_LEAD_LINES
MIN_LEAD_LINES = 20
LEAD_WORD = re.compile(r"[^\W\d_]\w*")  # a run of word characters that opens with a letter
# A Debian changelog entry's first line opens with the package name.
CHANGELOG_HEADER = re.compile(r"^\S+ \([^)]*\) [^;]*; *urgency=")


def word_token(tok):
    return not any(c in CODE_CHARS for c in tok) and sum(c.isalpha() for c in tok) >= 0.6 * len(tok)


def prose_shape(text):
    """(share of word-like tokens, share of code characters among non-blank ones) of a text."""
    tokens = text.split()
    if not tokens:
        return 0.0, 1.0
    words = sum(word_token(t) for t in tokens)
    code = sum(c in CODE_CHARS for t in tokens for c in t)
    return words / len(tokens), code / sum(len(t) for t in tokens)


def listing_like(text):
    """Whether a text is laid out as a commented settings file or a table rather than as running text."""
    lines = [line.strip() for line in text.splitlines() if line.strip()]
    if not lines:
        return False
    if sum(line.startswith("#") for line in lines) > MAX_COMMENT_LINE_SHARE * len(lines):
        return True
    leads = collections.Counter()
    for line in lines:
        lead = LEAD_WORD.search(line.split()[0])
        if lead is None or CHANGELOG_HEADER.match(line):
            continue  # bullets, rules and entry headers say nothing about the layout
        leads[lead.group(0)] += 1
    counted = sum(leads.values())
    return counted >= MIN_LEAD_LINES and leads.most_common(1)[0][1] > MAX_SAME_LEAD_SHARE * counted


def prose_like(data, strict=True):
    """Whether a file labelled prose reads as prose: mostly letters and blanks. A .txt or README can
    hold listings, data or code, so those (`strict`) must also be made mostly of words, with few code
    characters unless nearly all tokens are words (help files full of |tags|), and must not be laid out
    as a listing. Manual pages are prose by kind, and their option lists would fail the stricter test."""
    text = data.decode("utf-8", "replace")
    letters = sum(c.isalpha() or c.isspace() for c in text)
    if letters <= 0.75 * max(len(text), 1):
        return False
    if not strict:
        return True
    word_share, code_share = prose_shape(text)
    if word_share < MIN_WORD_SHARE or listing_like(text):
        return False
    return code_share <= MAX_CODE_CHAR_SHARE or word_share >= NEARLY_ALL_WORDS


C_COMMENT = re.compile(r"/\*.*?(\*/|\Z)|//[^\n]*|\"(\\.|[^\"\\\n])*\"", re.S)


def without_c_comments(text):
    """C or C++ text with comments and string literals blanked."""
    return C_COMMENT.sub(" ", text)


def pod_share(text):
    """The share of a Perl text's characters inside POD blocks."""
    return sum(len(m.group(0)) for m in POD_BLOCK.finditer(text)) / max(len(text), 1)


def content_rules(cls, ext, head):
    """Refines or rejects a label from what the file holds."""
    if ext == ".m":
        # "[a b:c]" is a MATLAB range inside a matrix as often as an Objective-C message, so MATLAB's own
        # shape wins unless a directive says Objective-C
        if OBJC_DIRECTIVE.search(head):
            return "Objective-C"
        if MATLAB_HINT.search(head):
            return "MATLAB"
        return "Objective-C" if OBJC_HINT.search(head) else None
    if ext == ".h":
        if OBJC_HINT.search(head) and ("@interface" in head or "#import" in head or "@protocol" in head):
            return "Objective-C"
        # a C header guarded for C++ callers (extern "C", __cplusplus) is still C, and so is one whose
        # comments speak of virtual memory or namespaces
        return "C++" if CPP_HINT.search(without_c_comments(head)) else "C"
    if cls == "Markdown" and not MARKDOWN_HINT.search(head):
        return "dialog"
    if cls == "Perl" and pod_share(head) > MAX_POD_SHARE:
        return None  # a manual in POD with a little code: neither Perl to learn nor plain prose
    if cls == "Prolog" or (ext == ".pl" and PROLOG_HINT.search(head) and not PERL_HINT.search(head)):
        return "Prolog"
    if cls == "Verilog" and not VERILOG_HINT.search(head):
        return None  # Coq proofs and other .v files
    if cls == "Pascal" and not PASCAL_HINT.search(head):
        return None  # Puppet manifests share .pp
    if ext == ".cls" and not TEX_HINT.search(head):
        return None
    if cls == "VisualBasic" and not VB_HINT.search(head):
        return None
    if cls == "COBOL" and not COBOL_HINT.search(head) and ext != ".cpy":
        return None
    return cls


def label(path, head, overrides=None):
    """The class of the file at `path` (inside its project), or None when the corpus does not take it."""
    base = os.path.basename(path)
    if VENDOR_DIR.search(path) or base in SKIP_NAMES or LICENCE_NAME.match(base) or MINIFIED_NAME.search(base):
        return None
    if base.endswith(".in") or base.endswith(".orig") or base.endswith(".rej"):
        return None
    if path.endswith("debian/rules"):
        return "Makefile"
    if path.endswith("debian/changelog"):
        return "dialog"
    if path.startswith("debian/") or "/debian/" in path:
        if not base.endswith((".sh", ".py", ".pl")) and base not in ("rules", "changelog"):
            return None
    stem, ext = os.path.splitext(base)
    if overrides and ext.lstrip(".") in overrides:
        return overrides[ext.lstrip(".")]
    if base in NAMES:
        return NAMES[base]
    if base.startswith("Dockerfile") or base.startswith("Containerfile"):
        return "Dockerfile"
    if base.startswith("Makefile.") and not base.endswith(".in"):
        return "Makefile"
    if base.startswith(("README", "NEWS", "ChangeLog")) and ext in ("", ".txt"):
        return "dialog"
    if ext == "" and head.startswith("#!"):
        first = head.split("\n", 1)[0]
        for pattern, cls in SHEBANGS:
            if pattern.search(first):
                return cls
        return None
    if MAN_PAGE.search(base) and re.search(r"^\.TH ", head, re.M):
        return "manpage"
    cls = EXTENSIONS.get(ext)
    if cls is None:
        return None
    if ext == ".txt" and (re.search(r"(requirements|constraints|CMakeLists|robots|LICENSE|COPYING)", base, re.I)
                          or TEST_DATA_DIR.search(path)):
        return None
    return content_rules(cls, ext, head)
