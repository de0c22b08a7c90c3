// Tesseract's C interface, bound at run time.
//
// Tesseract parallelises with OpenMP, whose runtime reads OMP_THREAD_LIMIT once, when it is
// loaded. Linked directly, it would be loaded together with libZantrel.so, before the engine
// could set the limit; loaded here, from ZantrelInit, it sees the limit the engine set.
#ifndef ZANTREL_TESSERACT_API_H
#define ZANTREL_TESSERACT_API_H

#include <tesseract/capi.h>

#include <string>

namespace zantrel {

// The functions the engine uses, typed from Tesseract's own declarations.
struct TesseractApi {
  decltype(&TessVersion) version = nullptr;
  decltype(&TessBaseAPICreate) create = nullptr;
  decltype(&TessBaseAPIDelete) destroy = nullptr;
  decltype(&TessBaseAPISetVariable) setVariable = nullptr;
  decltype(&TessBaseAPIInit3) init = nullptr;
  decltype(&TessBaseAPISetImage2) setImage = nullptr;
  decltype(&TessBaseAPIRecognize) recognize = nullptr;
  decltype(&TessBaseAPIGetUTF8Text) utf8Text = nullptr;
  decltype(&TessDeleteText) deleteText = nullptr;
  decltype(&TessBaseAPIClear) clear = nullptr;
  decltype(&TessBaseAPIEnd) end = nullptr;
};

// Loads the Tesseract library and binds its functions, the first time it succeeds; the library
// then stays loaded for the life of the process. Not thread-safe: the engine calls it under its lock.
// @return the bound functions; null with `*error` set when the library or a function is missing.
const TesseractApi* bindTesseract(std::string* error);

}  // namespace zantrel

#endif
