#include "ocr.h"

#include "host_task.h"

namespace host {

OcrFilter::~OcrFilter() {
  if (ready_ && release_ != nullptr) release_();
}

bool OcrFilter::load(const std::string& libDir, std::string* error) {
  if (!library_.open(libDir + "/libPellory.so", error) || !library_.bind("Init", &init_, error) ||
      !library_.bind("GetType", &getType_, error) || !library_.bind("Parse", &parse_, error) ||
      !library_.bind("Release", &release_, error))
    return false;
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
