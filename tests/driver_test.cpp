// The parse driver end to end, through the stand-in count model: the decision rules, the gates that
// set texts and batches aside, how pieces add up, and the log lines of one call.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "Quorvel.h"
#include "test_support.h"

using namespace testing_support;

namespace {

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    layOutModel(root_.path(), "count_model.onnx", kCountClasses);
    cwd_ = std::make_unique<ScopedCwd>(root_.path());
    ASSERT_EQ(QuorvelInit(), 1);
    log_.clear();
  }
  void TearDown() override { QuorvelRelease(); }

  // Parses with the given mode and batch length; returns the result, the return value in *status.
  std::string parse(const std::string& text, int mode = 0, int batchLen = -1, int* status = nullptr) {
    std::string result = "stale";
    const int rc = QuorvelParse(text, mode, result, batchLen, -1);
    if (status != nullptr) *status = rc;
    return result;
  }

  TempDir root_;
  std::unique_ptr<ScopedCwd> cwd_;
  LogCapture log_;
};

struct DecisionCase {
  const char* name;
  int a, b, c, d;
  const char* expected;
};

void PrintTo(const DecisionCase& c, std::ostream* os) { *os << c.name; }

class DriverDecisionTest : public DriverTest, public ::testing::WithParamInterface<DecisionCase> {};

TEST_P(DriverDecisionTest, AnswersFromSummedScores) {
  const DecisionCase& c = GetParam();
  int status = -1;
  EXPECT_EQ(parse(piece(c.a, c.b, c.c, c.d), 0, -1, &status), c.expected);
  EXPECT_EQ(status, 1);
}

// Probabilities follow from scores 0.1 * count: e.g. 2.9/3.0/0/0 gives .451/.499/.025/.025.
INSTANTIATE_TEST_SUITE_P(Cases, DriverDecisionTest,
                         ::testing::Values(DecisionCase{"ClearWinner", 0, 60, 0, 0, "Beta; "},
                                           DecisionCase{"CloseSecondIsListed", 29, 30, 0, 0, "Beta; Alpha; "},
                                           DecisionCase{"GapStopsTheChain", 36, 32, 30, 0, "Alpha; "},
                                           DecisionCase{"LowConfidenceGivesLastClassAlone", 10, 10, 10, 10, "Delta"},
                                           DecisionCase{"NoScoreAtAllIsDialog", 0, 0, 0, 0, "dialog"}),
                         [](const ::testing::TestParamInfo<DecisionCase>& info) { return info.param.name; });

TEST_F(DriverTest, PieceScoresAreSummedNotAveraged) {
  const std::string one = piece(28, 30, 0, 0);  // alone: .427/.521, both listed
  EXPECT_EQ(parse(one, 0, 1000), "Beta; Alpha; ");
  // One 1000-byte batch in two pieces: summed scores 5.6/6.0 give .400/.597, Beta alone.
  EXPECT_EQ(parse(one + one, 0, 1000), "Beta; ");
  // 1001 bytes make three pieces, the last of one byte, repeated over all 510 rows.
  EXPECT_EQ(parse(piece(0, 60, 0, 0) + piece(0, 60, 0, 0) + "d", 0, 1001), "Delta; ");
}

TEST_F(DriverTest, ShortAndBlankBatchesCountAsOrdinaryText) {
  EXPECT_EQ(parse(std::string(80, 'b')), "dialog");
  EXPECT_EQ(parse(std::string(81, 'b')), "Beta; ");
  const std::string blanks65 = "b" + std::string(65, ' ') + std::string(34, 'b');
  const std::string blanks66 = "b" + std::string(66, ' ') + std::string(33, 'b');
  EXPECT_EQ(parse(blanks65), "Beta; ");
  EXPECT_EQ(parse(blanks66), "dialog");
  // A batch of 40 % digits is blanked by the batching and then set aside.
  EXPECT_EQ(parse(std::string(300, 'b') + std::string(200, '7')), "dialog");
}

TEST_F(DriverTest, SetAsideBatchesLogOneDialogLineEachAndNoDetail) {
  EXPECT_EQ(parse(std::string(80, 'b')), "dialog");
  const auto debug = log_.messages("DEBUG");
  ASSERT_EQ(debug.size(), 1u);
  EXPECT_EQ(debug[0], "No 0, Infer Result: dialog, Code Content:\n" + std::string(80, 'b'));
  const auto info = log_.messages("INFO");
  ASSERT_EQ(info.size(), 2u);
  EXPECT_TRUE(
      std::regex_match(info[1], std::regex(R"(SCR predict result\[Mode: 0\]: dialog, Cost Time: \d+\.\d{3} s\.)")))
      << info[1];
}

TEST_F(DriverTest, TooLittleCodeMaterialIsSetAsideBeforeBatching) {
  const std::string cjk = "\xE4\xB8\xAD";  // one three-byte character, removed by cleaning
  std::string thirty;
  for (int i = 0; i < 30; ++i) thirty += cjk;
  int status = -1;
  // 60 of 150 bytes survive: exactly 40 %, the text goes on (one short batch: dialog).
  EXPECT_EQ(parse(std::string(60, 'b') + thirty, 0, -1, &status), "dialog");
  EXPECT_EQ(status, 1);
  // 59 of 149 is below 40 %: set aside with an empty result.
  log_.clear();
  EXPECT_EQ(parse(std::string(59, 'b') + thirty, 0, -1, &status), "");
  EXPECT_EQ(status, 0);
  const auto info = log_.messages("INFO");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0], "Infer Result: dialog, Code Content:\n" + std::string(59, 'b'));
}

TEST_F(DriverTest, TextsUnderFiftyCharactersAreRefused) {
  int status = -1;
  EXPECT_EQ(parse(std::string(49, 'b'), 1, -1, &status), "");
  EXPECT_EQ(status, 0);
  const auto info = log_.messages("INFO");
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0], "Input Code length is less than 20 characters!\n" + std::string(49, 'b'));
  EXPECT_EQ(parse(std::string(50, 'b'), 1, -1, &status), "dialog");
  EXPECT_EQ(status, 1);
}

TEST_F(DriverTest, LogLinesOfAnInferredCall) {
  EXPECT_EQ(parse(piece(0, 60, 0, 0), 7), "Beta; ");
  const auto records = log_.records();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].level, "INFO");
  EXPECT_EQ(records[0].channel, "TextExtractor_SCR/QUORVEL");
  // The requested mode here, the effective one (automatic choice: 0) in the result line.
  EXPECT_EQ(records[0].message, "Mode 7, Sample Nums: 5(Only used by Mode 2), Total Batch: 1 .");
  EXPECT_EQ(records[1].level, "DEBUG");
  EXPECT_TRUE(std::regex_match(records[1].message,
                               std::regex(R"(No 0, Cost Time: \d+\.\d{3} s, Infer Result: Beta: 99\.26\d{4}%; )"
                                          R"((\w+: 0\.24\d{4}%; ){3}, Code Content:\n)" +
                                          piece(0, 60, 0, 0))))
      << records[1].message;
  EXPECT_EQ(records[2].level, "INFO");
  EXPECT_TRUE(
      std::regex_match(records[2].message,
                       std::regex(R"(SCR predict result\[Mode: 0\]: Beta: 99\.26\d{4}%; , Cost Time: \d+\.\d{3} s\.)")))
      << records[2].message;
}

TEST_F(DriverTest, LowConfidenceLineNamesTheFallbackInParentheses) {
  EXPECT_EQ(parse(piece(10, 10, 10, 10)), "Delta");
  const auto info = log_.messages("INFO");
  ASSERT_EQ(info.size(), 2u);
  EXPECT_TRUE(std::regex_match(
      info[1], std::regex(R"(SCR predict result\[Mode: 0\]: \w+: 25\.000000%;  \(Delta\), Cost Time: \d+\.\d{3} s\.)")))
      << info[1];
}

TEST_F(DriverTest, MinusOneStandsForTheDefaults) {
  std::string text;
  for (int i = 0; i < 6; ++i) text += piece(i * 10, 40, 20, 5);  // 3000 bytes: the automatic choice takes mode 2
  std::string withDefaults, withValues;
  srand(11);
  ASSERT_EQ(QuorvelParse(text, -1, withDefaults, -1, -1), 1);
  const auto first = log_.messages("INFO");
  log_.clear();
  srand(11);
  ASSERT_EQ(QuorvelParse(text, -1, withValues, 500, 5), 1);
  const auto second = log_.messages("INFO");
  EXPECT_EQ(withDefaults, withValues);
  ASSERT_EQ(first.size(), 2u);
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(first[0], "Mode -1, Sample Nums: 5(Only used by Mode 2), Total Batch: 5 .");
  EXPECT_EQ(second[0], "Mode -1, Sample Nums: 5(Only used by Mode 2), Total Batch: 5 .");
  EXPECT_EQ(first[1].substr(0, 28), "SCR predict result[Mode: 2]:");
}

// The caller's text is a mutable string here: a driver that cleaned it in place (through the
// reference) would change it, and a result not emptied first would keep the earlier answer.
TEST_F(DriverTest, ResultIsEmptiedAndCodeLeftUntouched) {
  std::string text = "  " + piece(0, 60, 0, 0) + "\r\n\t\xC3\xA9\n";
  const std::string copy = text;
  std::string result = "previous answer";
  EXPECT_EQ(QuorvelParse(std::string(10, 'b'), 0, result, -1, -1), 0);
  EXPECT_EQ(result, "");
  result = "previous answer";
  EXPECT_EQ(QuorvelParse(text, 0, result, -1, -1), 1);
  EXPECT_EQ(result, "Beta; ");
  EXPECT_EQ(text, copy);
}

TEST_F(DriverTest, ZeroBatchLengthGivesNoBatchAndDialog) {
  int status = -1;
  EXPECT_EQ(parse(piece(0, 60, 0, 0), 1, 0, &status), "dialog");
  EXPECT_EQ(status, 1);
  EXPECT_EQ(parse(piece(0, 60, 0, 0), 1, -7, &status), "dialog");
  EXPECT_EQ(status, 1);
}

}  // namespace
