// The system check, the version comparison, the time text and the loader functions.
#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>
#include <memory>
#include <regex>

#include "Pellory.h"
#include "ocr_test_support.h"

namespace {

TEST(CompareVersion, ComparesPartsAsNumbers) {
  const struct {
    const char* a;
    const char* b;
    int result;
  } cases[] = {
      {"2.17", "2.17", 1},    {"2.16", "2.17", -1},   {"2.5", "2.17", -1},
      {"2.28", "2.17", 1},    {"3.0", "2.17", 1},     {"2.17.1", "2.17", 1},
      {"2.17", "2.17.0", 1},  {"2.17.0", "2.17", 1},  {"2.16.99", "2.17", -1},
      {"10", "9", 1},         {"", "2.17", -1},       {"", "", 1},
      {"2..17", "2.0.17", 1}, {"2.0.17", "2..17", 1}, {"2.17", "2.17.0.1", -1},
      {"2.1a", "2.17", 1},  // 'a' counts as 97 - 48: the part reads 59
  };
  for (const auto& c : cases) EXPECT_EQ(compareVersion(c.a, c.b), c.result) << c.a << " vs " << c.b;
}

TEST(CompareVersion, LongDigitRunsWrapModulo2To32) {
  EXPECT_EQ(compareVersion("4294967296", "0"), 1);  // 2^32 reads as 0
  EXPECT_EQ(compareVersion("0", "4294967296"), 1);
  EXPECT_EQ(compareVersion("4294967296", "1"), -1);
  EXPECT_EQ(compareVersion("2.4294967313", "2.17"), 1);  // 2^32 + 17 equals 17
  EXPECT_EQ(compareVersion("2.17", "2.4294967313"), 1);
  EXPECT_EQ(compareVersion("2147483648", "1"), -1);  // 2^31 reads as the lowest 32-bit value
  EXPECT_EQ(compareVersion("2147483647", "2147483648"), 1);
  // 99999999999 mod 2^32 = 1215752191
  EXPECT_EQ(compareVersion("2.99999999999", "2.1215752191"), 1);
  EXPECT_EQ(compareVersion("2.1215752191", "2.99999999999"), 1);
  EXPECT_EQ(compareVersion("2.99999999999", "2.1215752192"), -1);
}

TEST(SystemCheck, ThisMachineIsFit) {
  std::string version = "stale", bits = "stale";
  EXPECT_TRUE(getSysVer(version, bits));
  EXPECT_EQ(version, gnu_get_libc_version());
  EXPECT_EQ(bits, "64");
  version = bits = "stale";
  EXPECT_EQ(checkAndGetSysVer(version, bits), 1);
  EXPECT_EQ(version, gnu_get_libc_version());
  EXPECT_EQ(bits, "64");
  EXPECT_EQ(checkSysVer(), 1);
}

class FakeGetconf : public ::testing::Test {
 protected:
  // Puts a getconf printing `output` (or none at all, when null) first on the command search path.
  void install(const char* output) {
    if (output != nullptr) {
      ocrtest::writeFile(tmp_.path() + "/getconf", std::string("#!/bin/sh\nprintf '") + output + "'\n");
      ASSERT_EQ(chmod((tmp_.path() + "/getconf").c_str(), 0755), 0);
    }
    path_.reset(new ocrtest::ScopedEnv("PATH", tmp_.path().c_str()));
  }
  ocrtest::TempDir tmp_;
  std::unique_ptr<ocrtest::ScopedEnv> path_;
};

TEST_F(FakeGetconf, WordSize32IsAMismatch) {
  install("32\\n");
  std::string version, bits;
  EXPECT_EQ(checkAndGetSysVer(version, bits), 2);
  EXPECT_EQ(bits, "32");
  EXPECT_EQ(version, gnu_get_libc_version());
}

TEST_F(FakeGetconf, MissingCommandGivesEmptyBitsAndAMismatch) {
  install(nullptr);
  std::string version, bits = "stale";
  EXPECT_TRUE(getSysVer(version, bits));
  EXPECT_EQ(bits, "");
  EXPECT_EQ(checkAndGetSysVer(version, bits), 2);
}

TEST(CurrentTime, IsLocalTimeInItsFormat) {
  const time_t before = time(nullptr);
  const std::string text = GetCurTime();
  const time_t after = time(nullptr);
  ASSERT_TRUE(std::regex_match(text, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"))) << text;
  struct tm parsed = {};
  ASSERT_NE(strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parsed), nullptr);
  parsed.tm_isdst = -1;
  const time_t read = mktime(&parsed);
  EXPECT_GE(read, before - 1);
  EXPECT_LE(read, after);
}

TEST(Loader, FunctionsOfALoadedLibraryAndOfNone) {
  EXPECT_EQ(GetLibFun(nullptr, "ZantrelInit"), nullptr);
  EXPECT_EQ(FreeLib(nullptr), 0);
  void* engine = LoadLib(FAKE_ENGINE_FULL);
  ASSERT_NE(engine, nullptr) << GetLastErr();
  EXPECT_EQ(GetLibFun(engine, "ZantrelParse"), dlsym(engine, "ZantrelParse"));
  EXPECT_EQ(GetLibFun(engine, "NoSuchFunction"), nullptr);
  EXPECT_NE(GetLastErr().find("NoSuchFunction"), std::string::npos);
  std::string version = "unchanged";
  EXPECT_FALSE(GetDllVer(FAKE_ENGINE_FULL, version));
  EXPECT_EQ(version, "unchanged");
  EXPECT_EQ(FreeLib(engine), 0);
}

TEST(Loader, LastErrorIsEmptyWhenTheLoaderHasNone) {
  dlerror();  // reading clears it
  EXPECT_EQ(GetLastErr(), "");
}

TEST(Loader, LastErrorIsCutTo98Characters) {
  const std::string path = "/nonexistent/" + std::string(120, 'p') + "/libZantrel.so";
  ASSERT_EQ(dlopen(path.c_str(), RTLD_NOW), nullptr);
  const std::string full = dlerror();
  ASSERT_GT(full.size(), 98u);
  ASSERT_EQ(LoadLib(path), nullptr);
  EXPECT_EQ(GetLastErr(), full.substr(0, 98));
  EXPECT_EQ(GetLastErr(), "") << "read once";
}

}  // namespace
