// Throughput of text preparation: the three cleaning passes and the three batch strategies, in bytes
// of input per second, on a synthetic code-like text of 64 KB and 1 MB.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "QuorvelDetail.h"
#include "utils.h"

namespace {

// Source-like lines with tab indentation, CRLF endings, blank lines, numbers and the occasional
// non-ASCII comment, repeated up to the size asked for.
std::string codeLikeText(size_t bytes) {
  static const char* const lines[] = {
      "#include <stdio.h>\r\n",
      "\r\n",
      "static int table[16] = {1, 2, 3, 5, 8, 13, 21, 34};\r\n",
      "int sum(const int* values, int n) {\r\n",
      "\tint total = 0;  // \xE5\x90\x88\xE8\xAE\xA1\r\n",
      "\tfor (int i = 0; i < n; ++i) total += values[i];\r\n",
      "\treturn total;\r\n",
      "}\r\n",
      "    printf(\"caf\xC3\xA9: %d\\n\", sum(table, 8));\n",
      "        \n",
  };
  std::string text;
  text.reserve(bytes + 64);
  for (size_t i = 0; text.size() < bytes; ++i) text += lines[i % (sizeof lines / sizeof *lines)];
  text.resize(bytes);
  return text;
}

std::string cleaned(const std::string& text) {
  std::string kept;
  SCR::clean_text(text, &kept);
  return kept;
}

void setBytes(benchmark::State& state, size_t bytesPerIteration) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytesPerIteration));
}

void BM_PreData(benchmark::State& state) {
  const std::string text = codeLikeText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(SCR::pre_data(text));
  setBytes(state, text.size());
}

void BM_Censor(benchmark::State& state) {
  const std::string text = SCR::pre_data(codeLikeText(static_cast<size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(censorStrWithOutSymbol(text));
  setBytes(state, text.size());
}

void BM_FilterAlphabet(benchmark::State& state) {
  const std::string text = censorStrWithOutSymbol(SCR::pre_data(codeLikeText(static_cast<size_t>(state.range(0)))));
  std::string kept;
  for (auto _ : state) {
    SCR::filter_string1(text, SCR::kAlphabet, &kept);
    benchmark::DoNotOptimize(kept.data());
  }
  setBytes(state, text.size());
}

// The three passes as the parse driver chains them, per byte of raw input.
void BM_CleanAll(benchmark::State& state) {
  const std::string text = codeLikeText(static_cast<size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(cleaned(text));
  setBytes(state, text.size());
}

// get_batch_string on cleaned text with the driver's defaults (batchLen 500, sampleNums 5), per byte
// of cleaned text. range(0): mode; range(1): raw size.
void BM_Batch(benchmark::State& state) {
  std::string text = cleaned(codeLikeText(static_cast<size_t>(state.range(1))));
  const int mode = static_cast<int>(state.range(0));
  const int batchLen = 500;
  for (auto _ : state) {
    int sampleNums = 5;
    int effectiveMode = 0;
    std::vector<std::string> batches;
    benchmark::DoNotOptimize(get_batch_string(&text, mode, batchLen, &sampleNums, &effectiveMode, &batches));
    benchmark::DoNotOptimize(batches.data());
  }
  setBytes(state, text.size());
}

constexpr int64_t k64K = 64 << 10;
constexpr int64_t k1M = 1 << 20;

BENCHMARK(BM_PreData)->Arg(k64K)->Arg(k1M);
BENCHMARK(BM_Censor)->Arg(k64K)->Arg(k1M);
BENCHMARK(BM_FilterAlphabet)->Arg(k64K)->Arg(k1M);
BENCHMARK(BM_CleanAll)->Arg(k64K)->Arg(k1M);
BENCHMARK(BM_Batch)->ArgNames({"mode", "bytes"})->ArgsProduct({{0, 1, 2}, {k64K, k1M}});

}  // namespace

// Runs each benchmark for 0.1 s unless the command line asks otherwise: a flag given later wins.
int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char shortRun[] = "--benchmark_min_time=0.1";
  args.insert(args.begin() + 1, shortRun);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);  // argv[argc] stays null
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
