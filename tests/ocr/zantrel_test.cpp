// The OCR engine on rendered images: text of every fixture, refusal of bad images, lifecycle,
// threads.
#include <dirent.h>
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "Zantrel.h"
#include "host_task.h"
#include "ocr_test_support.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The first ZantrelInit of the process loads OpenMP: it must see no limit set by the caller.
class NoCallerThreadLimit : public ::testing::Environment {
 public:
  void SetUp() override {
    unsetenv("OMP_THREAD_LIMIT");
    unsetenv("ZANTREL_TESSDATA");
    unsetenv("TESSDATA_PREFIX");
  }
};
const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new NoCallerThreadLimit);

int threadCount() {
  int count = 0;
  DIR* tasks = opendir("/proc/self/task");
  while (dirent* entry = readdir(tasks)) count += entry->d_name[0] != '.';
  closedir(tasks);
  return count;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(ZantrelInit()); }
  void TearDown() override { ZantrelRelease(); }

  // Parses `path` with a fresh task; returns the result, the task's text in `*text`.
  static int parse(const std::string& path, std::string* text = nullptr, int* textCalls = nullptr) {
    veskhost::HostTask task(path);
    const int result = ZantrelParse(path.c_str(), task.object());
    if (text != nullptr) *text = task.text();
    if (textCalls != nullptr) *textCalls = task.textCalls();
    return result;
  }
  std::vector<std::string> engineLog(const std::string& level) const {
    std::vector<std::string> lines;
    for (const std::string& line : log_.lines(ocrtest::kEngineChannel))
      if (line.compare(0, level.size() + 1, level + " ") == 0) lines.push_back(line.substr(level.size() + 1));
    return lines;
  }

  ocrtest::LogCapture log_;
};

TEST_F(EngineTest, EveryFixtureYieldsItsWords) {
  const auto fixtures = ocrtest::expectedWords();
  ASSERT_GE(fixtures.size(), 10u);
  for (const auto& [file, words] : fixtures) {
    std::string text;
    int textCalls = 0;
    EXPECT_EQ(parse(ocrtest::fixture(file), &text, &textCalls), 1) << file;
    EXPECT_EQ(textCalls, 1) << file;
    EXPECT_THAT(ocrtest::missingWords(text, words), IsEmpty()) << file << " gave:\n" << text;
  }
  EXPECT_THAT(engineLog("WARN"), IsEmpty());
}

TEST_F(EngineTest, BadImagesAreRefusedWithTheirReason) {
  const struct {
    const char* file;
    const char* reason;
  } cases[] = {
      {"empty.png", "file is empty"},
      {"truncated.png", "truncated or corrupt"},
      {"truncated.jpg", "truncated or corrupt"},
      {"truncated.tiff", "truncated or corrupt"},
      {"truncated.webp", "truncated or corrupt"},
      {"truncated.bmp", "BMP pixel data truncated"},
      {"corrupt.png", "truncated or corrupt"},
      {"corrupt.jpg", "truncated or corrupt"},
      {"corrupt.tif", "truncated or corrupt"},
      {"corrupt.webp", "image has no pixels (0x0)"},  // the frame header is garbled
      {"rle8.bmp", "RLE-compressed BMP cannot be read"},
      {"oversized.png", "image too large (100000x100000 pixels)"},
      {"oversized.jpg", "image too large (60000x60000 pixels)"},
      {"oversized.tiff", "image too large (60000x60000 pixels)"},
      {"oversized.webp", "image too large (16383x16383 pixels)"},
      {"oversized.bmp", "image too large (60000x60000 pixels)"},
      {"bomb.png", "image too large (16000x16000 pixels)"},
      {"not_image.png", "not an image of a supported type"},
      {"gif_named.png", "not an image of a supported type"},
  };
  std::vector<std::string> expected;
  for (const auto& c : cases) {
    const std::string path = ocrtest::fixture(std::string("bad/") + c.file);
    int textCalls = -1;
    EXPECT_EQ(parse(path, nullptr, &textCalls), 0) << c.file;
    EXPECT_EQ(textCalls, 0) << c.file;
    expected.push_back("[ZantrelParse] <filepath:" + path + "> refused: ");
  }
  const auto warnings = engineLog("WARN");
  ASSERT_EQ(warnings.size(), std::size(cases));
  for (size_t i = 0; i < warnings.size(); ++i) {
    EXPECT_EQ(warnings[i].compare(0, expected[i].size(), expected[i]), 0) << warnings[i];
    EXPECT_NE(warnings[i].find(cases[i].reason, expected[i].size()), std::string::npos) << warnings[i];
  }
}

TEST_F(EngineTest, ImageWithoutTextGivesEmptyText) {
  ocrtest::TempDir tmp;
  const std::string blank = tmp.path() + "/blank.bmp";
  std::string bmp(54, '\0');  // 8 x 8, 24 bits, white
  bmp[0] = 'B', bmp[1] = 'M', bmp[10] = 54, bmp[14] = 40, bmp[18] = 8, bmp[22] = 8, bmp[26] = 1, bmp[28] = 24;
  ocrtest::writeFile(blank, bmp + std::string(8 * 24, '\xff'));
  std::string text = "stale";
  int textCalls = 0;
  EXPECT_EQ(parse(blank, &text, &textCalls), 1);
  EXPECT_EQ(textCalls, 1);
  EXPECT_EQ(text, "");
}

TEST_F(EngineTest, TaskWithoutTextOperationIsDeclinedBeforeReading) {
  veskhost::HostTask task(ocrtest::fixture("code.png"));
  task.withoutTextOperation();
  EXPECT_EQ(ZantrelParse(ocrtest::fixture("code.png").c_str(), task.object()), 0);
  EXPECT_EQ(ZantrelParse(ocrtest::fixture("code.png").c_str(), nullptr), 0);
  EXPECT_EQ(ZantrelParse(nullptr, task.object()), 0);
  EXPECT_EQ(engineLog("WARN").size(), 3u);
  EXPECT_THAT(engineLog("DEBUG"), IsEmpty()) << "nothing recognised";
}

TEST_F(EngineTest, InitIsIdempotentAndReleaseStopsParsing) {
  EXPECT_TRUE(ZantrelInit());
  EXPECT_EQ(engineLog("INFO").size(), 1u) << "Tesseract started once";
  ZantrelRelease();
  ZantrelRelease();
  const std::string code = ocrtest::fixture("code.png");
  EXPECT_EQ(parse(code), 0);
  EXPECT_THAT(engineLog("WARN"), ElementsAre("[ZantrelParse] engine not started <filepath:" + code + ">"));
  ASSERT_TRUE(ZantrelInit());
  EXPECT_EQ(parse(code), 1);
  EXPECT_THAT(engineLog("INFO"),
              ElementsAre(::testing::StartsWith("[ZantrelInit] Tesseract "), "[ZantrelRelease] Tesseract ended",
                          ::testing::StartsWith("[ZantrelInit] Tesseract ")));
}

TEST_F(EngineTest, MissingTrainedDataFailsInit) {
  ZantrelRelease();
  ocrtest::TempDir empty;
  {
    ocrtest::ScopedEnv data("ZANTREL_TESSDATA", empty.path().c_str());
    EXPECT_FALSE(ZantrelInit());
    EXPECT_EQ(parse(ocrtest::fixture("code.png")), 0);
  }
  EXPECT_THAT(engineLog("ERROR"),
              ElementsAre("[ZantrelInit] trained data <" + empty.path() + "/eng.traineddata> missing"));
  {
    ocrtest::ScopedEnv data("TESSDATA_PREFIX", empty.path().c_str());
    EXPECT_FALSE(ZantrelInit()) << "TESSDATA_PREFIX is used when ZANTREL_TESSDATA is unset";
  }
  EXPECT_TRUE(ZantrelInit());
}

TEST_F(EngineTest, HostThreadLimitIsKept) {
  ZantrelRelease();
  ocrtest::ScopedEnv limit("OMP_THREAD_LIMIT", "3");
  ASSERT_TRUE(ZantrelInit());
  EXPECT_STREQ(getenv("OMP_THREAD_LIMIT"), "3");
}

TEST_F(EngineTest, RecognitionRunsOnTheCallingThreadOnly) {
  EXPECT_STREQ(getenv("OMP_THREAD_LIMIT"), "1");
  ASSERT_EQ(parse(ocrtest::fixture("prose.png")), 1);
  EXPECT_EQ(threadCount(), 1) << "OpenMP started worker threads";
}

TEST_F(EngineTest, ConcurrentParsesEachGetTheirOwnText) {
  const auto fixtures = ocrtest::expectedWords();
  auto named = [&](const char* file) {
    return *std::find_if(fixtures.begin(), fixtures.end(), [&](const auto& f) { return f.first == file; });
  };
  const auto prose = named("prose.png"), code = named("code.png");
  std::vector<std::string> missing[2];
  auto worker = [&](int slot, const std::pair<std::string, std::vector<std::string>>& image) {
    for (int round = 0; round < 2; ++round) {
      std::string text;
      if (parse(ocrtest::fixture(image.first), &text) != 1) missing[slot].push_back("parse of " + image.first);
      for (const std::string& word : ocrtest::missingWords(text, image.second)) missing[slot].push_back(word);
    }
  };
  std::thread a(worker, 0, std::cref(prose)), b(worker, 1, std::cref(code));
  a.join();
  b.join();
  EXPECT_THAT(missing[0], IsEmpty());
  EXPECT_THAT(missing[1], IsEmpty());
}

}  // namespace
