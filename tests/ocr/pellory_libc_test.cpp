// Init and the system check on other C libraries: this program defines gnu_get_libc_version
// itself, and the plug-in, which calls it through the dynamic linker, gets this one.
#include <gtest/gtest.h>

#include "Pellory.h"
#include "ocr_test_support.h"

namespace {
const char* g_libcVersion = "2.36";
}

extern "C" const char* gnu_get_libc_version() { return g_libcVersion; }

namespace {

class OtherLibcTest : public ::testing::Test {
 protected:
  // Init with the C library reporting `version`, from a folder without an engine.
  std::vector<std::string> initLog(const char* version) {
    g_libcVersion = version;
    ocrtest::LogCapture log;
    ocrtest::ScopedCwd cwd(tmp_.path());
    EXPECT_FALSE(Init());
    return log.lines(ocrtest::kPluginChannel);
  }
  void TearDown() override { g_libcVersion = "2.36"; }
  ocrtest::TempDir tmp_;
};

TEST_F(OtherLibcTest, CheckComparesTheReportedVersion) {
  const struct {
    const char* version;
    int code;
  } cases[] = {{"2.17", 1}, {"2.16", -1}, {"3", 1}, {"", 0}};
  for (const auto& c : cases) {
    g_libcVersion = c.version;
    std::string version, bits;
    EXPECT_EQ(checkAndGetSysVer(version, bits), c.code) << c.version;
    EXPECT_EQ(version, c.version);
    EXPECT_EQ(bits, "64");
  }
}

TEST_F(OtherLibcTest, OldLibcIsRefusedAfterTheVersionLine) {
  const auto log = initLog("2.16");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(ocrtest::isVersionLine(log[0], "", "2.16", "64")) << log[0];
  EXPECT_EQ(log[1], "WARN [Init] Check System INFO failed <_err:system version is lower> ");
}

TEST_F(OtherLibcTest, EmptyVersionMeansUnreadableSystemInformation) {
  const auto log = initLog("");
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(ocrtest::isVersionLine(log[0], "", "", "64")) << log[0];
  EXPECT_EQ(log[1], "WARN [Init] Check System INFO failed <_err:system info can't be read> ");
}

TEST_F(OtherLibcTest, OldestAcceptedVersionGoesOnToTheEngine) {
  const auto log = initLog("2.17");
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0], "WARN [Init] <dllpath:" + tmp_.path() + "/libs_x64/libZantrel.so> doesn't exist");
}

}  // namespace
