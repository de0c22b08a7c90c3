// Batch strategies: how a cleaned text is cut into windows of batchLen characters.
#include <cmath>
#include <cstdlib>

#include "utils.h"

namespace SCR {
namespace {

// Mode 0 starts a window every 250 characters; a text of at most that many gets one window.
constexpr int kFullStride = 250;

std::vector<std::string> cut(const std::string& text, int total, std::vector<unsigned int> offsets, int length) {
  return get_utf8_substr(text.c_str(), total, std::move(offsets), length);
}

}  // namespace

void get_full(std::string* text, const int& batchLen, std::vector<std::string>* batches) {
  if (batchLen < 0) {  // a negative window length cuts nothing
    batches->clear();
    return;
  }
  const int total = getStrLenUtf8(text->c_str());
  long long windows = 1;
  if (total > kFullStride) windows = static_cast<long long>(std::ceil((total - batchLen) / double(kFullStride))) + 1;
  if (windows < 1) windows = 1;
  std::vector<unsigned int> offsets;
  offsets.reserve(static_cast<size_t>(windows));
  for (long long i = 0; i < windows; ++i) offsets.push_back(static_cast<unsigned int>(i * kFullStride));
  *batches = cut(*text, total, std::move(offsets), batchLen);
}

void get_begin_and_end(std::string* text, const int& batchLen, std::vector<std::string>* batches) {
  if (batchLen < 0) {  // unsigned, it would compare as huge and give the whole text twice
    batches->clear();
    return;
  }
  const int total = getStrLenUtf8(text->c_str());
  if (static_cast<unsigned int>(total) < static_cast<unsigned int>(batchLen)) {
    batches->push_back(*text);
    batches->push_back(*text);
    return;
  }
  *batches = cut(*text, total, {0u, static_cast<unsigned int>(total - batchLen)}, batchLen);
}

void get_sample_N(std::string* text, const int& batchLen, int* sampleNums, std::vector<std::string>* batches) {
  const int total = getStrLenUtf8(text->c_str());
  const unsigned int wholeWindows =
      batchLen <= 0 ? 0u : static_cast<unsigned int>(total) / static_cast<unsigned int>(batchLen);
  if (*sampleNums > 0 && static_cast<unsigned int>(*sampleNums) > wholeWindows)
    *sampleNums = static_cast<int>(wholeWindows);
  const int samples = *sampleNums;
  std::vector<unsigned int> offsets;
  if (samples >= 1 && total > 0) {
    offsets.reserve(static_cast<size_t>(samples));
    const unsigned int lastStart = static_cast<unsigned int>(total - batchLen);
    for (int i = 0; i < samples; ++i) offsets.push_back(get_random_int(0, lastStart));
  }
  *batches = offsets.empty() ? std::vector<std::string>{} : cut(*text, total, std::move(offsets), batchLen);
}

unsigned int get_random_int(unsigned int low, unsigned int high) {
  if (low == high) return low;
  return low + static_cast<unsigned int>(rand()) % (high - low);
}

}  // namespace SCR
