// The recognizer object on its own: one-hot encoding, inference on one piece, and the file helpers.
#include <gtest/gtest.h>

#include "SCRNet.h"
#include "test_support.h"
#include "utils.h"

using namespace testing_support;

namespace {

constexpr size_t kRows = 510, kCols = 96;

// Column set in each row, -1 for an empty row; fails the test on a row with several columns.
std::vector<int> columnsOf(const std::vector<float>& matrix) {
  std::vector<int> cols(kRows, -1);
  for (size_t r = 0; r < kRows; ++r)
    for (size_t c = 0; c < kCols; ++c) {
      const float v = matrix[r * kCols + c];
      if (v == 0.0f) continue;
      EXPECT_EQ(v, 1.0f);
      EXPECT_EQ(cols[r], -1) << "row " << r << " has two columns";
      cols[r] = static_cast<int>(c);
    }
  return cols;
}

std::vector<int> expectedColumns(const std::string& rowsText) {
  const std::string alphabet(SCR::kAlphabet, SCR::kAlphabetSize);
  std::vector<int> cols(kRows, -1);
  for (size_t r = 0; r < rowsText.size() && r < kRows; ++r) cols[r] = static_cast<int>(alphabet.find(rowsText[r]));
  return cols;
}

class ScrNetTest : public ::testing::Test {
 protected:
  SCRNet net_;
  LogCapture log_;
};

TEST_F(ScrNetTest, ShortPiecesRepeatAndLongOnesAreCut) {
  std::string p500, p100, p600;
  for (int i = 0; i < 500; ++i) p500 += "abcdefghij0123456789"[i % 20];
  for (int i = 0; i < 100; ++i) p100 += "XYZ(){};="[i % 9];
  for (int i = 0; i < 600; ++i) p600 += "qrstuvw"[i % 7];
  std::vector<float> out;
  ASSERT_TRUE(net_.pre_process(p500, &out));
  EXPECT_EQ(out.size(), 48960u);
  EXPECT_EQ(columnsOf(out), expectedColumns(p500 + p500.substr(0, 10)));
  ASSERT_TRUE(net_.pre_process(p100, &out));
  EXPECT_EQ(columnsOf(out), expectedColumns(p100 + p100 + p100 + p100 + p100 + p100));
  ASSERT_TRUE(net_.pre_process(p600, &out));
  EXPECT_EQ(columnsOf(out), expectedColumns(p600));
}

TEST_F(ScrNetTest, HyphenBlankAndForeignBytes) {
  std::vector<float> out;
  ASSERT_TRUE(net_.pre_process(std::string(510, '-'), &out));
  EXPECT_EQ(columnsOf(out), std::vector<int>(kRows, 62));  // never the second hyphen, 85
  ASSERT_TRUE(net_.pre_process(std::string(510, ' '), &out));
  EXPECT_EQ(columnsOf(out), std::vector<int>(kRows, 86));
  // Bytes outside the alphabet take no row: the filled rows are packed from row 0.
  std::string mixed;
  for (int i = 0; i < 255; ++i) mixed += (i % 2 ? "\t" : "a");
  ASSERT_TRUE(net_.pre_process(mixed + mixed, &out));
  std::vector<int> want(kRows, -1);
  for (size_t r = 0; r < 256; ++r) want[r] = 26;  // 128 letters in each half
  EXPECT_EQ(columnsOf(out), want);
}

TEST_F(ScrNetTest, EmptyPieceIsRefusedWithBothLines) {
  std::vector<float> out(3, 7.0f);
  EXPECT_FALSE(net_.pre_process("", &out));
  EXPECT_EQ(out, std::vector<float>(3, 7.0f));
  EXPECT_EQ(log_.messages("DEBUG"), std::vector<std::string>{"No string!"});
}

TEST_F(ScrNetTest, ParseNeedsASessionAndAppendsOneScorePerClass) {
  std::vector<float> scores;
  EXPECT_FALSE(net_.SCRParse(piece(0, 60, 0, 0), &scores));  // no session: nothing runs
  TempDir root;
  layOutModel(root.path(), "count_model.onnx", kCountClasses);
  ScopedCwd cwd(root.path());
  ASSERT_TRUE(net_.initModel(net_.m_modelPath, net_.m_classPath));
  log_.clear();
  EXPECT_FALSE(net_.SCRParse("", &scores));
  EXPECT_EQ(log_.messages("ERROR"), std::vector<std::string>{"Input is NULL\xEF\xBC\x81"
                                                             "error!"});
  EXPECT_TRUE(scores.empty());
  ASSERT_TRUE(net_.SCRParse(piece(5, 10, 15, 20), &scores));
  ASSERT_TRUE(net_.SCRParse(piece(0, 60, 0, 0), &scores));
  ASSERT_EQ(scores.size(), 8u);  // two calls append twice
  const std::vector<float> want = {0.5f, 1.0f, 1.5f, 2.0f, 0.0f, 6.0f, 0.0f, 0.0f};
  for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(scores[i], want[i], 1e-5) << i;
  // With no class names the run succeeds and appends nothing.
  net_.m_classNum = 0;
  scores.clear();
  EXPECT_TRUE(net_.SCRParse(piece(0, 60, 0, 0), &scores));
  EXPECT_TRUE(scores.empty());
  // Released, it no longer runs.
  net_.Release();
  EXPECT_FALSE(net_.SCRParse(piece(0, 60, 0, 0), &scores));
}

// The second load appends the class file again, so the names no longer fit the outputs.
TEST_F(ScrNetTest, LoadingTwiceAppendsTheClassFileAgainAndIsRefused) {
  TempDir root;
  layOutModel(root.path(), "count_model.onnx", "Alpha\nBeta\n\nDelta\n");
  ScopedCwd cwd(root.path());
  ASSERT_TRUE(net_.initModel(net_.m_modelPath, net_.m_classPath));
  EXPECT_EQ(net_.m_classNames, (std::vector<std::string>{"Alpha", "Beta", "", "Delta"}));
  EXPECT_FALSE(net_.initModel(net_.m_modelPath, net_.m_classPath));
  EXPECT_EQ(net_.m_classNum, 8);
  EXPECT_EQ(net_.m_session, nullptr);
}

TEST(FileHelpersTest, LinesAreKeptAsRead) {
  TempDir dir;
  const std::string file = dir.path() + "/classes.txt";
  writeFile(file, "C++\r\n\nGo\nlast without newline");
  std::vector<std::string> lines = {"kept"};
  txt_to_vectorstring(&lines, file);
  EXPECT_EQ(lines, (std::vector<std::string>{"kept", "C++\r", "", "Go", "last without newline"}));
  txt_to_vectorstring(&lines, dir.path() + "/missing.txt");
  EXPECT_EQ(lines.size(), 5u);
  EXPECT_TRUE(exists_test(file));
  EXPECT_FALSE(exists_test(dir.path() + "/missing.txt"));
}

TEST(FileHelpersTest, AbsPathCanonicalisesOrReturnsThePathUnchanged) {
  TempDir dir;
  makeDirs(dir.path() + "/a/bin");
  EXPECT_EQ(abs_path(dir.path() + "/a/bin/../bin/./"), dir.path() + "/a/bin");
  EXPECT_EQ(abs_path(dir.path() + "/nothing/../here"), dir.path() + "/nothing/../here");
  EXPECT_EQ(abs_path(""), "");
}

TEST(FileHelpersTest, StrToWstrWidensEveryByte) {
  const std::wstring wide = strToWstr(std::string("a\xC3\xA9\0z", 5));
  EXPECT_EQ(wide, (std::wstring{L'a', wchar_t(0xC3), wchar_t(0xA9), L'\0', L'z'}));
}

}  // namespace
