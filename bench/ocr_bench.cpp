// OCR time per image through the engine's entry point: small rendered fixtures, a 300-dpi A4 page
// tiled from the code listing at start-up, and the refusal of a decompression bomb.
// Run with OMP_THREAD_LIMIT unset or 1: the engine recognises on the calling thread only.
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Zantrel.h"
#include "host_task.h"

namespace {

constexpr int kPageWidth = 2480;  // A4 at 300 dpi
constexpr int kPageHeight = 3508;
constexpr int kPageMargin = 120;
constexpr int kTileGap = 40;

// The refusal benchmark would write one warning per iteration.
const bool g_quietLog = setenv("VESKLOG_LEVEL", "error", 1) == 0;

std::string fixture(const char* name) { return std::string(OCR_TEST_FIXTURES) + "/" + name; }

// A page of text: the code listing repeated in two columns; removed when the program ends.
class Page {
 public:
  Page() {
    char dir[] = "/tmp/ocr-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    dir_ = dir;
    Pix* tile = pixRead(fixture("code.png").c_str());
    Pix* page = tile ? pixCreate(kPageWidth, kPageHeight, pixGetDepth(tile)) : nullptr;
    if (page != nullptr) {
      pixSetAll(page);  // white
      const int w = pixGetWidth(tile), h = pixGetHeight(tile);
      for (int x = kPageMargin; x + w <= kPageWidth - kPageMargin; x += w + kTileGap)
        for (int y = kPageMargin; y + h <= kPageHeight - kPageMargin; y += h + kTileGap)
          pixRasterop(page, x, y, w, h, PIX_SRC, tile, 0, 0);
      path_ = dir_ + "/page.png";
      if (pixWrite(path_.c_str(), page, IFF_PNG) != 0) path_.clear();
    }
    pixDestroy(&page);
    pixDestroy(&tile);
  }
  ~Page() {
    if (!path_.empty()) unlink(path_.c_str());
    if (!dir_.empty()) rmdir(dir_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string dir_, path_;
};

const std::string& pagePath() {
  static const Page page;
  return page.path();
}

void parseImage(benchmark::State& state, const std::string& path, int expected) {
  if (path.empty() || !ZantrelInit()) {
    state.SkipWithError("engine or image not available");
    return;
  }
  veskhost::HostTask task(path);
  for (auto _ : state) {
    if (ZantrelParse(path.c_str(), task.object()) != expected) {
      state.SkipWithError("unexpected parse result");
      break;
    }
  }
  state.counters["text_bytes"] = static_cast<double>(task.text().size());
}

void BM_SmallImage(benchmark::State& state, const char* name) { parseImage(state, fixture(name), 1); }
void BM_Page(benchmark::State& state) { parseImage(state, pagePath(), 1); }
void BM_RefuseBomb(benchmark::State& state) { parseImage(state, fixture("bad/bomb.png"), 0); }

BENCHMARK_CAPTURE(BM_SmallImage, prose_png, "prose.png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmallImage, code_png, "code.png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmallImage, code_jpeg, "code.jpeg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_SmallImage, code_webp, "code.webp")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Page)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_RefuseBomb)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
