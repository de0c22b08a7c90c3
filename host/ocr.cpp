#include "ocr.h"

#include "host_task.h"
#include "plugins.h"

namespace host {

OcrFilter::~OcrFilter() {
  if (ready_ && release_ != nullptr) release_();
}

bool OcrFilter::load(const std::string& libDir, std::string* error) {
  const std::string path = libDir + "/libPellory.so";
  handle_ = openLibrary(path, error);
  if (handle_ == nullptr) return false;
  void *init, *getType, *parse, *release;
  if (!bindSymbol(handle_, "Init", path, &init, error) || !bindSymbol(handle_, "GetType", path, &getType, error) ||
      !bindSymbol(handle_, "Parse", path, &parse, error) || !bindSymbol(handle_, "Release", path, &release, error))
    return false;
  init_ = reinterpret_cast<bool (*)()>(init);
  getType_ = reinterpret_cast<const char* (*)()>(getType);
  parse_ = reinterpret_cast<int (*)(void*)>(parse);
  release_ = reinterpret_cast<void (*)()>(release);
  if (!init_()) {
    release_();
    *error = "the OCR engine (lib/veskcomm/libZantrel.so) did not start; see the log for why";
    return false;
  }
  ready_ = true;
  types_ = getType_();
  return true;
}

bool OcrFilter::extract(const std::string& path, std::string* text, std::string* error) {
  if (!ready_) {
    *error = "OCR is not available";
    return false;
  }
  veskhost::HostTask task(path);
  int status;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    status = parse_(task.object());
  }
  if (status == 0) {
    *error = "the OCR engine could not read the image";
    return false;
  }
  *text = task.text();
  return true;
}

}  // namespace host
