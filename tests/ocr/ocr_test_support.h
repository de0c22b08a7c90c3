// Helpers of the OCR tests: temporary trees, working directory and environment for a scope, and
// the records the logging library writes to its file destination.
#ifndef OCR_TEST_SUPPORT_H
#define OCR_TEST_SUPPORT_H

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace ocrtest {

// Temporary folders and working directories as the recognizer tests have them.
using testing_support::ScopedCwd;
using testing_support::TempDir;

// Sets (or, with null, removes) an environment variable for the object's lifetime.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();

 private:
  std::string name_;
  bool had_;
  std::string previous_;
};

// Sends log records to a file at debug level, from now until the object goes. Opens the
// plug-in's channel, so that the configuration applies before any Init.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  // "LEVEL message" of every record of `channel` ("module/component"), all channels when empty.
  std::vector<std::string> lines(const std::string& channel = "") const;

 private:
  TempDir dir_;
  std::string file_;
};

constexpr char kPluginChannel[] = "TextExtractor_OCR/OCRFilter";
constexpr char kEngineChannel[] = "TextExtractor_OCR/Zantrel";

void makeDirs(const std::string& path);
// Copies `from` to `to`, creating the folders above `to`.
void copyFile(const std::string& from, const std::string& to);
void writeFile(const std::string& path, const std::string& content);
std::string fixture(const std::string& name);  // path of a file under tests/ocr/fixtures

// The good fixtures and the words their OCR text must hold, from fixtures/expected.tsv.
std::vector<std::pair<std::string, std::vector<std::string>>> expectedWords();
// The expected words missing from `text`.
std::vector<std::string> missingWords(const std::string& text, const std::vector<std::string>& words);

// True when `line` is the plug-in's version record for `enginePath` and word size `bits`.
bool isVersionLine(const std::string& line, const std::string& enginePath, const std::string& glibc,
                   const std::string& bits);

}  // namespace ocrtest

#endif
