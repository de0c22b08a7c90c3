// Load helpers for the recognizer's entry points: the same texts parsed by many threads at once.
#ifndef QUORVEL_CONCURRENT_PARSE_H
#define QUORVEL_CONCURRENT_PARSE_H

#include <string>
#include <vector>

namespace testing_support {

// QuorvelParse's answers for every text in mode 0, then for every text in mode 1.
std::vector<std::string> answersInModes01(const std::vector<std::string>& texts);

// Runs `threads` threads at once, each parsing every text in modes 0 and 1 for `rounds` rounds, and
// returns how many answers each thread got that differ from `expected` (answersInModes01's order).
std::vector<int> concurrentMismatches(const std::vector<std::string>& texts, const std::vector<std::string>& expected,
                                      int threads, int rounds);

}  // namespace testing_support

#endif
