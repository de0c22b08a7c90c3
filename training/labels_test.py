#!/usr/bin/python3
"""Labelling rules of the corpus: what is taken as prose, and what is turned away."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import labels  # noqa: E402

PROSE = ("The package keeps its settings in one file. When the file is missing, the defaults apply, "
         "and a warning says so once. See the manual for the full list of options.\n") * 4
CHINESE = "这个程序把设置保存在一个文件里。如果文件不存在，就使用默认值，并且只提示一次。\n" * 6
H5DIFF = ("position        dset1           dset2           difference\n"
          "------------------------------------------------------------\n"
          "[ 0 1 ]          1               3               2\n"
          "[ 1 0 ]          4               2               2\n") * 8
FILE_LIST = "src/icu69/common/appendable.cpp src/icu69/common/bmpset.cpp src/icu69/common/brkeng.cpp\n" * 10
TEXINFO = ("@node Invoking\n@section Invoking @command{grep}\n@cindex options\n"
           "La commande @code{grep} lit @var{fichier} et @samp{-e} @var{motif}.\n") * 6
VIM_HELP = ("*fold.txt*  For Vim version 9.0.  Folding is used to show a range of lines in the buffer\n"
            "as a single line on the screen. See |fold-methods| and |fold-commands| for the ways to\n"
            "create folds, and |folding| for an introduction to using them in daily editing work.\n") * 4
SETTINGS = ("# Build the examples as well as the library.\n# Off by default.\n"
            "option('examples', type : 'boolean', value : false)\n") * 8
RESULTS = "".join(f":test-result: PASS Values compare equal in case {i}\n" for i in range(30))
CHANGELOG = "".join(f"tool ({i}.0-1) unstable; urgency=medium\n\n  * New upstream release, with fixes.\n\n"
                    f" -- A Maintainer <a@example.org>  Mon, 0{i % 9 + 1} Jan 2024 10:00:00 +0000\n\n"
                    for i in range(30))


class ProseShape(unittest.TestCase):
    def test_prose_in_several_scripts_passes(self):
        for text in (PROSE, CHINESE, VIM_HELP):
            self.assertTrue(labels.prose_like(text.encode()), text[:40])

    def test_data_listings_and_markup_fail(self):
        for text in (H5DIFF, FILE_LIST, TEXINFO):
            self.assertFalse(labels.prose_like(text.encode()), text[:40])

    def test_commented_settings_and_tables_fail(self):
        for text in (SETTINGS, RESULTS):
            self.assertTrue(labels.listing_like(text), text[:40])
            self.assertFalse(labels.prose_like(text.encode()), text[:40])

    def test_changelogs_and_markdown_headings_are_not_listings(self):
        headings = ("# Install\n\nRun the script once. It asks where to put the files\nand then copies them. "
                    "Nothing else is needed.\n") * 8
        wrapped = ("The package keeps its settings in one file. When the file\nis missing, the defaults apply, "
                   "and a warning\nsays so once. See the manual for the full list\nof options.\n") * 8
        for text in (CHANGELOG, headings, wrapped):
            self.assertFalse(labels.listing_like(text), text[:40])

    def test_manual_pages_skip_the_word_test(self):
        options = ("-a, --all  do not ignore entries starting with .\n"
                   "-B, --ignore-backups  do not list implied entries ending with ~\n") * 6
        self.assertTrue(labels.prose_like(options.encode(), strict=False))
        self.assertFalse(labels.prose_like(FILE_LIST.encode(), strict=True))

    def test_empty_text_is_not_prose(self):
        self.assertFalse(labels.prose_like(b""))
        self.assertEqual(labels.prose_shape("   \n"), (0.0, 1.0))


class Labels(unittest.TestCase):
    def test_text_files_in_test_folders_are_not_prose(self):
        for path in ("tools/test/h5diff/testfiles/h5diff_468.txt", "test/corpus/expressions.txt",
                     "tp/t/results/index/res.txt", "tests/functional/c/confusing.txt"):
            self.assertIsNone(labels.label(path, "some words here"), path)

    def test_documents_stay_prose(self):
        for path in ("doc/intro.txt", "tests/README.txt", "mpn/x86/README", "NEWS", "debian/changelog"):
            self.assertEqual(labels.label(path, "some words here"), "dialog", path)

    def test_extensions_and_content_rules(self):
        self.assertEqual(labels.label("src/a.h", "namespace x { class A {}; }"), "C++")
        self.assertEqual(labels.label("src/a.h", "int f(void);"), "C")
        self.assertEqual(labels.label("src/a.m", "@interface Foo : NSObject\n@end"), "Objective-C")
        self.assertEqual(labels.label("src/a.m", "function y = f(x)\n  y = x;\nend"), "MATLAB")
        self.assertIsNone(labels.label("node_modules/x/index.js", "var a;"))
        self.assertIsNone(labels.label("theories/Arith.v", "Lemma plus_0 : forall n, n + 0 = n."))


class ConfusedPairs(unittest.TestCase):
    """The pairs of classes whose labels are easiest to get wrong, each decided by one rule."""

    def test_header_is_cpp_only_by_its_code(self):
        guarded = ('/* maps virtual memory; the namespace of keys is global */\n#ifdef __cplusplus\n'
                   'extern "C" {\n#endif\nint map_open(const char *name); /* std::string in C++ */\n')
        self.assertEqual(labels.label("include/map.h", guarded), "C")
        self.assertEqual(labels.label("include/map.h", "template <typename T> T max(T a, T b);"), "C++")
        self.assertEqual(labels.label("include/View.h", "#import <UIKit/UIKit.h>\n@interface View : UIView"),
                         "Objective-C")

    def test_dot_m_is_matlab_unless_a_directive_says_objective_c(self):
        matlab = "function r = spread(a, b)\n% spread of a range\n  r = [a b:2:10];\nend\n"
        self.assertEqual(labels.label("src/spread.m", matlab), "MATLAB")
        objc = "#import \"View.h\"\n@implementation View\n- (void)draw { [self setNeedsLayout:YES]; }\n@end\n"
        self.assertEqual(labels.label("src/View.m", objc), "Objective-C")
        self.assertEqual(labels.label("src/send.m", "[window makeKeyAndOrderFront:nil];"), "Objective-C")

    def test_markdown_without_markup_is_prose(self):
        self.assertEqual(labels.label("docs/notes.md", PROSE), "dialog")
        for marked in ("# Install\n\n" + PROSE, PROSE + "\n- one\n- two\n", "See [the guide](guide.md).",
                       "Run `make` first.\n", "```\nmake\n```\n"):
            self.assertEqual(labels.label("docs/notes.md", marked), "Markdown", marked[:30])

    def test_perl_that_is_mostly_pod_is_left_out(self):
        pod = "=head1 NAME\n\nThing - does things\n\n=head1 DESCRIPTION\n\n" + PROSE + "\n=cut\n\n1;\n"
        self.assertIsNone(labels.label("lib/Thing.pm", pod))
        code = "package Thing;\nuse strict;\n" + "sub run { my ($self) = @_; return $self->{n} + 1; }\n" * 20
        self.assertEqual(labels.label("lib/Thing.pm", code + "\n=head1 NAME\n\nThing\n\n=cut\n"), "Perl")


if __name__ == "__main__":
    unittest.main()
