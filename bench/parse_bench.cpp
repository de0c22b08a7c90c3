// Inference per piece and whole parses of 100 B to 1 MB texts, on the shipped model bundle
// (data/models/SCR), or on the tests' stand-in model when no bundle has been built yet.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "Quorvel.h"
#include "SCRNet.h"

namespace fs = std::filesystem;

extern SCRNet* g_coderec;

namespace {

// A C-like source text of about `bytes` bytes.
std::string codeText(size_t bytes) {
  static const char* lines[] = {"#include <stdio.h>\n",
                                "static int count_items(const char *list, int n) {\n",
                                "    int total = 0;\n",
                                "    for (int i = 0; i < n; ++i) {\n",
                                "        if (list[i] == ',') total++;\n",
                                "    }\n",
                                "    return total; /* number of separators */\n",
                                "}\n"};
  std::string text;
  for (size_t i = 0; text.size() < bytes; ++i) text += lines[i % 8];
  text.resize(bytes);
  return text;
}

// Sets the working directory to a data folder holding models/SCR and loads the recognizer once.
bool loadOnce() {
  static bool loaded = [] {
    const fs::path bundle = fs::path(QUORVEL_SOURCE_DIR) / "data";
    fs::path dataDir = bundle;
    if (!fs::exists(bundle / "models/SCR/SCR.onnx")) {
      dataDir = fs::temp_directory_path() / "quorvel-bench";
      fs::create_directories(dataDir / "models/SCR");
      fs::copy_file(fs::path(QUORVEL_TEST_FIXTURES) / "count_model.onnx", dataDir / "models/SCR/SCR.onnx",
                    fs::copy_options::overwrite_existing);
      FILE* f = fopen((dataDir / "models/SCR/code.txt").c_str(), "w");
      if (f) fputs("Alpha\nBeta\nGamma\nDelta\n", f), fclose(f);
      fprintf(stderr, "no model bundle built: timing the stand-in test model\n");
    }
    fs::current_path(dataDir);
    setenv("VESKLOG_LEVEL", "warn", 0);
    return QuorvelInit() == 1;
  }();
  return loaded;
}

void BM_InferOnePiece(benchmark::State& state) {
  if (!loadOnce()) return state.SkipWithError("model did not load");
  std::string piece = codeText(500);
  for (char& c : piece)
    if (c == '\n') c = ' ';
  std::vector<float> scores;
  for (auto _ : state) {
    scores.clear();
    g_coderec->SCRParse(piece, &scores);
    benchmark::DoNotOptimize(scores.data());
  }
}
BENCHMARK(BM_InferOnePiece)->Unit(benchmark::kMicrosecond);

void BM_Parse(benchmark::State& state) {
  if (!loadOnce()) return state.SkipWithError("model did not load");
  const std::string text = codeText(static_cast<size_t>(state.range(0)));
  const int mode = static_cast<int>(state.range(1));
  std::string result;
  for (auto _ : state) {
    QuorvelParse(text, mode, result, -1, -1);
    benchmark::DoNotOptimize(result.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
  state.SetLabel(result);
}
// Mode -1 lets the text's length choose, as hosts usually call it; mode 0 infers every window.
BENCHMARK(BM_Parse)
    ->ArgsProduct({{100, 10 * 1024, 1024 * 1024}, {-1, 0}})
    ->ArgNames({"bytes", "mode"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
