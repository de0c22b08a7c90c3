// The host program's own pieces: its command line, what it takes for text, and its JSON.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "encoding.h"
#include "files.h"
#include "names.h"
#include "options.h"
#include "progress.h"
#include "report.h"

namespace {

bool parse(std::vector<std::string> args, host::Options* o, std::string* error) {
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return host::parseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

TEST(HostOptionsTest, ValuesInBothSpellingsAndRanges) {
  host::Options o;
  std::string error;
  ASSERT_TRUE(parse(
      {"quorvel", "scan", "--mode", "2", "--batch-len=300", "--samples", "7", "--jobs=3", "a", "-", "--", "--json"}, &o,
      &error))
      << error;
  EXPECT_EQ(o.mode, 2);
  EXPECT_EQ(o.batchLen, 300);
  EXPECT_EQ(o.samples, 7);
  EXPECT_TRUE(o.modeGiven);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_FALSE(o.json);  // after "--" it is a path
  EXPECT_EQ(o.paths, (std::vector<std::string>{"a", "-", "--json"}));
  for (const auto& bad : std::vector<std::vector<std::string>>{{"quorvel", "scan", "--jobs", "0", "a"},
                                                               {"quorvel", "scan", "--batch-len", "12x", "a"},
                                                               {"quorvel", "scan", "--mode"},
                                                               {"quorvel", "scan", "--samples", "99999999999", "a"},
                                                               {"quorvel", "scan"},
                                                               {"quorvel", "scan", "--batch-len", "80", "a"},
                                                               {"quorvel", "scan", "--batch-len=-1", "a"},
                                                               {"quorvel", "scan", "--samples", "0", "a"},
                                                               {"quorvel", "scan", "--log-level", "loud", "a"},
                                                               {"quorvel", "scan", "--max-bytes", "12Q", "a"},
                                                               {"quorvel", "scan", "-x", "a"}}) {
    host::Options fresh;
    EXPECT_FALSE(parse(bad, &fresh, &error)) << bad.back();
    EXPECT_FALSE(error.empty());
  }
  host::Options defaults;
  ASSERT_TRUE(
      parse({"quorvel", "scan", "--batch-len", "81", "--log-level", "DEBUG", "--max-bytes=2K", "a"}, &defaults, &error))
      << error;
  EXPECT_EQ(defaults.batchLen, 81);
  EXPECT_EQ(defaults.samples, 5);
  EXPECT_EQ(defaults.maxBytes, 2048u);
  EXPECT_FALSE(defaults.modeGiven);
}

TEST(HostFilesTest, KindsByContentAlone) {
  const std::string types = "jpg;png;tif;tiff;bmp;webp;jpeg";
  const std::string png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
  std::string bmp("BM\x46\0\0\0\0\0\0\0\x3e\0\0\0\x28\0\0\0", 18);
  EXPECT_EQ(host::sniffKind(png, false, types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind("\xFF\xD8\xFF\xE0", false, types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind(std::string("II*\0\x08\0", 6), false, types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind(std::string("RIFF\0\0\0\0WEBPVP8 ", 16), false, types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind(bmp, false, types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind(png, false, "jpg;bmp"), host::Kind::Binary);           // an image the plug-in does not take
  EXPECT_EQ(host::sniffKind(png, false, host::kAnyImageType), host::Kind::Image);  // no plug-in to ask
  EXPECT_EQ(host::sniffKind("\xFF\xD8\xFF", false, "jpeg"), host::Kind::Image);
  EXPECT_EQ(host::imageTypeOf("BMW and Audi drivers, a survey of 200 owners\n"), "");
  EXPECT_EQ(host::sniffKind("int main() {\n\treturn 0;\r\n}\n", true, types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind("caf\xC3\xA9 \xE4\xB8\xAD", true, types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind(std::string("ab\0cd", 5), true, types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind(std::string(50, '\x01') + std::string(100, 'a'), true, types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind("", true, types), host::Kind::Text);
  for (const char* shortHead : {"", "R", "RIFF", "RIFF1234WEB", "BM", "II*"})
    EXPECT_EQ(host::imageTypeOf(shortHead), "") << shortHead;
  // A lone NUL ending the file is text; anywhere else, or at the end of a mere head, it is not.
  EXPECT_EQ(host::sniffKind(std::string("text\0", 5), true, types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind(std::string("text\0", 5), false, types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind(std::string("te\0xt\0", 7), true, types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind(std::string("\xFF\xFEi\0n\0t\0", 8), true, types), host::Kind::Text);
}

TEST(HostEncodingTest, TextsReachTheRecognizerAsUtf8) {
  host::Encoding found;
  EXPECT_EQ(host::toUtf8(std::string("\xFF\xFEi\0\xE9\0\x3D\xD8\x00\xDE", 10), &found), "i\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(found, host::Encoding::Utf16LittleEndian);
  EXPECT_EQ(host::toUtf8(std::string("\xFE\xFF\0i\x20\xAC\xD8\x00", 8), &found), "i\xE2\x82\xAC\xEF\xBF\xBD");
  EXPECT_EQ(found, host::Encoding::Utf16BigEndian);
  EXPECT_EQ(host::toUtf8("Le caf\xE9 co\xFBte \x80 5, \x93"
                         "cit\xE9\x94",
                         &found),
            "Le caf\xC3\xA9 co\xC3\xBBte \xE2\x82\xAC 5, \xE2\x80\x9C"
            "cit\xC3\xA9\xE2\x80\x9D");
  EXPECT_EQ(found, host::Encoding::Windows1252);
  EXPECT_EQ(host::toUtf8("caf\xC3\xA9", &found), "caf\xC3\xA9");
  EXPECT_EQ(found, host::Encoding::Utf8);
  EXPECT_EQ(host::toUtf8("\xEF\xBB\xBFint x;"), "int x;");
  EXPECT_EQ(host::toUtf8(std::string("int x;\0", 7)), "int x;");
  EXPECT_EQ(host::toUtf8(std::string("\xFF\xFEi", 3)), "\xEF\xBF\xBD");  // an odd byte after the mark
}

TEST(HostWalkTest, AFolderThatCannotBeReadIsAnError) {
  namespace fs = std::filesystem;
  const fs::path t = fs::temp_directory_path() / ("quorvel-walk-" + std::to_string(getpid()));
  fs::create_directories(t / "open");
  fs::create_directories(t / "closed");
  std::ofstream(t / "open/a.txt") << "a";
  std::ofstream(t / "closed/b.txt") << "b";
  fs::permissions(t / "closed", fs::perms::none);
  std::vector<host::InputFile> files;
  std::vector<host::WalkProblem> problems;
  const bool asRoot = geteuid() == 0;  // root reads any folder: walk as nobody
  ASSERT_TRUE(!asRoot || seteuid(65534) == 0);
  host::collectFiles({t.string()}, &files, &problems);
  ASSERT_TRUE(!asRoot || seteuid(0) == 0);
  fs::permissions(t / "closed", fs::perms::owner_all);
  fs::remove_all(t);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].display, (t / "closed").string());
  EXPECT_EQ(problems[0].message, "cannot read folder: Permission denied");
  EXPECT_FALSE(problems[0].skipped);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(files[0].display, (t / "open/a.txt").string());
}

TEST(HostProgressTest, TheLineNeverFillsTheTerminal) {
  for (size_t width : {200, 80, 40, 30, 20, 10, 1, 0}) {
    const std::string line = host::progressLine(123, 1349, 52 << 20, width);
    EXPECT_LT(line.size(), std::max<size_t>(width, 1)) << width << ": " << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
  }
  EXPECT_EQ(host::progressLine(5, 10, 0, 200), "[###############               ] 5/10 files, 0.0 MB");
  EXPECT_EQ(host::progressLine(5, 10, 0, 30), "[####    ] 5/10 files, 0.0 MB");
  EXPECT_EQ(host::progressLine(5, 10, 3 << 20, 20), "5/10 files, 3.0 MB");
  EXPECT_EQ(host::progressLine(10, 10, 0, 60).substr(0, 32), "[" + std::string(30, '#') + "]");
}

TEST(HostProgressTest, TheTotalIsTheNumberOfLinesWritten) {
  host::Progress progress(2, 5, false);  // two lines written before, three inputs to go
  EXPECT_EQ(progress.line(200).substr(33), "2/5 files, 0.0 MB");
  progress.advance(1 << 20);
  progress.advance(0, 4);  // an archive of four members
  progress.advance(0);
  EXPECT_EQ(progress.line(200).substr(33), "8/8 files, 1.0 MB");
}

TEST(HostReportTest, ResultTextsAndJsonEscapes) {
  host::FileResult r;
  host::interpretResult(1, "C++; C; ", &r);
  EXPECT_EQ(r.answer, host::Answer::Code);
  EXPECT_EQ(r.classes, (std::vector<std::string>{"C++", "C"}));
  host::interpretResult(1, "Python; dialog; ", &r);
  EXPECT_EQ(r.answer, host::Answer::Code);
  EXPECT_EQ(r.classes, (std::vector<std::string>{"Python"}));
  host::interpretResult(1, "dialog; Markdown; ", &r);
  EXPECT_EQ(r.answer, host::Answer::Dialog);
  EXPECT_TRUE(r.classes.empty());
  host::interpretResult(1, "dialog", &r);
  EXPECT_EQ(r.answer, host::Answer::Dialog);
  EXPECT_TRUE(r.classes.empty());
  host::interpretResult(1, "Delta", &r);
  EXPECT_EQ(r.answer, host::Answer::Uncertain);
  host::interpretResult(0, "", &r);
  EXPECT_EQ(r.answer, host::Answer::SetAside);
  EXPECT_EQ(host::jsonString("a\"b\\c\n\x01\xC3\xA9"), "\"a\\\"b\\\\c\\n\\u0001\xC3\xA9\"");
}

TEST(HostNamesTest, PlainNamesKeepOneFileOnOneLine) {
  EXPECT_EQ(host::plainName("a\tb\nc\rd\\e\x01\x7f\xC3\xA9"), "a\\tb\\nc\\rd\\\\e\\x01\\x7f\xC3\xA9");
  EXPECT_EQ(host::plainName("plain name.c"), "plain name.c");
}

TEST(HostNamesTest, Utf8IsCheckedStrictly) {
  for (const char* good : {"", "abc", "caf\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\x9F\xBF"})
    EXPECT_TRUE(host::isValidUtf8(good)) << host::hexBytes(good);
  for (const char* bad :
       {"caf\xE9", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xC3", "\xE2\x82", "\x80", "\xFF"})
    EXPECT_FALSE(host::isValidUtf8(bad)) << host::hexBytes(bad);
  EXPECT_EQ(host::validUtf8("caf\xE9!\xE2\x82"), "caf\xEF\xBF\xBD!\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(host::hexBytes(std::string("\x00\xE9"
                                       "a",
                                       3)),
            "00e961");
}

TEST(HostNamesTest, JsonLineOfANameThatIsNotUtf8) {
  host::FileResult r;
  r.display = "dir/caf\xE9\t.txt";
  r.answer = host::Answer::Dialog;
  char* buffer = nullptr;
  size_t size = 0;
  FILE* out = open_memstream(&buffer, &size);
  host::writeJson(out, r);
  host::writeLine(out, r);
  fclose(out);
  const std::string written(buffer, size);
  free(buffer);
  EXPECT_EQ(written.substr(0, written.find(',')), "{\"path\":\"dir/caf\xEF\xBF\xBD\\t.txt\"");
  EXPECT_NE(written.find(",\"path_bytes\":\"6469722f636166e9092e747874\"}\n"), std::string::npos) << written;
  EXPECT_TRUE(host::isValidUtf8(written.substr(0, written.find('\n'))));
  EXPECT_NE(written.find("\ndir/caf\xE9\\t.txt\tdialog\tdialog\n"), std::string::npos) << written;
}

}  // namespace
