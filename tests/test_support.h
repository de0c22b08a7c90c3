// Helpers shared by the recognizer tests: temporary trees, working directory, captured log records,
// and texts whose scores the stand-in count model makes predictable.
#ifndef QUORVEL_TEST_SUPPORT_H
#define QUORVEL_TEST_SUPPORT_H

#include <string>
#include <vector>

namespace testing_support {

// A fresh folder under /tmp, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Changes the working directory for the object's lifetime.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir);
  ~ScopedCwd();

 private:
  std::string previous_;
};

struct LogRecord {
  std::string level;    // DEBUG, INFO, WARN, ERROR
  std::string channel;  // module/component
  std::string message;  // may hold newlines
};

// Sends the logging library's records to a file for the object's lifetime, at debug level.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  std::vector<LogRecord> records() const;
  // Messages of the records at `level` (all levels when empty).
  std::vector<std::string> messages(const std::string& level = "") const;
  void clear() const;

 private:
  TempDir dir_;
  std::string file_;
};

void makeDirs(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);

// Lays out <dataDir>/models/SCR/{SCR.onnx, code.txt}; an empty classFile writes no class file.
void layOutModel(const std::string& dataDir, const std::string& modelFixture, const char* classFile);

// The class file of the count model: one class per counted letter a, b, c, d.
extern const char kCountClasses[];

// A 500-byte piece of filler 'x' ending in the given numbers of a, b, c and d, so that the count
// model scores Alpha..Delta as 0.1 times those numbers (the ten repeated rows are filler).
std::string piece(int a, int b, int c, int d, size_t length = 500);

}  // namespace testing_support

#endif
