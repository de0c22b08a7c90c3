#include "report.h"

#include <algorithm>

#include "names.h"

namespace host {

const char* answerWord(Answer answer) {
  switch (answer) {
    case Answer::Code:
      return "code";
    case Answer::Dialog:
      return "dialog";
    case Answer::Uncertain:
      return "uncertain";
    case Answer::SetAside:
      return "set-aside";
    case Answer::Skipped:
      return "skipped";
    case Answer::Error:
      return "error";
  }
  return "error";
}

void interpretResult(int status, const std::string& result, FileResult* out) {
  out->classes.clear();
  if (status == 0) {
    out->answer = Answer::SetAside;
    out->message = "too short or too little code material";
    return;
  }
  if (result == "dialog") {
    out->answer = Answer::Dialog;
    return;
  }
  size_t start = 0;
  for (size_t end; (end = result.find("; ", start)) != std::string::npos; start = end + 2)
    out->classes.push_back(result.substr(start, end - start));
  if (!out->classes.empty()) {
    // Ordinary text is a class of the model too: ranked first, it is the answer; ranked lower, it
    // is no language of the code.
    const bool prose = out->classes.front() == "dialog";
    out->answer = prose ? Answer::Dialog : Answer::Code;
    if (prose) out->classes.clear();
    out->classes.erase(std::remove(out->classes.begin(), out->classes.end(), "dialog"), out->classes.end());
    return;
  }
  // A lone name is the low-confidence fallback; the shipped class list ends in "dialog".
  out->answer = Answer::Uncertain;
  out->classes.push_back(result);
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : validUtf8(text)) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

namespace {

std::string joined(const std::vector<std::string>& names, const char* separator) {
  std::string out;
  for (const auto& n : names) out += (out.empty() ? "" : separator) + n;
  return out;
}

}  // namespace

void writeLine(FILE* out, const FileResult& r) {
  std::string line = plainName(r.display) + "\t" + answerWord(r.answer);
  if (r.answer == Answer::Code || r.answer == Answer::Uncertain)
    line += "\t" + joined(r.classes, ",");
  else if (r.answer == Answer::Dialog)
    line += "\tdialog";
  else if (!r.message.empty())
    line += "\t" + r.message;
  if (r.ocr) line += "\tocr";
  fprintf(out, "%s\n", line.c_str());
}

void writeJson(FILE* out, const FileResult& r) {
  std::string classes;
  for (const auto& c : r.classes) classes += (classes.empty() ? "" : ",") + jsonString(c);
  fprintf(out,
          "{\"path\":%s,\"answer\":\"%s\",\"classes\":[%s],\"ocr\":%s,\"bytes\":%zu,\"text_bytes\":%zu,"
          "\"ms\":%.3f%s%s}\n",
          jsonString(r.display).c_str(), answerWord(r.answer), classes.c_str(), r.ocr ? "true" : "false", r.bytes,
          r.textBytes, r.seconds * 1000.0, r.message.empty() ? "" : (",\"message\":" + jsonString(r.message)).c_str(),
          isValidUtf8(r.display) ? "" : (",\"path_bytes\":\"" + hexBytes(r.display) + "\"").c_str());
}

void Summary::add(const FileResult& r) {
  ++counts_[r.answer];
  ++files_;
  bytes_ += r.bytes;
  if (r.answer == Answer::Code)
    for (const auto& c : r.classes) ++languages_[c];
}

void Summary::write(FILE* out, bool json, double seconds) const {
  const double mb = static_cast<double>(bytes_) / (1024.0 * 1024.0);
  const double filesPerSecond = seconds > 0 ? files_ / seconds : 0;
  if (json) {
    std::string answers, languages;
    for (const auto& [answer, n] : counts_)
      answers += (answers.empty() ? "" : ",") + std::string("\"") + answerWord(answer) + "\":" + std::to_string(n);
    for (const auto& [name, n] : languages_)
      languages += (languages.empty() ? "" : ",") + jsonString(name) + ":" + std::to_string(n);
    fprintf(out,
            "{\"summary\":{\"files\":%zu,\"bytes\":%zu,\"seconds\":%.3f,\"files_per_second\":%.1f,"
            "\"mb_per_second\":%.3f,\"answers\":{%s},\"languages\":{%s}}}\n",
            files_, bytes_, seconds, filesPerSecond, seconds > 0 ? mb / seconds : 0.0, answers.c_str(),
            languages.c_str());
    return;
  }
  std::string answers;
  for (const auto& [answer, n] : counts_)
    answers += std::string(answers.empty() ? "" : ", ") + answerWord(answer) + " " + std::to_string(n);
  fprintf(out, "\n%zu files (%s) in %.2f s: %.1f files/s, %.2f MB/s\n", files_, answers.c_str(), seconds,
          filesPerSecond, seconds > 0 ? mb / seconds : 0.0);
  if (!languages_.empty()) {
    std::string langs;
    for (const auto& [name, n] : languages_) langs += (langs.empty() ? "" : ", ") + name + " " + std::to_string(n);
    fprintf(out, "languages: %s\n", langs.c_str());
  }
}

}  // namespace host
