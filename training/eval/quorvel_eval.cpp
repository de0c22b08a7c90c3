// Evaluation and timing of a model bundle through the built library, as a host would use it.
//
//   quorvel_eval classify <data dir> <list> <out> [mode]
//       <list>: lines "id<TAB>class<TAB>file"; every file is read whole and given to QuorvelParse with
//       the host defaults (automatic mode, batchLen 500, sampleNums 5), or in the mode given (0: the whole
//       text covered). <out> receives
//       "id<TAB>class<TAB>return<TAB>answer<TAB>result": answer is the first class of the result, and
//       "dialog" for a 0 return or an empty result.
//   quorvel_eval time <data dir> [runs]
//       one inference of a 500-byte piece on one thread (SCRNet::SCRParse), best and median of 5 rounds.
// <data dir> holds models/SCR/SCR.onnx and models/SCR/code.txt; the program works in it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "Quorvel.h"
#include "SCRNet.h"

extern SCRNet* g_coderec;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::string firstClass(int ret, const std::string& result) {
  if (ret == 0 || result.empty()) return "dialog";
  const size_t end = result.find("; ");
  return end == std::string::npos ? result : result.substr(0, end);
}

int classify(const std::string& list, const std::string& outPath, int mode) {
  std::ifstream in(list);
  std::ofstream out(outPath);
  std::string line;
  size_t done = 0;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, cls, file;
    if (!std::getline(fields, id, '\t') || !std::getline(fields, cls, '\t') || !std::getline(fields, file)) continue;
    const std::string text = readFile(file);
    std::string result;
    const int ret = QuorvelParse(text, mode, result, -1, -1);
    out << id << '\t' << cls << '\t' << ret << '\t' << firstClass(ret, result) << '\t' << result << '\n';
    if (++done % 500 == 0) std::cerr << "\r  classified " << done << std::flush;
  }
  std::cerr << "\r  classified " << done << "\n";
  return 0;
}

int timeOne(int runs) {
  std::string piece;
  const std::string sample = "for (int i = 0; i < n; ++i) { total += values[i] * weights[i]; } return total; ";
  while (piece.size() < 500) piece += sample;
  piece.resize(500);
  std::vector<float> scores;
  for (int i = 0; i < 50; ++i) {  // warm-up
    scores.clear();
    g_coderec->SCRParse(piece, &scores);
  }
  std::vector<double> rounds;
  for (int r = 0; r < 5; ++r) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
      scores.clear();
      g_coderec->SCRParse(piece, &scores);
    }
    const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
    rounds.push_back(spent.count() / runs);
  }
  std::sort(rounds.begin(), rounds.end());
  std::printf("inference_ms_best %.4f\ninference_ms_median %.4f\nruns %d\nclasses %zu\n", rounds.front(),
              rounds[rounds.size() / 2], runs, scores.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: quorvel_eval classify <data dir> <list> <out> [mode] | time <data dir> [runs]\n";
    return 2;
  }
  const std::string command = argv[1];
  if (chdir(argv[2]) != 0) {
    std::perror(argv[2]);
    return 2;
  }
  try {  // a bundle that fails to load throws out of QuorvelInit, as a host sees it
    if (QuorvelInit() != 1) {
      std::cerr << "QuorvelInit failed\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << "QuorvelInit failed: " << e.what() << "\n";
    return 1;
  }
  int rc = 2;
  if (command == "classify" && (argc == 5 || argc == 6)) {
    rc = classify(argv[3], argv[4], argc == 6 ? std::atoi(argv[5]) : -1);
  }
  if (command == "time") rc = timeOne(argc > 3 ? std::atoi(argv[3]) : 2000);
  QuorvelRelease();
  return rc;
}
