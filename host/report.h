// One result per file, written as a line or a JSON object, and the summary after them.
#ifndef QUORVEL_HOST_REPORT_H
#define QUORVEL_HOST_REPORT_H

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace host {

enum class Answer { Code, Dialog, Uncertain, SetAside, Skipped, Error };

struct FileResult {
  std::string display;
  Answer answer = Answer::Error;
  std::vector<std::string> classes;  // Code: the languages; Uncertain: the fallback class
  bool ocr = false;
  size_t bytes = 0;      // of the file
  size_t textBytes = 0;  // handed to the recognizer (the OCR text for images)
  double seconds = 0;
  std::string message;  // why skipped or failed
  // An expanded archive or compressed file: the results of its members, written in its place.
  std::vector<FileResult> members;
};

const char* answerWord(Answer answer);

// Reads QuorvelParse's outcome: "dialog", "A; B; " or a lone fallback class name.
void interpretResult(int status, const std::string& result, FileResult* out);

// One tab-separated line; the name is escaped by plainName, so it never holds a tab or line break.
void writeLine(FILE* out, const FileResult& r);
// One JSON object on one line, valid UTF-8: a name that is not UTF-8 appears in "path" with U+FFFD
// for each stray byte, and in full as hexadecimal bytes in "path_bytes".
void writeJson(FILE* out, const FileResult& r);

class Summary {
 public:
  void add(const FileResult& r);
  void write(FILE* out, bool json, double seconds) const;
  bool anyError() const { return counts_.count(Answer::Error) != 0; }

 private:
  std::map<Answer, size_t> counts_;
  std::map<std::string, size_t> languages_;
  size_t files_ = 0, bytes_ = 0;
};

// A JSON string literal of text, with bytes that are not UTF-8 replaced by U+FFFD.
std::string jsonString(const std::string& text);

}  // namespace host

#endif
