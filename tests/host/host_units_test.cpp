// The host program's own pieces: its command line, what it takes for text, and its JSON.
#include <gtest/gtest.h>

#include "files.h"
#include "options.h"
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
      {"quorvel", "scan", "--mode", "2", "--batch-len=300", "--samples", "-1", "--jobs=3", "a", "-", "--", "--json"},
      &o, &error))
      << error;
  EXPECT_EQ(o.mode, 2);
  EXPECT_EQ(o.batchLen, 300);
  EXPECT_EQ(o.samples, -1);
  EXPECT_EQ(o.jobs, 3);
  EXPECT_FALSE(o.json);  // after "--" it is a path
  EXPECT_EQ(o.paths, (std::vector<std::string>{"a", "-", "--json"}));
  for (const auto& bad : std::vector<std::vector<std::string>>{{"quorvel", "scan", "--jobs", "0", "a"},
                                                               {"quorvel", "scan", "--batch-len", "12x", "a"},
                                                               {"quorvel", "scan", "--mode"},
                                                               {"quorvel", "scan", "--samples", "99999999999", "a"},
                                                               {"quorvel", "scan"}}) {
    host::Options fresh;
    EXPECT_FALSE(parse(bad, &fresh, &error)) << bad[2];
    EXPECT_FALSE(error.empty());
  }
}

TEST(HostFilesTest, ImagesByExtensionTextAndBinaryByContent) {
  const std::string types = "jpg;png;tif;tiff;bmp;webp;jpeg";
  EXPECT_EQ(host::sniffKind("/a/b/Listing.PNG", "anything", types), host::Kind::Image);
  EXPECT_EQ(host::sniffKind("/a/b.jpeg/readme", "plain words", types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind("x.c", "int main() {\n\treturn 0;\r\n}\n", types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind("x.txt", "caf\xC3\xA9 \xE4\xB8\xAD", types), host::Kind::Text);
  EXPECT_EQ(host::sniffKind("x.dat", std::string("ab\0cd", 5), types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind("x.dat", std::string(50, '\x01') + std::string(100, 'a'), types), host::Kind::Binary);
  EXPECT_EQ(host::sniffKind("empty", "", types), host::Kind::Text);
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

}  // namespace
