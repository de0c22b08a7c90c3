// The plug-in loading the real engine from a deployment tree, run from its bin folder, and an image
// of a code listing coming back as text through the host task's text operation.
#include <dlfcn.h>
#include <gmock/gmock.h>

#include "Pellory.h"
#include "host_task.h"
#include "ocr_test_support.h"

using ::testing::IsEmpty;

namespace {

TEST(EndToEnd, CodeListingFromTheDeploymentTree) {
  ocrtest::TempDir tree;
  const std::string engine = tree.path() + "/lib/veskcomm/libZantrel.so";
  ocrtest::copyFile(ZANTREL_ENGINE, engine);
  ocrtest::makeDirs(tree.path() + "/bin");
  ocrtest::LogCapture log;
  ocrtest::ScopedCwd cwd(tree.path() + "/bin");

  ASSERT_TRUE(Init());
  Dl_info where;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(m_fp_ZantrelParse), &where), 0);
  EXPECT_STREQ(where.dli_fname, (tree.path() + "/bin/../lib/veskcomm/libZantrel.so").c_str());
  EXPECT_STREQ(GetType(), "jpg;png;tif;tiff;bmp;webp;jpeg");

  veskhost::HostTask task(ocrtest::fixture("code.png"));
  ASSERT_EQ(Parse(task.object()), 1);
  EXPECT_EQ(task.textCalls(), 1);
  for (const char* line : {"def fibonacci(count):", "values = [0, 1]", "return values[:count]", "print(fibonacci(10)"})
    EXPECT_NE(task.text().find(line), std::string::npos) << line << " missing from:\n" << task.text();

  veskhost::HostTask bad(ocrtest::fixture("bad/truncated.png"));
  EXPECT_EQ(Parse(bad.object()), 0);
  EXPECT_EQ(bad.textCalls(), 0);

  Release();
  const auto engineLog = log.lines(ocrtest::kEngineChannel);
  ASSERT_EQ(engineLog.size(), 4u);
  EXPECT_EQ(engineLog[0].rfind("INFO [ZantrelInit] Tesseract ", 0), 0u) << engineLog[0];
  EXPECT_EQ(engineLog[1].rfind("DEBUG [ZantrelParse] <filepath:" + ocrtest::fixture("code.png") + ">", 0), 0u);
  EXPECT_EQ(
      engineLog[2].rfind("WARN [ZantrelParse] <filepath:" + ocrtest::fixture("bad/truncated.png") + "> refused", 0),
      0u);
  EXPECT_EQ(engineLog[3], "INFO [ZantrelRelease] Tesseract ended");
  EXPECT_EQ(log.lines(ocrtest::kPluginChannel).size(), 3u) << "version, GetType, Release";
}

}  // namespace
