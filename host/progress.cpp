#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace host {
namespace {

constexpr size_t kWidestBar = 30;
constexpr size_t kNarrowestBar = 5;

}  // namespace

std::string progressLine(size_t done, size_t total, size_t bytes, size_t width) {
  char counts[96];
  snprintf(counts, sizeof counts, "%zu/%zu files, %.1f MB", done, total,
           static_cast<double>(bytes) / (1024.0 * 1024.0));
  const size_t room = width > 0 ? width - 1 : 0;
  const std::string text = counts;
  if (text.size() + 3 + kNarrowestBar > room) return text.substr(0, room);
  const size_t bar = std::min(kWidestBar, room - text.size() - 3);
  const size_t filled = total != 0 ? std::min(done, total) * bar / total : 0;
  return "[" + std::string(filled, '#') + std::string(bar - filled, ' ') + "] " + text;
}

size_t terminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  const char* columns = getenv("COLUMNS");
  const long fromEnvironment = columns != nullptr ? strtol(columns, nullptr, 10) : 0;
  return fromEnvironment > 0 ? static_cast<size_t>(fromEnvironment) : 80;
}

Progress::Progress(size_t done, size_t total, bool wanted)
    : enabled_(wanted && total > 1 && isatty(STDERR_FILENO)), total_(total), done_(done) {
  if (enabled_) thread_ = std::thread([this] { run(); });
}

Progress::~Progress() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (drawn_) fprintf(stderr, "\r\033[K");
}

void Progress::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (wake_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stop_; })) return;
  while (!stop_) {
    // Read each time: the terminal may have been resized.
    fprintf(stderr, "\r%s\033[K", line(terminalWidth()).c_str());
    drawn_ = true;
    wake_.wait_for(lock, std::chrono::milliseconds(200), [this] { return stop_; });
  }
}

}  // namespace host
