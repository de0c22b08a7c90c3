// The host's parse calls: which mode a text gets, and that windows drawn from rand() follow from the
// text alone.
#include "repeatable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

namespace {

// Stands in for QuorvelParse in mode 2: the "answer" is the window positions it draws.
int drawingParse(const std::string& text, int mode, std::string& result, int, int samples) {
  result = std::to_string(mode) + ":";
  for (int i = 0; i < samples; ++i) {
    result += std::to_string(rand() % 1000) + ",";
    std::this_thread::yield();  // gives other threads the chance to draw in between
  }
  return text.empty() ? 0 : 1;
}

host::Options forcedMode(int mode) {
  host::Options o;
  o.mode = mode;
  o.modeGiven = true;
  return o;
}

TEST(RepeatableParseTest, WholeTextUpTo64KiloBytesUnlessAModeIsGiven) {
  host::Options o;
  EXPECT_EQ(host::modeFor(o, 0), 0);
  EXPECT_EQ(host::modeFor(o, 65536), 0);
  EXPECT_EQ(host::modeFor(o, 65537), -1);
  EXPECT_EQ(host::modeFor(forcedMode(1), 10), 1);
  EXPECT_EQ(host::modeFor(forcedMode(-1), 10), -1);
  EXPECT_EQ(host::modeFor(forcedMode(7), 1 << 20), 7);
}

TEST(RepeatableParseTest, OnlyModeTwoAndLongAutomaticTextsDrawWindows) {
  EXPECT_TRUE(host::mayDrawWindows(2, 500, 10));
  EXPECT_FALSE(host::mayDrawWindows(0, 500, 1 << 20));
  EXPECT_FALSE(host::mayDrawWindows(1, 500, 1 << 20));
  EXPECT_FALSE(host::mayDrawWindows(-1, 500, 2499));
  EXPECT_TRUE(host::mayDrawWindows(-1, 500, 2500));
  EXPECT_TRUE(host::mayDrawWindows(9, 100, 500));
  EXPECT_FALSE(host::mayDrawWindows(9, 100, 499));
  EXPECT_TRUE(host::mayDrawWindows(-1, -1, 2500));  // -1 is the library's 500
}

TEST(RepeatableParseTest, DrawnWindowsDependOnTheTextNotOnEarlierDraws) {
  const host::Options o = forcedMode(2);
  std::string first, again, other;
  host::parseRepeatably(drawingParse, "some long text", o, first);
  for (int i = 0; i < 17; ++i) rand();  // what other parts of the process may have drawn
  host::parseRepeatably(drawingParse, "another text", o, other);
  host::parseRepeatably(drawingParse, "some long text", o, again);
  EXPECT_EQ(first, again);
  EXPECT_NE(first, other);
  EXPECT_EQ(first.substr(0, 2), "2:");
  EXPECT_NE(host::textSeed("ab"), host::textSeed("ba"));
}

TEST(RepeatableParseTest, ConcurrentCallsGetTheAnswersOfASingleThread) {
  const host::Options o = forcedMode(2);
  const std::vector<std::string> texts = {"alpha text", "beta text", "gamma text"};
  std::vector<std::string> alone(texts.size());
  for (size_t t = 0; t < texts.size(); ++t) host::parseRepeatably(drawingParse, texts[t], o, alone[t]);
  std::vector<std::thread> threads;
  std::vector<int> mismatches(4, 0);
  for (int j = 0; j < 4; ++j)
    threads.emplace_back([&, j] {
      for (int i = 0; i < 300; ++i) {
        const size_t t = static_cast<size_t>(i + j) % texts.size();
        std::string result;
        host::parseRepeatably(drawingParse, texts[t], o, result);
        if (result != alone[t]) ++mismatches[j];
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
