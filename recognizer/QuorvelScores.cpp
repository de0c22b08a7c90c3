// Score post-processing: probabilities, ranking, and the decision the driver answers with.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "QuorvelDetail.h"

namespace {

// The driver's decision thresholds.
constexpr double kConfidence = 0.4;  // top probability below this: fallback class
constexpr double kCloseness = 0.1;   // a further class is listed when this close to the last listed
constexpr size_t kAnswerPlaces = 3;  // at most this many classes are answered
constexpr float kPercentScale = 100.0f;

}  // namespace

std::vector<float> softmax(std::vector<float> scores) {
  std::vector<float> probabilities;
  if (scores.empty()) return probabilities;
  float largest = scores[0];
  for (float v : scores)
    if (v > largest) largest = v;
  float sum = 0.0f;
  for (float v : scores)
    sum = static_cast<float>(static_cast<double>(sum) + std::exp(static_cast<double>(v - largest)));
  probabilities.reserve(scores.size());
  for (float v : scores)
    probabilities.push_back(static_cast<float>(std::exp(static_cast<double>(v - largest)) / static_cast<double>(sum)));
  return probabilities;
}

template <typename T>
std::vector<size_t> sort_indexes(const std::vector<T>& values) {
  std::vector<size_t> positions(values.size());
  std::iota(positions.begin(), positions.end(), 0);
  // NaN ranks as the lowest value, so the comparison stays a strict weak order for std::sort.
  auto key = [&](size_t i) { return std::isnan(values[i]) ? -INFINITY : values[i]; };
  std::sort(positions.begin(), positions.end(), [&](size_t a, size_t b) { return key(a) > key(b); });
  return positions;
}

template QUORVEL_API std::vector<size_t> sort_indexes<float>(const std::vector<float>& values);

void SetHighestNToOne(std::vector<float>& values, int n) {
  const std::vector<size_t> ranking = sort_indexes(values);
  for (size_t place = 0; place < ranking.size(); ++place)
    values[ranking[place]] = static_cast<long long>(place) < n ? 1.0f : 0.0f;
}

std::string float2string(float value) {
  char buffer[58];  // room for any float in "%f"
  snprintf(buffer, sizeof buffer, "%f", static_cast<double>(value));
  return buffer;
}

namespace quorvel {
namespace {

std::string detailEntry(const std::string& name, float probability) {
  return name + ": " + float2string(probability * kPercentScale) + "%; ";
}

}  // namespace

std::string detailText(const std::vector<float>& probabilities, const std::vector<size_t>& ranking,
                       const std::vector<std::string>& names, size_t entries) {
  std::string detail;
  for (size_t place = 0; place < std::min(entries, ranking.size()); ++place)
    detail += detailEntry(names[ranking[place]], probabilities[ranking[place]]);
  return detail;
}

Decision decide(const std::vector<float>& probabilities, const std::vector<size_t>& ranking,
                const std::vector<std::string>& names) {
  Decision decision;
  const float top = probabilities[ranking[0]];
  if (static_cast<double>(top) < kConfidence) {
    decision.lowConfidence = true;
    decision.result = names.back();
    decision.detail = detailText(probabilities, ranking, names, 1);
    return decision;
  }
  float reference = top;
  for (size_t place = 0; place < std::min(kAnswerPlaces, ranking.size()); ++place) {
    const size_t cls = ranking[place];
    const float difference = std::fabs(probabilities[cls] - reference);
    if (place > 0 && !(static_cast<double>(difference) < kCloseness)) continue;
    decision.detail += detailEntry(names[cls], probabilities[cls]);
    decision.result += names[cls] + "; ";
    reference = probabilities[cls];
  }
  return decision;
}

}  // namespace quorvel
