// compareVersion on arbitrary texts: defined arithmetic on any digit run, and a total answer.
#include <cstdlib>
#include <string>

#include "Pellory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\n');
  const std::string a = input.substr(0, split);
  const std::string b = split == std::string::npos ? "2.17" : input.substr(split + 1);
  const int ab = compareVersion(a, b);
  if (ab != 1 && ab != -1) abort();
  if (compareVersion(a, a) != 1) abort();  // equal versions count as not lower
  if (ab == -1 && compareVersion(b, a) != 1) abort();
  return 0;
}
