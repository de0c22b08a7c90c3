// Loading Tesseract and binding its C interface.
#include "tesseract_api.h"

#include <dlfcn.h>

namespace zantrel {
namespace {

template <typename Function>
bool bind(void* library, const char* name, Function* function, std::string* error) {
  *function = reinterpret_cast<Function>(dlsym(library, name));
  if (*function == nullptr) *error = std::string("Tesseract library lacks ") + name;
  return *function != nullptr;
}

bool bindAll(void* library, TesseractApi* api, std::string* error) {
  return bind(library, "TessVersion", &api->version, error) &&
         bind(library, "TessBaseAPICreate", &api->create, error) &&
         bind(library, "TessBaseAPIDelete", &api->destroy, error) &&
         bind(library, "TessBaseAPISetVariable", &api->setVariable, error) &&
         bind(library, "TessBaseAPIInit3", &api->init, error) &&
         bind(library, "TessBaseAPISetImage2", &api->setImage, error) &&
         bind(library, "TessBaseAPIRecognize", &api->recognize, error) &&
         bind(library, "TessBaseAPIGetUTF8Text", &api->utf8Text, error) &&
         bind(library, "TessDeleteText", &api->deleteText, error) &&
         bind(library, "TessBaseAPIClear", &api->clear, error) && bind(library, "TessBaseAPIEnd", &api->end, error);
}

}  // namespace

const TesseractApi* bindTesseract(std::string* error) {
  static TesseractApi api;
  static bool bound = false;
  if (bound) return &api;
  void* library = dlopen(ZANTREL_TESSERACT_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    *error = std::string("cannot load ") + ZANTREL_TESSERACT_LIBRARY + ": " + (why == nullptr ? "" : why);
    return nullptr;
  }
  bound = bindAll(library, &api, error);
  return bound ? &api : nullptr;
}

}  // namespace zantrel
