// The cleaning passes, alone and chained as the parse driver runs them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils.h"

namespace {

using Pieces = std::vector<std::string>;

std::string bytes(const char* data, size_t size) { return std::string(data, size); }

TEST(CleanTest, PreDataFlattensIntoOneTrimmedLine) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"lines trimmed and joined", "  int a;\r\n\tint b;  \n\n", "int a;int b;"},
      {"empty lines dropped", "a\n\nb", "ab"},
      {"blank lines only", "\n \n\t\n", ""},
      {"inner blanks stay", "x  =  1", "x  =  1"},
      {"tab becomes a blank", "a\tb", "a b"},
      {"lone CR becomes a blank", "a\rb", "a b"},
      {"other control bytes stay", "x;\x0B\ny;", "x;\x0By;"},
      {"NUL and high bytes stay", bytes(" a\0\xE4\n b", 7), bytes("a\0\xE4\x62", 4)},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SCR::pre_data(c.text), c.expected) << c.name;
}

TEST(CleanTest, TrimRemovesOnlyOuterBlanksInPlace) {
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"  a b  ", "a b"}, {"   ", ""}, {"", ""}, {"\ta\t", "\ta\t"}, {bytes(" \0 ", 3), bytes("\0", 1)}, {"x", "x"},
  };
  for (Case c : cases) {
    const std::string original = c.text;
    std::string& returned = SCR::trim(c.text);
    EXPECT_EQ(&returned, &c.text);
    EXPECT_EQ(c.text, c.expected) << testing::PrintToString(original);
  }
}

TEST(CleanTest, CleanCodeChangesNothing) {
  std::string text = bytes(" a\0\xFF\n", 5);
  EXPECT_EQ(&SCR::clean_code(text), &text);
  EXPECT_EQ(text, bytes(" a\0\xFF\n", 5));
}

TEST(CleanTest, StringSplitDropsEmptyRuns) {
  struct Case {
    std::string text;
    char delimiter;
    Pieces expected;
  };
  const Case cases[] = {
      {",a,,b,", ',', {"a", "b"}},
      {"abc", ',', {"abc"}},
      {"", ',', {}},
      {",,,", ',', {}},
      {"a b\tc", ' ', {"a", "b\tc"}},
      {bytes("a\0\0b\0", 5), '\0', {"a", "b"}},
      {"x\xFFy", '\xFF', {"x", "y"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(SCR::stringSplit(c.text, c.delimiter), c.expected) << testing::PrintToString(c.text);
}

TEST(CleanTest, CensorDropsMultiByteSequences) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"three-byte sequence dropped", "a\xE4\xB8\xAD\x62", "ab"},
      {"four-byte sequence dropped", "a\xF0\x9F\x98\x80\x62", "ab"},
      {"two-byte sequence keeps its lead", "a\xC3\xA9\x62", "a\xC3\x62"},
      {"stray continuation kept", "a\x80\x62", "a\x80\x62"},
      {"F8 lead drops four bytes", "\xF8xyzw", "w"},
      {"NUL ends the text", bytes("ab\0cd", 5), "ab"},
      {"three-byte lead at the end", "ab\xE4", "ab"},
      {"two-byte lead at the end", "ab\xC3", "ab"},
      {"four-byte sequence cut short", "ab\xF0\x9F\x98", "ab"},
      {"lead swallows ASCII", "\xE4wxyz", "yz"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(censorStrWithOutSymbol(c.text), c.expected) << c.name;
}

TEST(CleanTest, FilterKeepsAllowedBytesOverWholeSize) {
  struct Case {
    const char* name;
    std::string text;
    std::string allowed;
    std::string expected;
  };
  const Case cases[] = {
      {"set ab", "a\tb", "ab", "ab"},
      {"empty set", "anything", "", ""},
      {"order and repetition in the set do not matter", "cabbage", "bba", "abba"},
      {"high bytes can be allowed", "a\xFF\x80z", "\xFF", "\xFF"},
      {"past an embedded NUL", bytes("a\0b", 3), "ab", "ab"},
      {"NUL can be allowed", bytes("a\0b", 3), bytes("\0", 1), bytes("\0", 1)},
      {"empty text", "", "ab", ""},
  };
  for (const Case& c : cases) {
    std::string output = "left over";
    SCR::filter_string1(c.text, c.allowed, &output);
    EXPECT_EQ(output, c.expected) << c.name;
  }
}

TEST(CleanTest, RemoveStrDropsListedBytes) {
  struct Case {
    std::string text;
    std::string chars;
    std::string expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "abc"}, {"a-b_c", "_-", "abc"},
      {"abc", "", "abc"},    {bytes("a\0b\xFF", 4), bytes("\0\xFF", 2), "ab"},
      {"", "a", ""},
  };
  for (Case c : cases) {
    SCR::remove_str(&c.text, c.chars);
    EXPECT_EQ(c.text, c.expected);
  }
}

TEST(CleanTest, FilterStringUsesLowByteOfWideCharacters) {
  std::string output = "left over";
  SCR::filter_string(L"a\tb", "ab", &output);
  EXPECT_EQ(output, "ab");
  SCR::filter_string(L"a\u0162\u4E2D", "ab", &output);  // low bytes 0x62 'b' and 0x2D '-'
  EXPECT_EQ(output, "ab");
  SCR::filter_string(L"\u01E9i", "\xE9", &output);  // all eight low bits: 0xE9, not 0x69 'i'
  EXPECT_EQ(output, "\xE9");
  SCR::filter_string(L"", "ab", &output);
  EXPECT_EQ(output, "");
}

// The whole cleaning step. A text is set aside when less than 40 % of its flattened length is left:
// dropped line breaks and outer blanks do not count against it, two-byte sequences count twice.
TEST(CleanTest, CleaningKeepsAlphabetCharactersAndSetsAsideTooLittleCodeMaterial) {
  struct Case {
    const char* name;
    std::string text;
    std::string expected;
    bool kept;
  };
  const Case cases[] = {
      {"code line with CRLF", "int x = 1;\r\n", "int x = 1;", true},
      {"CJK lines vanish", "\xE4\xB8\xAD\xE6\x96\x87\n\xE5\xAD\x97\n", "", false},
      {"vertical tab filtered", "x;\x0B\ny;", "x;y;", true},
      {"accented letter loses both bytes", "caf\xC3\xA9 = 1;", "caf = 1;", true},
      {"emoji comment", "  i++; // \xF0\x9F\x98\x80 ok\n", "i++; //  ok", true},
      {"DEL filtered", "a\x7F\x62", "ab", true},
      {"NUL ends the text", bytes("ab\0cd", 5), "ab", true},
      {"malformed sequences", "\x80x\xC3y\xFF", "x", false},
      {"exactly 40 % left", "abcd" + std::string(6, '\x01'), "abcd", true},
      {"just under 40 % left", "abc" + std::string(5, '\x01'), "abc", false},
      {"blank lines do not count", "ab\n\n   \n\x01\x01\x01", "ab", true},
      {"two-byte sequences", "ab\xC3\xA9\xC3\xA9", "ab", false},
  };
  for (const Case& c : cases) {
    std::string cleaned = "left over";
    EXPECT_EQ(SCR::clean_text(c.text, &cleaned), c.kept) << c.name;
    EXPECT_EQ(cleaned, c.expected) << c.name;
  }
}

TEST(CleanTest, DriverPassesOnEveryByteValueKeepPrintableAscii) {
  std::string binary;
  for (int b = 1; b < 256; ++b) binary.push_back(static_cast<char>(b));
  // Bytes 01-08 and 09 (a blank, trimmed) make the first line; the second begins at 0B and keeps the
  // blank that CR (0D) became, then the printable range; 7F and every high byte are dropped.
  std::string expected = " ";
  for (int b = 0x20; b <= 0x7E; ++b) expected.push_back(static_cast<char>(b));
  std::string cleaned;
  SCR::clean_text(binary, &cleaned);
  EXPECT_EQ(cleaned, expected);
}

}  // namespace
