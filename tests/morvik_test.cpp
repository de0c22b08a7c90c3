// The logging library: record layout, level filter, channels, odd handles and formats, threads.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "vesklog.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class MorvikTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/morvik-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    file_ = dir_ + "/log.txt";
    configure("debug");
  }
  void TearDown() override {
    unsetenv("VESKLOG_FILE");
    unsetenv("VESKLOG_LEVEL");
    vesklog_open_v2("morvik", "test");
    std::filesystem::remove_all(dir_);
  }
  int configure(const char* level) {
    setenv("VESKLOG_FILE", file_.c_str(), 1);
    setenv("VESKLOG_LEVEL", level, 1);
    return vesklog_open_v2("morvik", "test");
  }
  std::string log() const { return readAll(file_); }

  std::string dir_, file_;
};

TEST_F(MorvikTest, OneLinePerRecordWithTimeLevelAndChannel) {
  const int h = vesklog_open_v2("TextExtractor_SCR", "QUORVEL");
  vesklog_info(h, "loaded %s in %.3f s, %d classes", "model", 0.1804, 52);
  vesklog_error(h,
                "Input is NULL\xEF\xBC\x81"
                "error!");
  const std::regex line(
      R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} INFO \[TextExtractor_SCR/QUORVEL\] loaded model in 0\.180 s, 52 classes
\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ERROR \[TextExtractor_SCR/QUORVEL\] Input is NULL\xEF\xBC\x81error!
)");
  EXPECT_TRUE(std::regex_match(log(), line)) << log();
}

TEST_F(MorvikTest, NewlineInsideAMessageStaysInOneRecord) {
  const int h = vesklog_open_v2("m", "c");
  vesklog_debug(h, "Code Content:\n%s", "int a;\nint b;");
  const std::string text = log();
  EXPECT_NE(text.find("DEBUG [m/c] Code Content:\nint a;\nint b;\n"), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(MorvikTest, LevelFromTheEnvironment) {
  int h = configure("warn");
  vesklog_debug(h, "d");
  vesklog_info(h, "i");
  vesklog_warn(h, "w");
  vesklog_error(h, "e");
  const std::string text = log();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
  h = configure("off");
  vesklog_error(h, "nothing");
  EXPECT_EQ(log().find("nothing"), std::string::npos);
}

TEST_F(MorvikTest, InspectedTextStaysOutByDefault) {
  for (const char* level : std::initializer_list<const char*>{"", "nonsense", nullptr}) {
    configure("");
    if (level == nullptr)
      unsetenv("VESKLOG_LEVEL");
    else
      setenv("VESKLOG_LEVEL", level, 1);
    const int h = vesklog_open_v2("TextExtractor_SCR", "QUORVEL");
    vesklog_info(h, "Infer Result: dialog, Code Content:\n%s", "secret text");
    vesklog_debug(h, "No %d, Infer Result: dialog, Code Content:\n%s", 0, "secret batch");
    vesklog_warn(h, "a warning");
    const std::string text = log();
    EXPECT_EQ(text.find("secret"), std::string::npos) << (level ? level : "unset") << ": " << text;
    EXPECT_NE(text.find("WARN [TextExtractor_SCR/QUORVEL] a warning\n"), std::string::npos) << text;
  }
  const int h = configure("info");
  vesklog_info(h, "Infer Result: dialog, Code Content:\n%s", "asked for");
  EXPECT_NE(log().find("Code Content:\nasked for\n"), std::string::npos);
}

TEST_F(MorvikTest, SameChannelSameHandle) {
  const int a = vesklog_open_v2("TextExtractor_OCR", "OCRFilter");
  EXPECT_GE(a, 0);
  EXPECT_EQ(vesklog_open_v2("TextExtractor_OCR", "OCRFilter"), a);
  EXPECT_NE(vesklog_open_v2("TextExtractor_OCR", "Other"), a);
  EXPECT_EQ(vesklog_open_v2(nullptr, "x"), -1);
}

TEST_F(MorvikTest, AnyHandleAndFormatIsSafe) {
  for (int h : {-1, -1000, 99999, 2147483647}) vesklog_warn(h, "handle %d", h);
  vesklog_info(0, nullptr);
  const std::string text = log();
  EXPECT_NE(text.find("WARN [?/?] handle -1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("WARN [?/?] handle 99999\n"), std::string::npos);
  EXPECT_NE(text.find("(null)"), std::string::npos);
}

TEST_F(MorvikTest, LongMessagesAreWrittenWhole) {
  const std::string big(200000, 'q');
  vesklog_info(vesklog_open_v2("m", "c"), "%s|end", big.c_str());
  EXPECT_NE(log().find(big + "|end\n"), std::string::npos);
}

TEST_F(MorvikTest, ConcurrentRecordsNeverInterleave) {
  const int h = vesklog_open_v2("m", "threads");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([h, t] {
      const std::string payload(300, static_cast<char>('a' + t));
      for (int i = 0; i < 500; ++i) vesklog_info(h, "%d %s", t, payload.c_str());
    });
  for (auto& th : threads) th.join();
  std::istringstream in(log());
  std::string line;
  int count = 0;
  const std::regex record(R"(.* INFO \[m/threads\] ([0-3]) ([a-d]{300}))");
  while (std::getline(in, line)) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, record)) << line.substr(0, 80);
    EXPECT_EQ(m[2].str(), std::string(300, static_cast<char>('a' + std::stoi(m[1]))));
    ++count;
  }
  EXPECT_EQ(count, 2000);
}

TEST_F(MorvikTest, UnwritableFileFallsBackToStandardErrorNotStandardOutput) {
  setenv("VESKLOG_FILE", (dir_ + "/no/such/dir/log.txt").c_str(), 1);
  const int h = vesklog_open_v2("m", "c");
  fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  FILE* capture = tmpfile();
  dup2(fileno(capture), STDOUT_FILENO);
  testing::internal::CaptureStderr();
  vesklog_warn(h, "to stderr");
  const std::string err = testing::internal::GetCapturedStderr();
  fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_EQ(ftell(capture), 0) << "the library wrote to standard output";
  fclose(capture);
  EXPECT_NE(err.find("WARN [m/c] to stderr\n"), std::string::npos) << err;
}

}  // namespace
