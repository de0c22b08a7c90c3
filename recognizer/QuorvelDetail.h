// The parse driver's building blocks, exported for tools and tests. Hosts use Quorvel.h instead.
#ifndef QUORVEL_DETAIL_H
#define QUORVEL_DETAIL_H

#include <cstddef>
#include <string>
#include <vector>

#include "export.h"

// ---- Batching entry ---------------------------------------------------------------------------

// Cuts the cleaned text into batches. mode 0, 1 or 2 picks the strategy; any other value lets the
// text's byte length B decide (B < 2*batchLen: 0, B >= 5*batchLen: 2, else 1). Batches whose bytes are
// at least 40 % ASCII digits are replaced by "" in place.
// @return 0 for a text of fewer than 50 characters (nothing written), else 1 with *effectiveMode set.
QUORVEL_API int get_batch_string(std::string* text, const int& mode, const int& batchLen, int* sampleNums,
                                 int* effectiveMode, std::vector<std::string>* batches);

// @return low + rand() % (high - low), wrapping in 32 bits; low when the bounds are equal.
QUORVEL_API int get_random_int(int low, int high);

// ---- Score post-processing --------------------------------------------------------------------

// Probabilities of a score vector, the largest score subtracted before exponentiation.
QUORVEL_API std::vector<float> softmax(std::vector<float> scores);

// Positions of values in descending order of value (NaN sorts last). Instantiated for float.
template <typename T>
QUORVEL_API std::vector<size_t> sort_indexes(const std::vector<T>& values);

// Sets the n highest values (ranked as by sort_indexes) to 1 and all others to 0.
QUORVEL_API void SetHighestNToOne(std::vector<float>& values, int n);

// A float in fixed notation with six decimals, "%f".
QUORVEL_API std::string float2string(float value);

// ---- Inference of one batch -------------------------------------------------------------------

// Runs g_coderec on the batch in pieces of at most 500 bytes and adds each piece's scores into
// `scores` position by position (the driver sizes it to the class count). Scores a piece did not
// give count as 0; a failed piece is logged and adds nothing.
// @return true when `scores` is non-empty.
QUORVEL_API bool _SCRParse(std::string batch, std::vector<float>& scores);

namespace quorvel {

// The decision taken from the final probabilities (steps after softmax and ranking).
struct Decision {
  std::string result;  // what QuorvelParse answers
  std::string detail;  // "Name: 12.345678%; " entries for the log
  bool lowConfidence = false;
};

// Top probability below 0.4: the last class name alone. Otherwise up to three classes of the ranking,
// each listed while within 0.1 of the class listed before it, each name followed by "; ".
// Requires ranking to index probabilities and names, and to be non-empty.
Decision decide(const std::vector<float>& probabilities, const std::vector<size_t>& ranking,
                const std::vector<std::string>& names);

// "Name: 12.345678%; " for every position of the ranking, in ranking order.
std::string detailText(const std::vector<float>& probabilities, const std::vector<size_t>& ranking,
                       const std::vector<std::string>& names, size_t entries);

}  // namespace quorvel

#endif
