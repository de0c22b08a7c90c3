#include "repeatable.h"

#include <cstdlib>
#include <mutex>

namespace host {
namespace {

// Every library call that draws from rand() holds this lock from srand() to its return.
std::mutex g_generatorLock;

// The library's own multiple of the window length from which its automatic choice takes mode 2.
constexpr uint64_t kSampledFromWindows = 5;

}  // namespace

int modeFor(const Options& options, size_t textBytes) {
  if (options.modeGiven) return options.mode;
  return textBytes <= kWholeTextBytes ? 0 : -1;
}

bool mayDrawWindows(int mode, int batchLen, size_t textBytes) {
  if (mode == 2) return true;
  if (mode == 0 || mode == 1) return false;
  const uint64_t window = batchLen == -1 ? 500 : static_cast<uint64_t>(batchLen > 0 ? batchLen : 0);
  return textBytes >= kSampledFromWindows * window;
}

uint32_t textSeed(const std::string& text) {
  uint32_t hash = 2166136261u;
  for (unsigned char c : text) hash = (hash ^ c) * 16777619u;
  return hash;
}

int parseRepeatably(const ParseFunction& parse, const std::string& text, const Options& options, std::string& result) {
  const int mode = modeFor(options, text.size());
  std::unique_lock<std::mutex> lock(g_generatorLock, std::defer_lock);
  if (mayDrawWindows(mode, options.batchLen, text.size())) {
    lock.lock();
    srand(textSeed(text));
  }
  return parse(text, mode, result, options.batchLen, options.samples);
}

}  // namespace host
