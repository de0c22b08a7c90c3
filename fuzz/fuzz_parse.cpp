// QuorvelParse end to end on the shipped model bundle with fuzzed texts and parameters.
#include <cstdlib>
#include <filesystem>
#include <string>

#include "Quorvel.h"
#include "fuzz_input.h"

namespace {

bool loadOnce() {
  static const bool loaded = [] {
    namespace fs = std::filesystem;
    fs::path data = fs::path(QUORVEL_SOURCE_DIR) / "data";
    if (!fs::exists(data / "models/SCR/SCR.onnx")) {  // no bundle yet: the tests' stand-in model
      data = fs::temp_directory_path() / "quorvel-fuzz";
      fs::create_directories(data / "models/SCR");
      fs::copy_file(fs::path(QUORVEL_SOURCE_DIR) / "tests/fixtures/count_model.onnx", data / "models/SCR/SCR.onnx",
                    fs::copy_options::overwrite_existing);
      FILE* f = fopen((data / "models/SCR/code.txt").c_str(), "w");
      if (f != nullptr) fputs("Alpha\nBeta\nGamma\ndialog\n", f), fclose(f);
    }
    fs::current_path(data);
    setenv("VESKLOG_LEVEL", "off", 1);
    return QuorvelInit() == 1;
  }();
  return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!loadOnce()) abort();
  FuzzInput in(data, size);
  const int mode = in.nextInt();
  const int batchLen = in.nextIn(-3, 2000);
  const int samples = in.nextIn(-3, 32);
  const std::string text = in.rest();
  std::string result = "stale";
  const int status = QuorvelParse(text, mode, result, batchLen, samples);
  if (status == 0 && !result.empty()) abort();  // a refusal always leaves the result empty
  if (status == 1 && result.empty()) abort();
  return 0;
}
