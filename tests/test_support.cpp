#include "test_support.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "vesklog.h"

namespace fs = std::filesystem;

namespace testing_support {

const char kCountClasses[] = "Alpha\nBeta\nGamma\nDelta\n";

TempDir::TempDir() {
  char pattern[] = "/tmp/quorvel-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = fs::canonical(pattern).string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedCwd::ScopedCwd(const std::string& dir) : previous_(fs::current_path().string()) { fs::current_path(dir); }

ScopedCwd::~ScopedCwd() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
}

LogCapture::LogCapture() : file_(dir_.path() + "/log.txt") {
  setenv("VESKLOG_FILE", file_.c_str(), 1);
  setenv("VESKLOG_LEVEL", "debug", 1);
  vesklog_open_v2("test", "capture");  // the library takes its settings when a channel is opened
}

LogCapture::~LogCapture() {
  unsetenv("VESKLOG_FILE");
  unsetenv("VESKLOG_LEVEL");
  vesklog_open_v2("test", "capture");
}

std::vector<LogRecord> LogCapture::records() const {
  static const std::regex head(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} (DEBUG|INFO|WARN|ERROR) \[([^\]]*)\] )");
  std::vector<LogRecord> out;
  std::istringstream in(readFile(file_));
  std::string line;
  while (std::getline(in, line)) {
    std::smatch m;
    if (std::regex_search(line, m, head)) {
      out.push_back({m[1], m[2], m.suffix()});
    } else if (!out.empty()) {
      out.back().message += "\n" + line;  // a newline inside a message
    }
  }
  return out;
}

std::vector<std::string> LogCapture::messages(const std::string& level) const {
  std::vector<std::string> out;
  for (const LogRecord& r : records())
    if (level.empty() || r.level == level) out.push_back(r.message);
  return out;
}

void LogCapture::clear() const { std::ofstream(file_, std::ios::trunc); }

void makeDirs(const std::string& path) { fs::create_directories(path); }

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void layOutModel(const std::string& dataDir, const std::string& modelFixture, const char* classFile) {
  const std::string dir = dataDir + "/models/SCR";
  makeDirs(dir);
  fs::copy_file(std::string(QUORVEL_TEST_FIXTURES) + "/" + modelFixture, dir + "/SCR.onnx",
                fs::copy_options::overwrite_existing);
  if (classFile != nullptr) writeFile(dir + "/code.txt", classFile);
}

std::string piece(int a, int b, int c, int d, size_t length) {
  std::string tail = std::string(a, 'a') + std::string(b, 'b') + std::string(c, 'c') + std::string(d, 'd');
  if (tail.size() > length - 10) throw std::invalid_argument("piece: too many counted letters");
  return std::string(length - tail.size(), 'x') + tail;
}

}  // namespace testing_support
