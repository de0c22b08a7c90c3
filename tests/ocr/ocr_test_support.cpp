#include "ocr_test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "vesklog.h"

namespace fs = std::filesystem;

namespace ocrtest {

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name), had_(getenv(name) != nullptr) {
  if (had_) previous_ = getenv(name);
  if (value == nullptr)
    unsetenv(name);
  else
    setenv(name, value, 1);
}

ScopedEnv::~ScopedEnv() {
  if (had_)
    setenv(name_.c_str(), previous_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

LogCapture::LogCapture() : file_(dir_.path() + "/log.txt") {
  setenv("VESKLOG_FILE", file_.c_str(), 1);
  setenv("VESKLOG_LEVEL", "debug", 1);
  vesklog_open_v2("TextExtractor_OCR", "OCRFilter");
}

LogCapture::~LogCapture() {
  unsetenv("VESKLOG_FILE");
  unsetenv("VESKLOG_LEVEL");
  vesklog_open_v2("TextExtractor_OCR", "OCRFilter");  // back to standard error before the file goes
}

std::vector<std::string> LogCapture::lines(const std::string& channel) const {
  static const std::regex record(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (\w+) \[([^\]]*)\] (.*))");
  std::ifstream in(file_);
  std::vector<std::string> result;
  std::smatch m;
  for (std::string line; std::getline(in, line);) {
    if (!std::regex_match(line, m, record)) {
      ADD_FAILURE() << "not a log record: " << line;
      continue;
    }
    if (channel.empty() || m[2] == channel) result.push_back(m[1].str() + " " + m[3].str());
  }
  return result;
}

void makeDirs(const std::string& path) { fs::create_directories(path); }

void copyFile(const std::string& from, const std::string& to) {
  fs::create_directories(fs::path(to).parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void writeFile(const std::string& path, const std::string& content) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string fixture(const std::string& name) { return std::string(OCR_TEST_FIXTURES) + "/" + name; }

std::vector<std::pair<std::string, std::vector<std::string>>> expectedWords() {
  std::ifstream in(fixture("expected.tsv"));
  std::vector<std::pair<std::string, std::vector<std::string>>> result;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    std::istringstream words(line.substr(tab + 1));
    result.emplace_back(line.substr(0, tab), std::vector<std::string>());
    for (std::string word; words >> word;) result.back().second.push_back(word);
  }
  return result;
}

std::vector<std::string> missingWords(const std::string& text, const std::vector<std::string>& words) {
  std::vector<std::string> missing;
  for (const std::string& word : words)
    if (text.find(word) == std::string::npos) missing.push_back(word);
  return missing;
}

bool isVersionLine(const std::string& line, const std::string& enginePath, const std::string& glibc,
                   const std::string& bits) {
  const std::string head = "INFO OCR(" + enginePath + ") $version$:  on ";
  const std::string tail = " , System $version$: " + glibc + "_" + bits;
  static const std::regex time(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)");
  return line.size() == head.size() + 19 + tail.size() && line.compare(0, head.size(), head) == 0 &&
         line.compare(head.size() + 19, tail.size(), tail) == 0 && std::regex_match(line.substr(head.size(), 19), time);
}

}  // namespace ocrtest
