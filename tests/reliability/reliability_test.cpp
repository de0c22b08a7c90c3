// The recognizer over long runs: a 100 MB text in bounded memory, no growth over many parses and
// many init/release cycles, and many threads agreeing with one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Quorvel.h"
#include "concurrent_parse.h"
#include "test_support.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // shadow memory makes resident sizes meaningless
#else
constexpr bool kSanitized = false;
#endif

// A field of /proc/self/status in bytes (VmRSS: now, VmHWM: peak since the last reset).
size_t statusBytes(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field + ":", 0) == 0) return std::stoul(line.substr(field.size() + 1)) * 1024;
  return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

std::string codeText(size_t bytes) {
  static const std::string block =
      "static int parse_header(const char *buf, size_t len, struct header *out) {\n"
      "    if (len < sizeof(*out)) return -1;\n"
      "    memcpy(out, buf, sizeof(*out));\n"
      "    return out->magic == HEADER_MAGIC ? 0 : -2;\n"
      "}\n";
  std::string text;
  text.reserve(bytes + block.size());
  while (text.size() < bytes) text += block;
  text.resize(bytes);
  return text;
}

// Loads the shipped bundle when there is one, the stand-in model otherwise.
class ReliabilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string data = QUORVEL_BUNDLE_DIR;
    if (!fs::exists(data + "/models/SCR/SCR.onnx")) {
      data = root_.path();
      layOutModel(data, "count_model.onnx", kCountClasses);
    }
    cwd_ = std::make_unique<ScopedCwd>(data);
    setenv("VESKLOG_LEVEL", "error", 1);
    ASSERT_EQ(QuorvelInit(), 1);
  }
  void TearDown() override {
    QuorvelRelease();
    unsetenv("VESKLOG_LEVEL");
  }
  TempDir root_;
  std::unique_ptr<ScopedCwd> cwd_;
};

TEST_F(ReliabilityTest, HundredMegabyteTextNeedsLittleMoreThanOneCopy) {
  const std::string text = codeText(100u << 20);
  const size_t before = statusBytes("VmRSS");
  resetPeak();
  std::string result;
  ASSERT_EQ(QuorvelParse(text, -1, result, -1, -1), 1);  // the length chooses random windows
  EXPECT_FALSE(result.empty());
  if (kSanitized) GTEST_SKIP() << "resident sizes are not measured in sanitizer builds";
  const size_t growth = statusBytes("VmHWM") - before;
  printf("peak grew by %zu MB while parsing a %zu MB text\n", growth >> 20, text.size() >> 20);
  // The cleaning works on one copy of the text: the peak stays well under three times the input.
  EXPECT_LT(growth, text.size() * 5 / 4) << "peak grew by " << (growth >> 20) << " MB";
}

TEST_F(ReliabilityTest, TenThousandParsesDoNotGrowMemory) {
  const std::vector<std::string> texts = {codeText(700), codeText(3000), std::string(60, 'x'), codeText(40)};
  std::string result;
  for (int i = 0; i < 500; ++i) QuorvelParse(texts[i % texts.size()], i % 3, result, -1, -1);  // warm-up
  const size_t before = statusBytes("VmRSS");
  for (int i = 0; i < 10000; ++i) QuorvelParse(texts[i % texts.size()], i % 3, result, -1, -1);
  if (kSanitized) GTEST_SKIP() << "leaks are LeakSanitizer's to find in sanitizer builds";
  EXPECT_LT(statusBytes("VmRSS"), before + (4u << 20));
}

TEST_F(ReliabilityTest, HundredInitReleaseCyclesDoNotGrowMemory) {
  std::string result;
  auto cycle = [&] {
    QuorvelRelease();
    ASSERT_EQ(QuorvelInit(), 1);
    ASSERT_EQ(QuorvelParse(codeText(600), 0, result, -1, -1), 1);
  };
  for (int i = 0; i < 10; ++i) cycle();
  const size_t before = statusBytes("VmRSS");
  for (int i = 0; i < 100; ++i) cycle();
  if (kSanitized) GTEST_SKIP() << "leaks are LeakSanitizer's to find in sanitizer builds";
  EXPECT_LT(statusBytes("VmRSS"), before + (8u << 20));
}

TEST_F(ReliabilityTest, ConcurrentLoadAgreesWithOneThreadAndHoldsMemory) {
  std::vector<std::string> texts;
  for (size_t n : {120, 600, 1400, 2600, 9000}) texts.push_back(codeText(n));
  texts.push_back("Dear all, the meeting is moved to Friday afternoon; please bring the report drafts.");
  const std::vector<std::string> expected = answersInModes01(texts);
  const std::vector<int> warmUp = concurrentMismatches(texts, expected, 6, 3);
  const size_t before = statusBytes("VmRSS");
  const std::vector<int> mismatches = concurrentMismatches(texts, expected, 6, 12);
  for (int t = 0; t < 6; ++t) EXPECT_EQ(warmUp[t] + mismatches[t], 0) << "rounds of thread " << t;
  if (!kSanitized) EXPECT_LT(statusBytes("VmRSS"), before + (8u << 20));
}

}  // namespace
