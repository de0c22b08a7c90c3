// The progress line on standard error while a scan runs.
#ifndef QUORVEL_HOST_PROGRESS_H
#define QUORVEL_HOST_PROGRESS_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace host {

// The line for done of total files and bytes read, at most width - 1 characters so that it never
// wraps (a terminal may wrap a line that fills its last column). The bar shrinks, then goes, before
// the counts are cut.
std::string progressLine(size_t done, size_t total, size_t bytes, size_t width);

// The width of the terminal on standard error, else $COLUMNS, else 80.
size_t terminalWidth();

// Redraws the line every 200 ms once the scan has taken 500 ms, only when standard error is a
// terminal; erases it when destroyed.
class Progress {
 public:
  // total counts every line the scan will write, including the `done` already written.
  Progress(size_t done, size_t total, bool wanted);
  ~Progress();
  // One input done, which gave `lines` lines (an archive gives one per member).
  void advance(size_t bytes, size_t lines = 1) {
    total_ += lines - 1;
    done_ += lines;
    bytes_ += bytes;
  }
  // The line as it would be drawn now.
  std::string line(size_t width) const { return progressLine(done_, total_, bytes_, width); }

 private:
  void run();

  const bool enabled_;
  std::atomic<size_t> total_, done_, bytes_{0};
  bool stop_ = false, drawn_ = false;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace host

#endif
