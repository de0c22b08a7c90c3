// libPellory.so, the OCR filter plug-in, through its four entry points and the host task object.
#ifndef QUORVEL_HOST_OCR_H
#define QUORVEL_HOST_OCR_H

#include <mutex>
#include <string>

#include "Pellory.h"
#include "plugins.h"

namespace host {

class OcrFilter {
 public:
  ~OcrFilter();
  // Loads the plug-in, which loads its engine from the deployment tree.
  // @return false with *error when the plug-in or its engine cannot be used.
  bool load(const std::string& libDir, std::string* error);
  bool ready() const { return ready_; }
  // The image types the plug-in takes, "jpg;png;...", or "" when it is not ready.
  const std::string& types() const { return types_; }
  // Runs OCR on the image at path. @return false with *error when the engine declined it.
  bool extract(const std::string& path, std::string* text, std::string* error);

 private:
  PluginLibrary library_;
  decltype(&Init) init_ = nullptr;
  decltype(&GetType) getType_ = nullptr;
  decltype(&Parse) parse_ = nullptr;
  decltype(&Release) release_ = nullptr;
  bool ready_ = false;
  std::string types_;
  std::mutex mutex_;  // the engine recognises one image at a time
};

}  // namespace host

#endif
