// The recognizer's life through the entry points: where it finds its data, what a failed load
// leaves, class files of unusual shape, and concurrent parses.
#include <gtest/gtest.h>

#include <cstdio>

#include "Quorvel.h"
#include "SCRNet.h"
#include "concurrent_parse.h"
#include "test_support.h"

using namespace testing_support;

extern SCRNet* g_coderec;

namespace {

class LifecycleTest : public ::testing::Test {
 protected:
  void TearDown() override { QuorvelRelease(); }
  TempDir root_;
  LogCapture log_;
};

bool contains(const std::vector<std::string>& lines, const std::string& wanted) {
  for (const auto& l : lines)
    if (l == wanted) return true;
  return false;
}

TEST_F(LifecycleTest, VersionAndCallsWithoutRecognizer) {
  EXPECT_STREQ(GetQuorvelVersion(), "1.3.2310.18");
  QuorvelRelease();  // no recognizer: nothing happens
  QuorvelRelease();
  std::string result = "stale";
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 0);
  EXPECT_EQ(result, "");
  const auto errors = log_.messages("ERROR");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("no model is loaded"), std::string::npos);
}

TEST_F(LifecycleTest, WorkingDirectoryEndingInBinUsesDataBesideIt) {
  layOutModel(root_.path() + "/opt/app/data", "count_model.onnx", kCountClasses);
  makeDirs(root_.path() + "/opt/app/bin");
  ScopedCwd cwd(root_.path() + "/opt/app/bin");
  ASSERT_EQ(QuorvelInit(), 1);
  const std::string data = root_.path() + "/opt/app/data/models/SCR/";
  const auto info = log_.messages("INFO");
  EXPECT_TRUE(contains(info, "Init Models Success, Path of Recognition Model: " + data + "SCR.onnx ."));
  EXPECT_TRUE(contains(info, "Read Class File Success, Path: " + data + "code.txt ."));
  std::string result;
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 1);
  EXPECT_EQ(result, "Beta; ");
}

TEST_F(LifecycleTest, OnlyAFinalSlashBinCounts) {
  for (const char* dir : {"/bin2", "/opt/Bin", "/opt/app"}) {
    const std::string cwdPath = root_.path() + dir;
    layOutModel(cwdPath, "count_model.onnx", kCountClasses);
    ScopedCwd cwd(cwdPath);
    log_.clear();
    ASSERT_EQ(QuorvelInit(), 1) << dir;
    EXPECT_TRUE(contains(log_.messages("INFO"),
                         "Init Models Success, Path of Recognition Model: " + cwdPath + "/models/SCR/SCR.onnx ."))
        << dir;
    QuorvelRelease();
  }
}

TEST_F(LifecycleTest, MissingModelRaisesAndLeavesARecognizerWithoutModel) {
  ScopedCwd cwd(root_.path());
  EXPECT_THROW(QuorvelInit(), Ort::Exception);
  EXPECT_TRUE(
      contains(log_.messages("WARN"), "Init Models Failed, " + root_.path() + "/models/SCR/SCR.onnx Not Exist!"));
  ASSERT_NE(g_coderec, nullptr);
  EXPECT_EQ(QuorvelInit(), 1);  // installed already: no retry, no exception
  std::string result = "stale";
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 0);
  EXPECT_EQ(result, "");
  // Released, a new init loads again and then succeeds.
  QuorvelRelease();
  EXPECT_EQ(g_coderec, nullptr);
  layOutModel(root_.path(), "count_model.onnx", kCountClasses);
  ASSERT_EQ(QuorvelInit(), 1);
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 1);
  EXPECT_EQ(result, "Beta; ");
}

TEST_F(LifecycleTest, SecondInitLoadsNothing) {
  layOutModel(root_.path(), "count_model.onnx", kCountClasses);
  ScopedCwd cwd(root_.path());
  ASSERT_EQ(QuorvelInit(), 1);
  SCRNet* first = g_coderec;
  log_.clear();
  EXPECT_EQ(QuorvelInit(), 1);
  EXPECT_EQ(g_coderec, first);
  EXPECT_TRUE(log_.records().empty());
  EXPECT_EQ(g_coderec->m_classNum, 4);
}

TEST_F(LifecycleTest, MissingClassFileLoadsWithNoClassesAndAnswersDialog) {
  layOutModel(root_.path(), "count_model.onnx", nullptr);
  ScopedCwd cwd(root_.path());
  ASSERT_EQ(QuorvelInit(), 1);
  EXPECT_TRUE(
      contains(log_.messages("WARN"), "Read Class File Failed, " + root_.path() + "//models/SCR/code.txt Not Exist!"));
  std::string result;
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 1);
  EXPECT_EQ(result, "dialog");
  EXPECT_FALSE(log_.messages("DEBUG").empty());
  EXPECT_EQ(log_.messages("DEBUG").back().substr(0, 22), "No 0, Detect Failed, C");
}

TEST_F(LifecycleTest, ClassNamesKeepTheirCarriageReturn) {
  layOutModel(root_.path(), "count_model.onnx", "Alpha\r\nBeta\r\nGamma\r\nDelta\r\n");
  ScopedCwd cwd(root_.path());
  ASSERT_EQ(QuorvelInit(), 1);
  std::string result;
  EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), 1);
  EXPECT_EQ(result, "Beta\r; ");
}

// Scores are named by position: a class file of another length than the model's output, or a bundle
// that states another alphabet or format version, would give wrong names, so loading refuses it.
TEST_F(LifecycleTest, BundleThatDisagreesWithTheLibraryIsRefused) {
  const std::string alphabet =
      "\"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-,;.!?:'\\\"/\\\\|_@#$%^&*~`+- =<>()[]{}\"";
  const std::string otherAlphabet = "\"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\"";
  struct Case {
    const char* name;
    const char* model;
    const char* classes;
    std::string manifest;  // empty: none
    int init;
    std::string error;  // the start of the one error line
  };
  const std::string dir = root_.path() + "/models/SCR/";
  const Case cases[] = {
      {"facts agree", "count_model.onnx", kCountClasses,
       "{\"format_version\": 1, \"alphabet\": " + alphabet + ", \"classes\": 4}", 1, ""},
      {"more names than outputs", "count_model.onnx", "Alpha\nBeta\nGamma\nDelta\nEpsilon\nZeta\n", "", 0,
       "Class file " + dir + "code.txt lists 6 names, but the model gives 4 outputs; model refused"},
      {"fewer names than outputs", "count_model.onnx", "Alpha\nBeta\nGamma\n", "", 0,
       "Class file " + dir + "code.txt lists 3 names, but the model gives 4 outputs"},
      {"metadata states another format", "future_model.onnx", kCountClasses, "", 0,
       "Model metadata of " + dir + "SCR.onnx: format_version is 2, expected 1; model refused"},
      {"manifest states another alphabet", "count_model.onnx", kCountClasses,
       "{\"format_version\": 1, \"alphabet\": " + otherAlphabet + "}", 0,
       "Manifest " + dir + "manifest.json: alphabet is " + otherAlphabet.substr(1, 62) + ", expected ABC"},
      {"manifest states another format", "count_model.onnx", kCountClasses, "{\"format_version\":2}", 0,
       "Manifest " + dir + "manifest.json: format_version is 2, expected 1"},
  };
  for (const Case& c : cases) {
    std::remove((dir + "manifest.json").c_str());
    layOutModel(root_.path(), c.model, c.classes);
    if (!c.manifest.empty()) writeFile(dir + "manifest.json", c.manifest);
    ScopedCwd cwd(root_.path());
    log_.clear();
    EXPECT_EQ(QuorvelInit(), c.init) << c.name;
    const auto errors = log_.messages("ERROR");
    ASSERT_EQ(errors.size(), c.error.empty() ? 0u : 1u) << c.name << ": " << testing::PrintToString(errors);
    if (!errors.empty()) {
      EXPECT_EQ(errors[0].substr(0, c.error.size()), c.error) << c.name;
    }
    std::string result;
    EXPECT_EQ(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), c.init) << c.name;
    EXPECT_EQ(result, c.init ? "Beta; " : "") << c.name;
    QuorvelRelease();
  }
}

TEST_F(LifecycleTest, ModelWithOtherTensorNamesIsReportedAndFailsAtRunTime) {
  layOutModel(root_.path(), "renamed_model.onnx", kCountClasses);
  ScopedCwd cwd(root_.path());
  ASSERT_EQ(QuorvelInit(), 1);
  const std::string model = root_.path() + "/models/SCR/SCR.onnx";
  const auto warnings = log_.messages("WARN");
  EXPECT_TRUE(contains(warnings, "Model " + model + ": input name is chars, expected feature4"));
  EXPECT_TRUE(contains(warnings, "Model " + model + ": output name is scores, expected de_pred"));
  std::string result;
  EXPECT_THROW(QuorvelParse(piece(0, 60, 0, 0), 0, result, -1, -1), Ort::Exception);
}

TEST_F(LifecycleTest, ConcurrentParsesAgreeWithSequentialOnes) {
  layOutModel(root_.path(), "count_model.onnx", kCountClasses);
  ScopedCwd cwd(root_.path());
  ASSERT_EQ(QuorvelInit(), 1);
  unsetenv("VESKLOG_LEVEL");  // keep the log small: info level
  const std::vector<std::string> texts = {piece(0, 60, 0, 0), piece(29, 30, 0, 0) + piece(35, 33, 30, 0),
                                          piece(10, 10, 10, 10) + piece(0, 0, 5, 9) + piece(1, 2, 3, 4),
                                          std::string(49, 'b')};
  const std::vector<std::string> expected = answersInModes01(texts);
  const std::vector<int> mismatches = concurrentMismatches(texts, expected, 4, 25);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "rounds of thread " << t;
}

}  // namespace
