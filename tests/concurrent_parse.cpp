#include "concurrent_parse.h"

#include <thread>

#include "Quorvel.h"

namespace testing_support {

std::vector<std::string> answersInModes01(const std::vector<std::string>& texts) {
  std::vector<std::string> answers;
  for (int mode : {0, 1})
    for (const auto& text : texts) {
      std::string result;
      QuorvelParse(text, mode, result, -1, -1);
      answers.push_back(result);
    }
  return answers;
}

std::vector<int> concurrentMismatches(const std::vector<std::string>& texts, const std::vector<std::string>& expected,
                                      int threads, int rounds) {
  std::vector<int> mismatches(threads, 0);
  std::vector<std::thread> workers;
  for (int t = 0; t < threads; ++t)
    workers.emplace_back([&, t] {
      for (int round = 0; round < rounds; ++round)
        if (answersInModes01(texts) != expected) ++mismatches[t];
    });
  for (auto& w : workers) w.join();
  return mismatches;
}

}  // namespace testing_support
