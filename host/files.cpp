#include "files.h"

#include "encoding.h"
#include "walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

std::string imageTypeOf(const std::string& head) {
  auto at = [&](size_t offset, const char* bytes, size_t n) {
    return head.size() >= offset + n && head.compare(offset, n, bytes, n) == 0;
  };
  if (at(0, "\x89PNG\r\n\x1a\n", 8)) return "png";
  if (at(0, "\xFF\xD8\xFF", 3)) return "jpg";
  if (at(0, "II*\0", 4) || at(0, "MM\0*", 4)) return "tif";
  if (at(0, "RIFF", 4) && at(8, "WEBP", 4)) return "webp";
  // "BM" starts many a text: a BMP also has a known info header size and, in the reserved fields,
  // zeros.
  if (at(0, "BM", 2) && head.size() >= 18 && at(6, "\0\0\0\0", 4)) {
    const unsigned infoSize = static_cast<unsigned char>(head[14]) | static_cast<unsigned char>(head[15]) << 8;
    if (head[16] == 0 && head[17] == 0 &&
        (infoSize == 12 || infoSize == 40 || infoSize == 52 || infoSize == 56 || infoSize == 64 || infoSize == 108 ||
         infoSize == 124))
      return "bmp";
  }
  return "";
}

Kind sniffKind(const std::string& head, bool wholeFile, const std::string& imageTypes) {
  const std::string type = imageTypeOf(head);
  if (!type.empty()) {
    const std::string list = ";" + imageTypes + ";";
    auto listed = [&](const char* name) { return list.find(";" + std::string(name) + ";") != std::string::npos; };
    if (imageTypes == kAnyImageType || listed(type.c_str()) || (type == "jpg" && listed("jpeg")) ||
        (type == "tif" && listed("tiff")))
      return Kind::Image;
  }
  if (hasUtf16Mark(head)) return Kind::Text;
  const size_t n = std::min(head.size(), kHeadBytes);
  const size_t lastNul = wholeFile && n == head.size() ? n - 1 : n;  // one NUL ending a file is allowed
  size_t suspicious = 0;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(head[i]);
    if (c == 0 && i != lastNul) return Kind::Binary;
    if (c != 0 && c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f' && c != '\v' && c != 0x1B) ++suspicious;
  }
  return n > 0 && suspicious > kMaxControlShare * static_cast<double>(n) ? Kind::Binary : Kind::Text;
}

OpenInput::~OpenInput() {
  if (ownsFd_) close(fd_);
}

bool OpenInput::open(const InputFile& file, std::string* error) {
  if (file.standardInput) {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(file.path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return *error = strerror(errno), false;
    ownsFd_ = true;
  }
  struct stat st;
  if (fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
    regular_ = true;
    fileSize_ = static_cast<size_t>(st.st_size);
  }
  if (!readUpTo(kHeadBytes, &head_)) return *error = strerror(errno), false;
  if (regular_ && head_.size() >= fileSize_) atEnd_ = true;
  return true;
}

bool OpenInput::readUpTo(size_t limit, std::string* out) {
  constexpr size_t kChunk = 1 << 20;
  while (!atEnd_ && limit > 0) {
    const size_t at = out->size(), want = std::min(limit, kChunk);
    out->resize(at + want);
    const ssize_t n = read(fd_, &(*out)[at], want);
    out->resize(at + (n > 0 ? static_cast<size_t>(n) : 0));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) atEnd_ = true;
    limit -= static_cast<size_t>(n);
  }
  return true;
}

bool OpenInput::readAll(size_t limit, std::string* content, bool* tooLarge, std::string* error) {
  *tooLarge = false;
  if (regular_ && fileSize_ > limit) return *tooLarge = true, true;
  *content = std::move(head_);
  head_.clear();
  if (regular_) content->reserve(fileSize_);
  // One byte past the limit tells a stream that is too large from one that is exactly as large.
  if (content->size() <= limit && !readUpTo(limit + 1 - content->size(), content))
    return *error = std::string("read error: ") + strerror(errno), false;
  if (content->size() > limit) {
    *tooLarge = true;
    content->clear();
  }
  return true;
}

TemporaryFile::~TemporaryFile() {
  if (!path_.empty()) unlink(path_.c_str());
}

bool TemporaryFile::write(const std::string& bytes, std::string* error) {
  const char* folder = getenv("TMPDIR");
  std::string pattern = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/quorvel-XXXXXX";
  const int fd = mkstemp(&pattern[0]);
  if (fd < 0) return *error = "cannot make a temporary file: " + std::string(strerror(errno)), false;
  path_ = pattern;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool ok = done == bytes.size() && close(fd) == 0;
  if (!ok) *error = "cannot write a temporary file: " + std::string(strerror(errno));
  return ok;
}

}  // namespace host
