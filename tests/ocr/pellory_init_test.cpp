// Init: where the engine is looked for, how it is loaded and bound, and what is logged.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "plugin_fixture.h"
#include "vesklog.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using InitTest = PluginTest;

TEST_F(InitTest, WorkingDirectoryEndingInBinLoadsFromLibVeskcomm) {
  ocrtest::makeDirs(at("opt/x/bin"));
  placeEngine(FAKE_ENGINE_FULL, "opt/x/lib/veskcomm/libZantrel.so");
  ocrtest::ScopedCwd cwd(at("opt/x/bin"));

  ASSERT_TRUE(Init());
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(isVersionLine(log[0], at("opt/x/bin/../lib/veskcomm/libZantrel.so"))) << log[0];
  ASSERT_NE(engineState(), nullptr);
  EXPECT_EQ(engineState()->initCalls, 1);
  EXPECT_EQ(reinterpret_cast<void*>(m_fp_ZantrelInit), dlsym(OCRInstance, "ZantrelInit"));
  EXPECT_EQ(reinterpret_cast<void*>(m_fp_ZantrelRelease), dlsym(OCRInstance, "ZantrelRelease"));
  EXPECT_EQ(reinterpret_cast<void*>(m_fp_ZantrelParse), dlsym(OCRInstance, "ZantrelParse"));
  EXPECT_NE(dlsym(RTLD_DEFAULT, "fakeEngineState"), nullptr) << "engine not loaded with RTLD_GLOBAL";
}

TEST_F(InitTest, OtherWorkingDirectoriesLoadFromLibsX64) {
  const std::vector<std::string> dirs = {"opt/x/bin2", "opt/x/Bin", "opt/x", "opt/xbin"};
  for (const std::string& dir : dirs) {
    unbind();
    placeEngine(FAKE_ENGINE_FULL, dir + "/libs_x64/libZantrel.so");
    ocrtest::ScopedCwd cwd(at(dir));
    EXPECT_TRUE(Init()) << dir;
  }
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), dirs.size());
  for (size_t i = 0; i < dirs.size(); ++i)
    EXPECT_TRUE(isVersionLine(log[i], at(dirs[i] + "/libs_x64/libZantrel.so"))) << log[i];
}

TEST_F(InitTest, ExactlyOnePathIsTried) {
  placeEngine(FAKE_ENGINE_FULL, "app/bin/libs_x64/libZantrel.so");
  placeEngine(FAKE_ENGINE_FULL, "lib/veskcomm/libZantrel.so");
  {
    ocrtest::ScopedCwd cwd(at("app/bin"));
    EXPECT_FALSE(Init());
  }
  {
    ocrtest::ScopedCwd cwd(at("app"));
    EXPECT_FALSE(Init());
  }
  EXPECT_THAT(pluginLog(),
              ElementsAre("WARN [Init] <dllpath:" + at("app/bin/../lib/veskcomm/libZantrel.so") + "> doesn't exist",
                          "WARN [Init] <dllpath:" + at("app/libs_x64/libZantrel.so") + "> doesn't exist"));
  EXPECT_EQ(OCRInstance, nullptr);
}

TEST_F(InitTest, PathIsNotNormalised) {
  std::vector<std::string> expected;
  for (const char* dir : {"/bin", "/"}) {
    ocrtest::ScopedCwd cwd(dir);
    const std::string real = std::filesystem::current_path().string();  // /bin may be a link to /usr/bin
    const std::string engine = real + (real == "/" ? "/libs_x64" : "/../lib/veskcomm") + "/libZantrel.so";
    if (access(engine.c_str(), F_OK) == 0) GTEST_SKIP() << engine << " is installed";
    EXPECT_FALSE(Init());
    expected.push_back("WARN [Init] <dllpath:" + engine + "> doesn't exist");
  }
  EXPECT_EQ(expected.back(), "WARN [Init] <dllpath://libs_x64/libZantrel.so> doesn't exist");
  EXPECT_EQ(pluginLog(), expected);
}

TEST_F(InitTest, EngineLackingReleaseFailsButTypesAreListed) {
  placeEngine(FAKE_ENGINE_NO_RELEASE, "libs_x64/libZantrel.so");
  ocrtest::ScopedCwd cwd(tmp_.path());

  EXPECT_FALSE(Init());
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isVersionLine(log[0], at("libs_x64/libZantrel.so"))) << log[0];
  EXPECT_EQ(log[1], "WARN [Init] m_fp_ZantrelRelease fail");
  EXPECT_NE(m_fp_ZantrelInit, nullptr);
  EXPECT_EQ(m_fp_ZantrelRelease, nullptr);
  EXPECT_EQ(m_fp_ZantrelParse, nullptr);
  EXPECT_EQ(engineState()->initCalls, 0);
  EXPECT_STREQ(GetType(), "jpg;png;tif;tiff;bmp;webp;jpeg");
}

TEST_F(InitTest, EngineInitAnsweringFalseIsNotLogged) {
  placeEngine(FAKE_ENGINE_INIT_FALSE, "libs_x64/libZantrel.so");
  ocrtest::ScopedCwd cwd(tmp_.path());

  EXPECT_FALSE(Init());
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), 1u) << "only the version line";
  EXPECT_TRUE(isVersionLine(log[0], at("libs_x64/libZantrel.so"))) << log[0];
  EXPECT_EQ(engineState()->initCalls, 1);
  EXPECT_NE(m_fp_ZantrelParse, nullptr);
}

TEST_F(InitTest, EngineThatCannotBeBoundAtLoadIsReportedWithTheLoaderMessage) {
  const std::string engine = placeEngine(FAKE_ENGINE_UNRESOLVED, "libs_x64/libZantrel.so");
  ocrtest::ScopedCwd cwd(tmp_.path());

  EXPECT_FALSE(Init());
  EXPECT_EQ(OCRInstance, nullptr);
  ASSERT_EQ(dlopen(engine.c_str(), RTLD_NOW), nullptr);
  const std::string loaderError = std::string(dlerror()).substr(0, 98);
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[1], "WARN [Init] LoadLibrary " + engine + " failed <_err:" + loaderError + "> ");
  EXPECT_NE(loaderError.find("fake_engine_missing_function"), std::string::npos) << loaderError;

  void* lazily = dlopen(engine.c_str(), RTLD_LAZY);  // loads: only binding everything at once fails
  EXPECT_NE(lazily, nullptr);
  if (lazily != nullptr) dlclose(lazily);
}

TEST_F(InitTest, SecondInitRunsEverythingAgain) {
  placeEngine(FAKE_ENGINE_FULL, "libs_x64/libZantrel.so");
  ocrtest::ScopedCwd cwd(tmp_.path());

  ASSERT_TRUE(Init());
  void* first = OCRInstance;
  ASSERT_TRUE(Init());
  EXPECT_EQ(OCRInstance, first);
  EXPECT_EQ(engineState()->initCalls, 2);
  EXPECT_EQ(pluginLog().size(), 2u);
}

TEST_F(InitTest, UnobtainableWorkingDirectoryGivesAWarning) {
  ocrtest::makeDirs(at("gone"));
  ocrtest::ScopedCwd cwd(at("gone"));
  ASSERT_EQ(rmdir(at("gone").c_str()), 0);

  EXPECT_FALSE(Init());
  EXPECT_THAT(pluginLog(), ElementsAre("WARN [Init] getcwd failed <_err:No such file or directory> "));
  EXPECT_EQ(OCRInstance, nullptr);
}

TEST_F(InitTest, WordSizeMismatchLogsVersionLineWithoutEnginePath) {
  ocrtest::writeFile(at("fakebin/getconf"), "#!/bin/sh\necho 32\n");
  ASSERT_EQ(chmod(at("fakebin/getconf").c_str(), 0755), 0);
  placeEngine(FAKE_ENGINE_FULL, "libs_x64/libZantrel.so");
  ocrtest::ScopedCwd cwd(tmp_.path());
  ocrtest::ScopedEnv path("PATH", at("fakebin").c_str());

  EXPECT_FALSE(Init());
  const auto log = pluginLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_TRUE(isVersionLine(log[0], "", "32")) << log[0];
  EXPECT_EQ(log[1], "WARN [Init] Check System INFO failed <_err:system bits is dismatch> ");
  EXPECT_EQ(OCRInstance, nullptr);
}

TEST_F(InitTest, EveryInitRereadsTheLogConfiguration) {
  ocrtest::ScopedCwd cwd(tmp_.path());
  const std::string elsewhere = at("elsewhere.log");
  {
    ocrtest::ScopedEnv file("VESKLOG_FILE", elsewhere.c_str());  // applies when a channel is next opened
    EXPECT_FALSE(Init());
  }
  EXPECT_THAT(pluginLog(), IsEmpty());
  std::ifstream in(elsewhere);
  const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(written.find("WARN [TextExtractor_OCR/OCRFilter] [Init] <dllpath:"), std::string::npos) << written;
  EXPECT_EQ(g_LogHandle, vesklog_open_v2("TextExtractor_OCR", "OCRFilter"));
}

}  // namespace
