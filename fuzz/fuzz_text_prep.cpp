// Text preparation and batching on arbitrary bytes with arbitrary offsets, lengths and modes: nothing
// may read outside the text, overflow, or hang.
#include <cstdlib>
#include <stdexcept>

#include "QuorvelDetail.h"
#include "fuzz_input.h"
#include "utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const int mode = in.nextInt();
  const int batchLen = in.nextIn(-1000, 5000);  // larger windows only cost time, not coverage
  int samples = in.nextIn(-5, 64);
  const int start = in.nextInt(), length = in.nextInt();
  const unsigned int offset = static_cast<unsigned int>(in.nextInt());
  const std::string text = in.rest();

  std::string working;
  SCR::clean_text(text, &working);
  for (char c : working)
    if (c < 0x20 || c > 0x7E) abort();  // only alphabet characters may survive cleaning

  int effective = -1;
  std::vector<std::string> batches;
  srand(1);
  get_batch_string(&working, mode, batchLen, &samples, &effective, &batches);
  if (effective < -1 || effective > 2) abort();

  // The character utilities on the raw bytes, with offsets that may lie anywhere.
  const int total = SCR::getStrLenUtf8(text.c_str());
  SCR::get_utf8_substr(text.c_str(), total, {offset, 0u, static_cast<unsigned int>(start)}, length);
  SCR::get_utf8_substr0(text.c_str(), total, {start, static_cast<int>(offset)}, length);
  delete[] SCR::get_utf8_substr(text.c_str(), total, start, length);
  SCR::get_utf8_pos(text.c_str(), length);
  SCR::stringSplit(text, text.empty() ? ',' : text[0]);
  std::string copy = text;
  SCR::remove_str(&copy, "\r\n\t ");
  try {
    utf8_to_wstr(text);
  } catch (const std::range_error&) {
  }
  return 0;
}
