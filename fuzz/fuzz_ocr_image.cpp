// The OCR engine on arbitrary image bytes: a bad image is refused, never a crash or a hang.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Zantrel.h"
#include "host_task.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = ZantrelInit();
  if (!ready) abort();
  static const std::string path = "/tmp/quorvel-fuzz-image-" + std::to_string(getpid());
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  fwrite(data, 1, size, f);
  fclose(f);
  veskhost::HostTask task(path);
  const int status = ZantrelParse(path.c_str(), task.object());
  if (status != 0 && status != 1) abort();
  if (status == 0 && task.textCalls() != 0) abort();  // a declined image hands no text
  return 0;
}
