// Batching entry of the parse driver: refuses short texts, picks the strategy, blanks digit batches.
#include <cstdint>
#include <cstdlib>

#include "QuorvelDetail.h"
#include "utils.h"

namespace {

// Fewer characters than this carry too little to classify.
constexpr int kMinTextChars = 50;
// Batches at least this share ASCII digits are tables of numbers, not code.
constexpr double kDigitShare = 0.4;

// batchLen * factor wrapped to 32 bits, as the automatic choice's bounds are defined.
int32_t wrappedProduct(int batchLen, uint32_t factor) {
  return static_cast<int32_t>(static_cast<uint32_t>(batchLen) * factor);
}

int automaticMode(size_t bytes, int batchLen) {
  const long long size = static_cast<long long>(bytes);
  if (size < wrappedProduct(batchLen, 2)) return 0;
  if (size >= wrappedProduct(batchLen, 5)) return 2;
  return 1;
}

void blankDigitBatches(std::vector<std::string>* batches) {
  for (std::string& batch : *batches) {
    size_t digits = 0;
    for (char c : batch) digits += (c >= '0' && c <= '9');
    if (static_cast<double>(digits) >= kDigitShare * static_cast<double>(batch.size())) batch.clear();
  }
}

}  // namespace

int get_batch_string(std::string* text, const int& mode, const int& batchLen, int* sampleNums, int* effectiveMode,
                     std::vector<std::string>* batches) {
  if (SCR::getStrLenUtf8(text->c_str()) < kMinTextChars) return 0;
  *effectiveMode = static_cast<unsigned int>(mode) <= 2 ? mode : automaticMode(text->size(), batchLen);
  switch (*effectiveMode) {
    case 0:
      SCR::get_full(text, batchLen, batches);
      break;
    case 1:
      SCR::get_begin_and_end(text, batchLen, batches);
      break;
    default:
      SCR::get_sample_N(text, batchLen, sampleNums, batches);
      break;
  }
  blankDigitBatches(batches);
  return 1;
}

int get_random_int(int low, int high) {
  if (low == high) return low;
  const int32_t span = static_cast<int32_t>(static_cast<uint32_t>(high) - static_cast<uint32_t>(low));
  const int32_t draw = rand() % span;
  return static_cast<int32_t>(static_cast<uint32_t>(low) + static_cast<uint32_t>(draw));
}
