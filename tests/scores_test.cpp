// Score post-processing: probabilities, ranking, formatting, and the decision taken from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "QuorvelDetail.h"

namespace {

using Floats = std::vector<float>;
using Ranking = std::vector<size_t>;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(ScoresTest, SoftmaxGivesFiniteProbabilities) {
  struct Case {
    const char* name;
    Floats scores;
    Floats expected;
  };
  const Case cases[] = {
      {"two zeros", {0, 0}, {0.5f, 0.5f}},
      {"large gap underflows without overflow", {1000, 0}, {1, 0}},
      {"largest not first", {0, 1000}, {0, 1}},
      {"single value", {5}, {1}},
      {"all zeros", {0, 0, 0, 0}, {0.25f, 0.25f, 0.25f, 0.25f}},
      {"known values", {1, 2, 3}, {0.09003057f, 0.24472847f, 0.66524096f}},
      {"shifted by 1000", {1001, 1002, 1003}, {0.09003057f, 0.24472847f, 0.66524096f}},
      {"very negative", {-1000, -1000}, {0.5f, 0.5f}},
      {"empty", {}, {}},
  };
  for (const Case& c : cases) {
    const Floats p = softmax(c.scores);
    ASSERT_EQ(p.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < p.size(); ++i) EXPECT_NEAR(p[i], c.expected[i], 1e-6) << c.name << ", entry " << i;
  }
}

TEST(ScoresTest, SortIndexesRanksDescending) {
  struct Case {
    Floats values;
    Ranking expected;
  };
  const Case cases[] = {
      {{0.1f, 0.7f, 0.2f}, {1, 2, 0}}, {{-1, -3, -2}, {0, 2, 1}}, {{kInf, 0, -kInf}, {0, 1, 2}}, {{3}, {0}}, {{}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(sort_indexes(c.values), c.expected) << testing::PrintToString(c.values);
}

TEST(ScoresTest, SortIndexesRanksNaNLast) {
  const Floats few = {0.5f, kNaN, 0.9f, kNaN, 0.1f};
  const Ranking ranking = sort_indexes(few);
  ASSERT_EQ(ranking.size(), 5u);
  EXPECT_EQ(Ranking(ranking.begin(), ranking.begin() + 3), (Ranking{2, 0, 4}));
  EXPECT_TRUE(std::isnan(few[ranking[3]]) && std::isnan(few[ranking[4]]));

  // Enough values for introsort's unguarded partitions, which an inconsistent comparison sends past
  // the end of the vector.
  Floats many;
  for (int i = 0; i < 1000; ++i) many.push_back(i % 3 == 0 ? kNaN : static_cast<float>((i * 37) % 101));
  const Ranking order = sort_indexes(many);
  Ranking sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 0; i < sorted.size(); ++i) ASSERT_EQ(sorted[i], i) << "not a permutation";
  const size_t numbers = 1000 - 334;
  for (size_t place = 0; place < order.size(); ++place) {
    EXPECT_EQ(std::isnan(many[order[place]]), place >= numbers) << "place " << place;
    if (place > 0 && place < numbers) {
      EXPECT_GE(many[order[place - 1]], many[order[place]]) << "place " << place;
    }
  }
}

TEST(ScoresTest, SetHighestNToOneMarksTopN) {
  struct Case {
    int n;
    Floats expected;
  };
  const Case cases[] = {
      {2, {0, 1, 1}}, {1, {0, 1, 0}}, {0, {0, 0, 0}}, {5, {1, 1, 1}}, {-1, {0, 0, 0}},
  };
  for (const Case& c : cases) {
    Floats values = {0.1f, 0.7f, 0.2f};
    SetHighestNToOne(values, c.n);
    EXPECT_EQ(values, c.expected) << "n = " << c.n;
  }
  Floats empty;
  SetHighestNToOne(empty, 3);
  EXPECT_TRUE(empty.empty());
}

TEST(ScoresTest, Float2StringHasSixDecimals) {
  struct Case {
    float value;
    const char* text;
  };
  const Case cases[] = {
      {100.0f, "100.000000"},
      {0.0f, "0.000000"},
      {0.4375f * 100.0f, "43.750000"},
      {0.123456789f * 100.0f, "12.345679"},
      {-1.5f, "-1.500000"},
      {FLT_MAX, "340282346638528859811704183484516925440.000000"},
      {-FLT_MAX, "-340282346638528859811704183484516925440.000000"},
      {kInf, "inf"},
  };
  for (const Case& c : cases) EXPECT_EQ(float2string(c.value), c.text);
}

struct DecideCase {
  const char* name;
  Floats probabilities;
  std::string result;
  std::string detail;
  bool lowConfidence;
};

void PrintTo(const DecideCase& c, std::ostream* os) { *os << c.name; }

class ScoresDecideTest : public testing::TestWithParam<DecideCase> {};

TEST_P(ScoresDecideTest, AnswersFromTheRanking) {
  const DecideCase& c = GetParam();
  const std::vector<std::string> names = {"Alpha", "Beta", "Gamma", "Delta", "Epsilon"};
  const std::vector<std::string> used(names.begin(), names.begin() + c.probabilities.size());
  const quorvel::Decision d = quorvel::decide(c.probabilities, sort_indexes(c.probabilities), used);
  EXPECT_EQ(d.result, c.result);
  EXPECT_EQ(d.detail, c.detail);
  EXPECT_EQ(d.lowConfidence, c.lowConfidence);
}

INSTANTIATE_TEST_SUITE_P(
    ScoresTest, ScoresDecideTest,
    testing::Values(
        DecideCase{"two within reach",
                   {0.4375f, 0.5f, 0.046875f, 0.015625f},
                   "Beta; Alpha; ",
                   "Beta: 50.000000%; Alpha: 43.750000%; ",
                   false},
        DecideCase{"low confidence answers the last class",
                   {0.3125f, 0.375f, 0.25f, 0.0625f},
                   "Delta",
                   "Beta: 37.500000%; ",
                   true},
        DecideCase{"each within reach of the one before",
                   {0.25f, 0.41f, 0.01f, 0.33f},
                   "Beta; Delta; Alpha; ",
                   "Beta: 41.000000%; Delta: 33.000000%; Alpha: 25.000000%; ",
                   false},
        DecideCase{"first only", {0.30f, 0.25f, 0.45f}, "Gamma; ", "Gamma: 45.000000%; ", false},
        DecideCase{"an unlisted class leaves the reference",
                   {0.42f, 0.31f, 0.25f, 0.02f},
                   "Alpha; ",
                   "Alpha: 42.000000%; ",
                   false},
        DecideCase{"top 0.39", {0.39f, 0.38f, 0.23f}, "Gamma", "Alpha: 39.000000%; ", true},
        DecideCase{"top exactly 0.4 is confident", {0.4f, 0.2f, 0.2f, 0.2f}, "Alpha; ", "Alpha: 40.000000%; ", false},
        DecideCase{"no more than three places",
                   {0.4f, 0.31f, 0.22f, 0.13f, 0.04f},
                   "Alpha; Beta; Gamma; ",
                   "Alpha: 40.000000%; Beta: 31.000000%; Gamma: 22.000000%; ",
                   false},
        DecideCase{"single class", {1.0f}, "Alpha; ", "Alpha: 100.000000%; ", false}),
    [](const testing::TestParamInfo<DecideCase>& info) {
      std::string name = info.param.name;
      std::replace_if(
          name.begin(), name.end(), [](char ch) { return !std::isalnum(static_cast<unsigned char>(ch)); }, '_');
      return name;
    });

TEST(ScoresTest, DetailTextListsRankingInOrder) {
  const Floats p = {0.4375f, 0.5f, 0.046875f, 0.015625f};
  const std::vector<std::string> names = {"Alpha", "Beta", "Gamma", "Delta"};
  const std::string all = "Beta: 50.000000%; Alpha: 43.750000%; Gamma: 4.687500%; Delta: 1.562500%; ";
  EXPECT_EQ(quorvel::detailText(p, sort_indexes(p), names, 4), all);
  EXPECT_EQ(quorvel::detailText(p, sort_indexes(p), names, 10), all);
  EXPECT_EQ(quorvel::detailText(p, sort_indexes(p), names, 1), "Beta: 50.000000%; ");
  EXPECT_EQ(quorvel::detailText(p, sort_indexes(p), names, 0), "");
}

}  // namespace
