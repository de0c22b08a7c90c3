// Batch extraction: refusal of short texts, the choice of strategy, the three strategies and the
// blanking of digit batches.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "QuorvelDetail.h"
#include "utils.h"

namespace {

using Batches = std::vector<std::string>;
// (offset, length) in characters of an expected window.
using Spans = std::vector<std::pair<size_t, size_t>>;

// n pseudo-random letters and blanks, no digits, so that a window of some hundred characters occurs
// at one place only and can be located in the text. Not drawn from rand(), which the tests seed.
std::string letters(size_t n, unsigned seed = 1) {
  std::string text;
  text.reserve(n);
  unsigned state = seed;
  for (size_t i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    const unsigned pick = (state >> 16) % 27;
    text.push_back(pick == 26 ? ' ' : static_cast<char>('a' + pick));
  }
  return text;
}

std::string repeat(const std::string& unit, size_t times) {
  std::string text;
  text.reserve(unit.size() * times);
  for (size_t i = 0; i < times; ++i) text += unit;
  return text;
}

Batches windowsOf(const std::string& text, const Spans& spans) {
  Batches batches;
  for (const auto& span : spans) batches.push_back(text.substr(span.first, span.second));
  return batches;
}

struct Outcome {
  int result = -1;
  int effectiveMode = -7;  // a value get_batch_string never writes
  int sampleNums = 0;
  Batches batches;
};

Outcome batch(std::string text, int mode, int batchLen = 500, int sampleNums = 5, Batches initial = {}) {
  Outcome out;
  out.sampleNums = sampleNums;
  out.batches = std::move(initial);
  out.result = get_batch_string(&text, mode, batchLen, &out.sampleNums, &out.effectiveMode, &out.batches);
  return out;
}

TEST(BatchTest, RefusesTextsUnderFiftyCharactersUntouched) {
  const std::string shortTexts[] = {
      "", letters(49), repeat("\xC3\xA9", 49),           // 98 bytes, 49 characters
      letters(10) + std::string(1, '\0') + letters(60),  // the text ends at its NUL
  };
  for (const std::string& text : shortTexts) {
    for (int mode : {0, 1, 2, 7, -1}) {
      const Outcome out = batch(text, mode, 500, 5, {"kept"});
      EXPECT_EQ(out.result, 0) << text.size() << " bytes, mode " << mode;
      EXPECT_EQ(out.effectiveMode, -7);
      EXPECT_EQ(out.sampleNums, 5);
      EXPECT_EQ(out.batches, Batches{"kept"});
    }
  }
}

TEST(BatchTest, FiftyCharactersMakeOneWholeBatch) {
  const std::string text = letters(50);
  const Outcome out = batch(text, 0);
  EXPECT_EQ(out.result, 1);
  EXPECT_EQ(out.effectiveMode, 0);
  EXPECT_EQ(out.batches, Batches{text});
  EXPECT_EQ(batch(repeat("\xC3\xA9", 50), 0).batches, Batches{repeat("\xC3\xA9", 50)});
}

TEST(BatchTest, AutomaticChoiceUsesByteLength) {
  struct Case {
    std::string text;
    int batchLen;
    int mode;
  };
  const Case cases[] = {
      {letters(999), 500, 0},  {letters(1000), 500, 1},
      {letters(2499), 500, 1}, {letters(2500), 500, 2},
      {letters(199), 100, 0},  {letters(200), 100, 1},
      {letters(500), 100, 2},  {repeat("\xC3\xA9", 600), 500, 1},  // 600 characters but 1200 bytes
  };
  for (const Case& c : cases) {
    for (int requested : {3, -1, 100, INT_MIN}) {
      const Outcome out = batch(c.text, requested, c.batchLen);
      EXPECT_EQ(out.result, 1);
      EXPECT_EQ(out.effectiveMode, c.mode) << c.text.size() << " bytes, batchLen " << c.batchLen;
    }
  }
}

TEST(BatchTest, RequestedModeIsUsedWhateverTheLength) {
  for (int mode : {0, 1, 2}) EXPECT_EQ(batch(letters(3000), mode).effectiveMode, mode);
}

TEST(BatchTest, FullModeCutsEvery250Characters) {
  struct Case {
    size_t chars;
    int batchLen;
    Spans spans;
  };
  const Case cases[] = {
      {500, 500, {{0, 500}}},
      {501, 500, {{0, 500}, {250, 251}}},
      {1100, 500, {{0, 500}, {250, 500}, {500, 500}, {750, 350}}},
      {255, 600, {{0, 255}}},
      {1000, 100, {{0, 100}, {250, 100}, {500, 100}, {750, 100}}},
      {250, 100, {{0, 100}}},
  };
  for (const Case& c : cases) {
    const std::string text = letters(c.chars);
    const Outcome out = batch(text, 0, c.batchLen, 5, {"replaced"});
    EXPECT_EQ(out.effectiveMode, 0);
    EXPECT_EQ(out.batches, windowsOf(text, c.spans)) << c.chars << " characters, batchLen " << c.batchLen;
  }
}

TEST(BatchTest, FullModeCountsCharactersNotBytes) {
  std::string text = repeat("\xC3\xA9", 260);  // 260 characters, 520 bytes
  Batches batches;
  SCR::get_full(&text, 200, &batches);
  EXPECT_EQ(batches, (Batches{text.substr(0, 400), text.substr(500)}));
}

TEST(BatchTest, BeginAndEndTakesFirstAndLastWindow) {
  const std::string t300 = letters(300), t500 = letters(500), t800 = letters(800);
  EXPECT_EQ(batch(t300, 1).batches, (Batches{t300, t300}));
  EXPECT_EQ(batch(t500, 1).batches, (Batches{t500, t500}));
  EXPECT_EQ(batch(t800, 1).batches, (Batches{t800.substr(0, 500), t800.substr(300)}));

  // A text shorter than the window is appended twice after what the list held; otherwise the list
  // becomes the two windows.
  std::string text = t300;
  Batches batches{"held"};
  SCR::get_begin_and_end(&text, 500, &batches);
  EXPECT_EQ(batches, (Batches{"held", t300, t300}));
  text = t800;
  SCR::get_begin_and_end(&text, 500, &batches);
  EXPECT_EQ(batches, (Batches{t800.substr(0, 500), t800.substr(300)}));
}

TEST(BatchTest, SampleModeDrawsStartsInOrderAndInRange) {
  const std::string text = letters(1200);
  for (unsigned seed : {1u, 7u, 12345u, 99999u}) {
    srand(seed);  // each sample starts where the next draw from [0, characters - batchLen) says
    const unsigned expectedStarts[] = {SCR::get_random_int(0, 700), SCR::get_random_int(0, 700)};
    srand(seed);
    const Outcome out = batch(text, 2);
    EXPECT_EQ(out.sampleNums, 2);
    ASSERT_EQ(out.batches.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(out.batches[i], text.substr(expectedStarts[i], 500)) << "seed " << seed << ", sample " << i;
      const size_t start = text.find(out.batches[i]);
      EXPECT_LE(start, 699u);  // no sample reaches the last character
    }
  }
}

TEST(BatchTest, SampleModeLowersSampleNumsToWholeWindows) {
  struct Case {
    size_t chars;
    int sampleNums;
    int storedSampleNums;
    size_t batches;
  };
  const Case cases[] = {
      {1200, 5, 2, 2}, {1200, 1, 1, 1}, {2600, 5, 5, 5}, {300, 5, 0, 0}, {1200, 0, 0, 0}, {1200, -3, -3, 0},
  };
  for (const Case& c : cases) {
    const Outcome out = batch(letters(c.chars), 2, 500, c.sampleNums, {"replaced"});
    EXPECT_EQ(out.result, 1);
    EXPECT_EQ(out.sampleNums, c.storedSampleNums) << c.chars << " characters, sampleNums " << c.sampleNums;
    EXPECT_EQ(out.batches.size(), c.batches);
    for (const std::string& b : out.batches) EXPECT_EQ(b.size(), 500u);
  }
}

TEST(BatchTest, SampleModeWithOneWholeWindowDrawsNothing) {
  const std::string text = letters(500);
  srand(42);
  const int firstDraw = rand();
  srand(42);
  const Outcome out = batch(text, 2);
  EXPECT_EQ(out.sampleNums, 1);
  EXPECT_EQ(out.batches, Batches{text});
  EXPECT_EQ(rand(), firstDraw);
}

TEST(BatchTest, DigitBatchesAreBlankedInPlace) {
  const std::string noDigits = letters(500);
  std::string with200 = noDigits, with199 = noDigits;
  for (size_t i = 0; i < 200; ++i) with200[i * 2] = '7';
  for (size_t i = 0; i < 199; ++i) with199[i * 2] = '7';
  EXPECT_EQ(batch(with200, 0).batches, Batches{""});
  EXPECT_EQ(batch(with199, 0).batches, Batches{with199});

  // Only the first window holds digits; the second keeps its place and its text.
  std::string t800 = letters(800);
  for (size_t i = 0; i < 200; ++i) t800[i] = static_cast<char>('0' + i % 10);
  EXPECT_EQ(batch(t800, 1).batches, (Batches{"", t800.substr(300)}));

  // The share is of bytes: 40 digits among 60 two-byte letters are 25 % of the batch.
  const std::string wide = repeat("1", 40) + repeat("\xC3\xA9", 60);
  EXPECT_EQ(batch(wide, 0, 100).batches, Batches{wide});
  const std::string narrow = repeat("1", 40) + repeat("x", 60);
  EXPECT_EQ(batch(narrow, 0, 100).batches, Batches{""});
}

TEST(BatchTest, ZeroBatchLenGivesNoBatch) {
  for (int mode : {0, 1, 2, 7}) {
    const Outcome out = batch(letters(100), mode, 0, 5, {"replaced"});
    EXPECT_EQ(out.result, 1) << "mode " << mode;
    EXPECT_TRUE(out.batches.empty()) << "mode " << mode;
  }
}

TEST(BatchTest, NegativeBatchLenGivesNoBatch) {
  const std::string texts[] = {letters(100), letters(3000), repeat("\xE4\xB8\xAD", 120)};
  for (const std::string& text : texts) {
    for (int batchLen : {-1, -250, -500, INT_MIN + 1, INT_MIN}) {
      for (int mode : {0, 1, 2, 7}) {
        const Outcome out = batch(text, mode, batchLen, 5, {"replaced"});
        EXPECT_EQ(out.result, 1);
        EXPECT_TRUE(out.batches.empty()) << text.size() << " bytes, batchLen " << batchLen << ", mode " << mode;
      }
    }
  }
}

TEST(BatchTest, HugeBatchLenTakesWholeText) {
  const std::string text = letters(1000);
  for (int batchLen : {INT_MAX, INT_MAX - 1, INT_MAX / 2 + 1, INT_MAX / 5 + 1, 1 << 30}) {
    EXPECT_EQ(batch(text, 0, batchLen).batches, Batches{text}) << batchLen;
    EXPECT_EQ(batch(text, 1, batchLen).batches, (Batches{text, text})) << batchLen;
    const Outcome sampled = batch(text, 2, batchLen);
    EXPECT_EQ(sampled.sampleNums, 0);
    EXPECT_TRUE(sampled.batches.empty());

    // Whatever the automatic choice makes of bounds beyond 32 bits, every batch is the whole text.
  }
  // The automatic choice compares the length with 2 and 5 times batchLen wrapped to 32 bits: for
  // INT_MAX, INT_MAX - 1 and 1 << 30 the double wraps negative and the fivefold stays above 1000.
  for (const auto& [batchLen, mode] : {std::pair{INT_MAX, 1}, {INT_MAX - 1, 1}, {1 << 30, 1}, {INT_MAX / 5 + 1, 0}}) {
    const Outcome out = batch(text, -1, batchLen);
    EXPECT_EQ(out.effectiveMode, mode) << batchLen;
    EXPECT_EQ(out.batches, mode == 0 ? Batches{text} : (Batches{text, text})) << batchLen;
  }
}

TEST(BatchTest, RandomIntLiesFromLowToBelowHigh) {
  struct Case {
    unsigned low, high;
  };
  const Case cases[] = {{0, 700}, {5, 6}, {10, 14}, {0, UINT_MAX}, {1000, 1000000}};
  for (const Case& c : cases) {
    std::vector<bool> seen(std::min(c.high - c.low, 64u), false);
    srand(3);
    std::vector<unsigned> fromZero;
    for (int i = 0; i < 200; ++i) fromZero.push_back(SCR::get_random_int(0, c.high - c.low));
    srand(3);
    for (int i = 0; i < 200; ++i) {
      const unsigned value = SCR::get_random_int(c.low, c.high);
      EXPECT_GE(value, c.low);
      EXPECT_LT(value, c.high);
      EXPECT_EQ(value - c.low, fromZero[i]) << "the range is shifted, not cut";
      if (value - c.low < seen.size()) seen[value - c.low] = true;
    }
    if (c.high - c.low <= 64) {
      for (size_t k = 0; k < seen.size(); ++k) EXPECT_TRUE(seen[k]) << c.low << " + " << k << " never drawn";
    }
  }
  srand(11);  // one draw per call, none for equal bounds: rand() then gives the generator's second value
  rand();
  const int secondDraw = rand();
  srand(11);
  EXPECT_EQ(SCR::get_random_int(17, 17), 17u);
  SCR::get_random_int(0, 700);
  EXPECT_EQ(rand(), secondDraw);
}

TEST(BatchTest, SignedRandomIntWrapsInThirtyTwoBits) {
  srand(5);
  for (int i = 0; i < 200; ++i) {
    const int value = get_random_int(-10, 10);
    EXPECT_GE(value, -10);
    EXPECT_LT(value, 10);
  }
  for (int i = 0; i < 200; ++i) {
    const int value = get_random_int(5, 1);  // the remainder of a negative divisor is not negative
    EXPECT_GE(value, 5);
    EXPECT_LE(value, 8);
  }
  EXPECT_EQ(get_random_int(4, 4), 4);
  EXPECT_EQ(get_random_int(INT_MIN, INT_MAX), INT_MIN);  // the span wraps to -1
  srand(6);
  const unsigned draw = static_cast<unsigned>(rand() % 10);
  srand(6);
  // INT_MAX plus the draw wraps round to the most negative values instead of overflowing.
  EXPECT_EQ(get_random_int(INT_MAX, INT_MAX - 10), static_cast<int>(static_cast<unsigned>(INT_MAX) + draw));
}

TEST(BatchTest, FiftyMegabyteTextIsCleanedAndBatched) {
  // Ends in a line break and holds only whole UTF-8 sequences, so cleaning the repeated unit gives
  // the cleaned unit repeated.
  const std::string unit =
      "\tfor (int i = 0; i < n; ++i) {  // \xE6\xB3\xA8\xE9\x87\x8A\r\n"
      "\t\ttotal += values[i] * 3;\r\n"
      "\t}\r\n"
      "    printf(\"caf\xC3\xA9 %d\\n\", total);\n"
      "\n";
  const size_t repeats = (size_t{50} << 20) / unit.size() + 1;
  std::string cleaned, cleanedUnit;
  SCR::clean_text(repeat(unit, repeats), &cleaned);
  SCR::clean_text(unit, &cleanedUnit);
  ASSERT_EQ(cleaned.size(), cleanedUnit.size() * repeats);
  ASSERT_EQ(cleaned, repeat(cleanedUnit, repeats));

  const size_t chars = cleaned.size();
  const Outcome full = batch(cleaned, 0);
  const size_t windows = static_cast<size_t>(std::ceil((chars - 500) / 250.0)) + 1;
  ASSERT_EQ(full.batches.size(), windows);
  EXPECT_EQ(full.batches.front(), cleaned.substr(0, 500));
  EXPECT_EQ(full.batches.back(), cleaned.substr(250 * (windows - 1)));
  for (size_t i = 0; i + 1 < windows; ++i) ASSERT_EQ(full.batches[i].size(), 500u) << "window " << i;

  EXPECT_EQ(batch(cleaned, 1).batches, (Batches{cleaned.substr(0, 500), cleaned.substr(chars - 500)}));

  srand(11);
  std::vector<size_t> starts;
  for (int i = 0; i < 5; ++i) starts.push_back(SCR::get_random_int(0, static_cast<unsigned>(chars - 500)));
  srand(11);
  const Outcome sampled = batch(cleaned, -1);
  EXPECT_EQ(sampled.effectiveMode, 2);
  EXPECT_EQ(sampled.sampleNums, 5);
  ASSERT_EQ(sampled.batches.size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_EQ(sampled.batches[i], cleaned.substr(starts[i], 500)) << "sample " << i;
}

}  // namespace
