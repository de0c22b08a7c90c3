// libMorvik.so: channels, level filter and record writing.
#include "vesklog.h"

#include <fcntl.h>
#include <sys/time.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

enum Level { kDebug = 0, kInfo = 1, kWarn = 2, kError = 3, kOff = 4 };

const char* const kLevelWords[] = {"DEBUG", "INFO", "WARN", "ERROR"};

// Channels are never closed, so a fixed ceiling keeps a host that opens channels in a loop bounded.
constexpr size_t kMaxChannels = 1024;

struct Channel {
  std::string module;
  std::string component;
};

struct State {
  std::mutex mutex;
  std::vector<Channel> channels;
  // Info records of the recognizer carry the inspected text, so a host that sets nothing gets only
  // warnings and errors.
  int minLevel = kWarn;
  std::string filePath;  // empty: standard error
  int fd = STDERR_FILENO;
};

State& state() {
  static State* s = new State;  // never destroyed: logging stays usable during static destruction
  return *s;
}

int parseLevel(const char* text) {
  if (text == nullptr || *text == '\0') return kWarn;
  static const struct {
    const char* word;
    int level;
  } words[] = {{"debug", kDebug},  {"info", kInfo},   {"warn", kWarn},
               {"warning", kWarn}, {"error", kError}, {"off", kOff}};
  for (const auto& w : words)
    if (strcasecmp(text, w.word) == 0) return w.level;
  return kWarn;
}

// Caller holds the mutex.
void applyEnvironment(State& s) {
  s.minLevel = parseLevel(getenv("VESKLOG_LEVEL"));
  const char* path = getenv("VESKLOG_FILE");
  std::string wanted = path ? path : "";
  if (wanted == s.filePath) return;
  if (s.fd != STDERR_FILENO) close(s.fd);
  s.fd = STDERR_FILENO;
  s.filePath.clear();
  if (wanted.empty()) return;
  int fd = open(wanted.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;  // stays on standard error
  s.fd = fd;
  s.filePath = wanted;
}

std::string timeStamp() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm local;
  localtime_r(&tv.tv_sec, &local);
  char buf[40];
  size_t n = strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(tv.tv_usec / 1000));
  return buf;
}

std::string formatMessage(const char* format, va_list args) {
  if (format == nullptr) return "(null)";
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int n = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return "(unformattable message)";
  if (static_cast<size_t>(n) < sizeof small) return std::string(small, n);
  std::string big(static_cast<size_t>(n) + 1, '\0');
  vsnprintf(&big[0], big.size(), format, args);
  big.resize(n);
  return big;
}

// Writes the pieces as one record. One writev keeps a record whole against other writers (the file
// is opened for appending) without first copying a long message into the record.
void writeRecord(int fd, std::initializer_list<std::pair<const char*, size_t>> pieces) {
  std::vector<struct iovec> parts;
  for (const auto& [data, size] : pieces) parts.push_back({const_cast<char*>(data), size});
  size_t index = 0;
  while (index < parts.size()) {
    ssize_t n = writev(fd, &parts[index], static_cast<int>(parts.size() - index));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a failed write is dropped, never reported
    for (size_t done = static_cast<size_t>(n); index < parts.size() && done > 0;) {  // a short write goes on
      const size_t step = std::min(done, parts[index].iov_len);
      parts[index].iov_base = static_cast<char*>(parts[index].iov_base) + step;
      parts[index].iov_len -= step;
      done -= step;
      if (parts[index].iov_len == 0) ++index;
    }
    while (index < parts.size() && parts[index].iov_len == 0) ++index;
  }
}

void logRecord(int level, int handle, const char* format, va_list args) {
  State& s = state();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (level < s.minLevel) return;
  }
  const std::string message = formatMessage(format, args);
  std::lock_guard<std::mutex> lock(s.mutex);
  const bool known = handle >= 0 && static_cast<size_t>(handle) < s.channels.size();
  std::string head = timeStamp();
  head += ' ';
  head += kLevelWords[level];
  head += " [";
  head += known ? s.channels[handle].module : "?";
  head += '/';
  head += known ? s.channels[handle].component : "?";
  head += "] ";
  writeRecord(s.fd, {{head.data(), head.size()}, {message.data(), message.size()}, {"\n", 1}});
}

}  // namespace

extern "C" {

int vesklog_open_v2(const char* module, const char* component) {
  if (module == nullptr || component == nullptr) return -1;
  State& s = state();
  std::lock_guard<std::mutex> lock(s.mutex);
  applyEnvironment(s);
  for (size_t i = 0; i < s.channels.size(); ++i)
    if (s.channels[i].module == module && s.channels[i].component == component) return static_cast<int>(i);
  if (s.channels.size() >= kMaxChannels) return -1;
  s.channels.push_back({module, component});
  return static_cast<int>(s.channels.size() - 1);
}

#define VESKLOG_LEVEL_FUNCTION(name, level)        \
  void name(int handle, const char* format, ...) { \
    va_list args;                                  \
    va_start(args, format);                        \
    logRecord(level, handle, format, args);        \
    va_end(args);                                  \
  }

VESKLOG_LEVEL_FUNCTION(vesklog_debug, kDebug)
VESKLOG_LEVEL_FUNCTION(vesklog_info, kInfo)
VESKLOG_LEVEL_FUNCTION(vesklog_warn, kWarn)
VESKLOG_LEVEL_FUNCTION(vesklog_error, kError)

}  // extern "C"
