// Character counting and character windows over lenient UTF-8.
#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "utils.h"

namespace {

using Windows = std::vector<std::string>;

// The text in a heap block of exactly its size plus the NUL, so that reading past the NUL is an
// out-of-bounds read under AddressSanitizer rather than a read of std::string's spare capacity.
std::vector<char> exactCString(const std::string& text) {
  std::vector<char> bytes(text.begin(), text.end());
  bytes.push_back('\0');
  bytes.shrink_to_fit();
  return bytes;
}

int count(const std::string& text) { return SCR::getStrLenUtf8(exactCString(text).data()); }

Windows windows(const std::string& text, int total, std::vector<unsigned int> offsets, int length) {
  return SCR::get_utf8_substr(exactCString(text).data(), total, std::move(offsets), length);
}

// The single form's result, or "<null>".
std::string single(const char* text, int total, int start, int length) {
  std::unique_ptr<char[]> copy(SCR::get_utf8_substr(text, total, start, length));
  return copy ? std::string(copy.get()) : std::string("<null>");
}

TEST(Utf8Test, CountsCharactersByLeadByteAlone) {
  struct Case {
    const char* name;
    std::string text;
    int chars;
  };
  const Case cases[] = {
      {"ascii", "abc", 3},
      {"two-byte letter", "h\xC3\xA9llo", 5},
      {"lead swallows the next letter", "\xC3\x41", 1},
      {"lone three-byte lead", "\xE4", 1},
      {"continuation out of place", "a\x80\x62", 2},
      {"FF leads four bytes", "\xFFxyz", 1},
      {"F8 leads four bytes, not five", "\xF8wxyz", 2},
      {"four-byte sequence", "\xF0\x9F\x98\x80!", 2},
      {"continuations only", "\x80\x81\xBF", 0},
      {"lead cut off by the end", "ab\xF0\x9F", 3},
      {"empty", "", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(count(c.text), c.chars) << c.name;
}

TEST(Utf8Test, CountEndsAtNulAndAcceptsNull) {
  EXPECT_EQ(SCR::getStrLenUtf8(nullptr), 0);
  EXPECT_EQ(count(std::string("ab\0cd", 5)), 2);
  EXPECT_EQ(count(std::string("a\xF0\0bcd", 6)), 2);  // the lead's bytes stop at the NUL
}

TEST(Utf8Test, WindowListCutsWindowsInOffsetOrder) {
  struct Case {
    const char* name;
    std::string text;
    int total;
    std::vector<unsigned int> offsets;
    int length;
    Windows expected;
  };
  const std::string ten = "abcdefghij";
  const Case cases[] = {
      {"last window clipped by total", ten, 10, {0, 5, 8}, 4, {"abcd", "fghi", "ij"}},
      {"offset past total ends the list", ten, 10, {0, 12, 2}, 4, {"abcd"}},
      {"offset equal to total ends the list", ten, 10, {10, 0}, 4, {}},
      {"repeated offset repeats its window", ten, 10, {3, 3}, 4, {"defg", "defg"}},
      {"offsets kept in the order given", ten, 10, {7, 2}, 3, {"hij", "cde"}},
      {"length zero cuts nothing", ten, 10, {0, 5}, 0, {}},
      {"negative length cuts nothing", ten, 10, {1, 2}, -1, {}},
      {"huge length clipped by total", ten, 10, {6}, INT_MAX, {"ghij"}},
      {"huge offset ends the list", ten, 10, {UINT_MAX}, 4, {}},
      {"total below the text's count clips", ten, 3, {0}, 5, {"abc"}},
      {"total above the text's count: text ends first", "abc", 5, {0}, 5, {}},
      {"no offsets", ten, 10, {}, 4, {}},
      {"empty text", "", 0, {0}, 1, {}},
      {"window starts on a lead byte", "x\xC3\xA9yz", 4, {1}, 2, {"\xC3\xA9y"}},
      {"lone lead is a whole window", "\xE4", 1, {0}, 1, {"\xE4"}},
      {"inner stray continuation belongs to the window", "a\x80\x62", 2, {0}, 2, {"a\x80\x62"}},
      {"leading stray continuation is left out", "a\x80\x62", 2, {1}, 1, {"b"}},
      {"trailing stray continuation is left out", "a\x80", 1, {0}, 1, {"a"}},
      {"cut-off lead ends with the text", "ab\xE4", 3, {1}, 5, {"b\xE4"}},
  };
  for (const Case& c : cases) EXPECT_EQ(windows(c.text, c.total, c.offsets, c.length), c.expected) << c.name;
}

TEST(Utf8Test, WindowListAcceptsNullText) {
  EXPECT_TRUE(SCR::get_utf8_substr(nullptr, 10, std::vector<unsigned int>{0}, 4).empty());
}

TEST(Utf8Test, SingleWindowCopiesClippedRange) {
  struct Case {
    const char* name;
    int start;
    int length;
    std::string expected;
  };
  const char* word = "h\xC3\xA9llo";  // five characters
  const Case cases[] = {
      {"inside", 1, 2, "\xC3\xA9l"},
      {"clipped by total", 3, 10, "lo"},
      {"zero length on a character", 4, 0, ""},
      {"start at total", 5, 1, "<null>"},
      {"start past total", 6, 1, "<null>"},
      {"negative start", -1, 2, "<null>"},
      {"negative length", 1, -1, "<null>"},
  };
  for (const Case& c : cases) EXPECT_EQ(single(word, 5, c.start, c.length), c.expected) << c.name;
  EXPECT_EQ(single(nullptr, 5, 0, 1), "<null>");
  EXPECT_EQ(single("", 0, 0, 1), "<null>");
  EXPECT_EQ(single("abc", 3, 0, INT_MAX), "abc");
}

TEST(Utf8Test, SubstrZeroSkipsWindowsOutsideTheText) {
  const std::vector<char> ten = exactCString("abcdefghij");
  EXPECT_EQ(SCR::get_utf8_substr0(ten.data(), 10, {0, 12, 8, -1, 3}, 4), (Windows{"abcd", "ij", "defg"}));
  EXPECT_EQ(SCR::get_utf8_substr0(ten.data(), 10, {10, 2}, 3), (Windows{"cde"}));
  EXPECT_TRUE(SCR::get_utf8_substr0(ten.data(), 10, {}, 4).empty());
  EXPECT_TRUE(SCR::get_utf8_substr0(nullptr, 10, {0}, 4).empty());
  EXPECT_EQ(SCR::get_utf8_substr0("x\xC3\xA9yz", 4, {1}, 2), (Windows{"\xC3\xA9y"}));
}

TEST(Utf8Test, PositionIsByteLengthOfFirstCharacters) {
  struct Case {
    const char* name;
    std::string text;
    int n;
    int bytes;
  };
  const Case cases[] = {
      {"none", "h\xC3\xA9llo", 0, 0},
      {"one", "h\xC3\xA9llo", 1, 1},
      {"after a two-byte character", "h\xC3\xA9llo", 2, 3},
      {"all", "h\xC3\xA9llo", 5, 6},
      {"more than the text has", "h\xC3\xA9llo", 9, 6},
      {"leading stray continuations", "\x80\x80xy", 1, 3},
      {"cut-off lead", "a\xE4", 2, 2},
      {"empty text", "", 3, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(SCR::get_utf8_pos(exactCString(c.text).data(), c.n), c.bytes) << c.name;
  EXPECT_EQ(SCR::get_utf8_pos(nullptr, 3), 0);
}

TEST(Utf8Test, WideConversionDecodesUtf8) {
  EXPECT_EQ(utf8_to_wstr(""), L"");
  EXPECT_EQ(utf8_to_wstr("h\xC3\xA9"), L"h\u00E9");
  EXPECT_EQ(utf8_to_wstr("\xE4\xB8\xAD"), L"\u4E2D");
  EXPECT_EQ(utf8_to_wstr("\xF0\x9F\x98\x80"), std::wstring(1, static_cast<wchar_t>(0x1F600)));
}

TEST(Utf8Test, WideConversionRejectsMalformedText) {
  const std::string malformed[] = {
      "\xC3\x28",          // lead followed by a byte that cannot continue it
      "\x80",              // continuation out of place
      "\xC3\x41",          // lead followed by a letter
      "\xF4\x90\x80\x80",  // beyond U+10FFFF
      "ok\xFF",            // no such lead byte
      "ab\xC3",            // sequences cut off by the end of the text
      "\xE4\xB8",
      "\xF0\x9F\x98",
  };
  for (const std::string& text : malformed) {
    try {
      utf8_to_wstr(text);
      ADD_FAILURE() << "decoded " << testing::PrintToString(text);
    } catch (const std::range_error& e) {
      EXPECT_STREQ(e.what(), "wstring_convert::from_bytes");
    }
  }
}

}  // namespace
