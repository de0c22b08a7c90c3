#include "files.h"

#include "walk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

namespace fs = std::filesystem;

namespace host {
namespace {

// Share of suspicious bytes above which a head counts as binary.
constexpr double kMaxControlShare = 0.1;
constexpr size_t kSniffBytes = 8192;

std::string lowerExtension(const std::string& name) {
  const size_t slash = name.rfind('/');
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = name.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

}  // namespace

void collectFiles(const std::vector<std::string>& args, std::vector<InputFile>* files,
                  std::vector<WalkProblem>* problems) {
  for (const std::string& arg : args) {
    if (arg == "-") {
      files->push_back({"-", "", true});
      continue;
    }
    struct stat st;
    if (stat(arg.c_str(), &st) != 0) {
      problems->push_back({arg, strerror(errno)});
      continue;
    }
    if (S_ISDIR(st.st_mode))
      walkFolder(arg, arg, files, problems);
    else if (S_ISREG(st.st_mode))
      files->push_back({arg, fs::absolute(arg).string()});
    else
      problems->push_back({arg, std::string(entryKind(st.st_mode)) + ", not a regular file", true});
  }
}

Kind sniffKind(const std::string& name, const std::string& head, const std::string& imageTypes) {
  const std::string ext = lowerExtension(name);
  if (!ext.empty() && !imageTypes.empty()) {
    const std::string list = ";" + imageTypes + ";";
    if (list.find(";" + ext + ";") != std::string::npos) return Kind::Image;
  }
  const size_t n = std::min(head.size(), kSniffBytes);
  size_t suspicious = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(head[i]);
    if (c == 0) return Kind::Binary;
    if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v' && c != 0x1B) ++suspicious;
  }
  return n > 0 && suspicious > kMaxControlShare * static_cast<double>(n) ? Kind::Binary : Kind::Text;
}

bool readInput(const InputFile& file, std::string* content, std::string* error) {
  if (file.standardInput) {
    content->assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    return true;
  }
  std::ifstream in(file.path, std::ios::binary);
  if (!in) {
    *error = strerror(errno);
    return false;
  }
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = "read error";
    return false;
  }
  return true;
}

}  // namespace host
