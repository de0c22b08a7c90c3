// GetType, Parse and Release against a stand-in engine and a stand-in host task.
#include <gmock/gmock.h>

#include "host_task.h"
#include "plugin_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const char kTypes[] = "jpg;png;tif;tiff;bmp;webp;jpeg";

// The plug-in initialised from <tree>/bin with the full stand-in engine, and an image file.
class BoundPluginTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    placeEngine(FAKE_ENGINE_FULL, "lib/veskcomm/libZantrel.so");
    ocrtest::makeDirs(at("bin"));
    ocrtest::writeFile(image_, "not looked at by the plug-in");
    ocrtest::ScopedCwd cwd(at("bin"));
    ASSERT_TRUE(Init());
    state_ = engineState();
    ASSERT_NE(state_, nullptr);
  }

  std::vector<std::string> logAfterInit() const {
    auto log = pluginLog();
    log.erase(log.begin());  // the version line
    return log;
  }

  const std::string image_ = at("in/page one.png");
  FakeEngineState* state_ = nullptr;
};

TEST_F(BoundPluginTest, GetTypeListsTheImageTypes) {
  EXPECT_STREQ(GetType(), kTypes);
  EXPECT_THAT(logAfterInit(), ElementsAre("INFO OCR GetType...."));
}

TEST_F(BoundPluginTest, ParseHandsPathAndTaskToTheEngineAndReturnsItsResult) {
  veskhost::HostTask task(image_);
  EXPECT_EQ(Parse(task.object()), kFakeParseResult);
  EXPECT_EQ(state_->parseCalls, 1);
  EXPECT_EQ(state_->lastTask, task.object());
  EXPECT_STREQ(state_->lastPath, image_.c_str());
  EXPECT_EQ(task.text(), "fake text of " + image_);
  EXPECT_THAT(logAfterInit(), IsEmpty()) << "the outcome is not logged";
}

TEST_F(BoundPluginTest, OcrDisabledByBit7IsDeclinedBeforeThePathIsRead) {
  veskhost::HostTask task(at("missing.png"));
  task.setSettingsWord(veskhost::kSettingsFlagsOffset, 0x80);
  EXPECT_EQ(Parse(task.object()), 0);
  EXPECT_EQ(task.fileCalls(), 0);
  EXPECT_EQ(state_->parseCalls, 0);
  EXPECT_THAT(logAfterInit(), ElementsAre("WARN [DealFileFilter] ocr module doesn't enable"));
}

TEST_F(BoundPluginTest, OtherFlagBitsLeaveOcrEnabled) {
  veskhost::HostTask task(image_);
  task.setSettingsWord(veskhost::kSettingsFlagsOffset, ~uint32_t{0x80});
  EXPECT_EQ(Parse(task.object()), kFakeParseResult);
}

TEST_F(BoundPluginTest, SkipWordDeclinesSilentlyWithoutAskingForThePath) {
  for (uint32_t skip : {1u, 0x80000000u}) {
    veskhost::HostTask task(image_);
    task.setSkip(skip);
    EXPECT_EQ(Parse(task.object()), 0) << skip;
    EXPECT_EQ(task.settingsCalls(), 2);
    EXPECT_EQ(task.fileCalls(), 0);
  }
  EXPECT_EQ(state_->parseCalls, 0);
  EXPECT_THAT(logAfterInit(), IsEmpty());
}

TEST_F(BoundPluginTest, MissingFileIsNamedAsTheHostGaveIt) {
  veskhost::HostTask task("no/such dir/../scan 1.png");
  EXPECT_EQ(Parse(task.object()), 0);
  EXPECT_EQ(state_->parseCalls, 0);
  EXPECT_THAT(logAfterInit(), ElementsAre("WARN [DealFileFilter] <filepath:no/such dir/../scan 1.png> doesn't exist"));
}

TEST_F(BoundPluginTest, ReleaseEndsTheEngineOnceAndUnbindsIt) {
  Release();
  EXPECT_EQ(state_->releaseCalls, 1);
  EXPECT_EQ(OCRInstance, nullptr);
  EXPECT_EQ(m_fp_ZantrelInit, nullptr);
  EXPECT_EQ(m_fp_ZantrelRelease, nullptr);
  EXPECT_EQ(m_fp_ZantrelParse, nullptr);

  veskhost::HostTask task(image_);
  EXPECT_EQ(Parse(task.object()), 0);
  Release();
  EXPECT_EQ(state_->parseCalls, 0);
  EXPECT_EQ(state_->releaseCalls, 1);
  EXPECT_STREQ(GetType(), "");
  EXPECT_THAT(logAfterInit(),
              ElementsAre("INFO OCR Release....", "WARN [DealFileFilter] ocr engine isn't bound",
                          "INFO OCR Release....", "INFO OCR GetType....", "WARN NULL == OCRInstance, GetType failed!"));
}

TEST_F(BoundPluginTest, NullTaskIsDeclined) { EXPECT_EQ(Parse(nullptr), 0); }

using UnboundPluginTest = PluginTest;

TEST_F(UnboundPluginTest, GetTypeBeforeInitAnswersEmptyText) {
  const char* types = GetType();
  ASSERT_NE(types, nullptr);
  EXPECT_STREQ(types, "");
  // Before any Init the records go to whatever channel handle 0 is: compare level and message.
  EXPECT_THAT(log_.lines(), ElementsAre("INFO OCR GetType....", "WARN NULL == OCRInstance, GetType failed!"));
}

TEST_F(UnboundPluginTest, ParseAndReleaseBeforeInitCallNothing) {
  ocrtest::writeFile(at("image.png"), "x");
  veskhost::HostTask task(at("image.png"));
  EXPECT_EQ(Parse(task.object()), 0);
  Release();
  EXPECT_EQ(task.textCalls(), 0);
}

}  // namespace
