// Entry points of the OCR engine: Tesseract's lifecycle and one parse per call.
#include "Zantrel.h"

#include <allheaders.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>

#include "host_task.h"
#include "image_gate.h"
#include "tesseract_api.h"
#include "vesklog.h"

namespace {

const char kLogModule[] = "TextExtractor_OCR";
const char kLogComponent[] = "Zantrel";
const char kLanguage[] = "eng";
const char kDefaultTrainedData[] = "/usr/share/tesseract-ocr/5/tessdata";

// One Tesseract instance for the process; every call into it holds the lock.
std::mutex g_lock;
int g_log = -1;
bool g_logOpen = false;
const zantrel::TesseractApi* g_tess = nullptr;
TessBaseAPI* g_api = nullptr;

void openLog() {
  g_log = vesklog_open_v2(kLogModule, kLogComponent);
  g_logOpen = true;
}

std::string trainedDataDirectory() {
  for (const char* variable : {"ZANTREL_TESSDATA", "TESSDATA_PREFIX"}) {
    const char* value = getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return kDefaultTrainedData;
}

bool startTesseract() {
  setenv("OMP_THREAD_LIMIT", "1", 0);  // before Tesseract, and with it OpenMP, is loaded
  std::string error;
  g_tess = zantrel::bindTesseract(&error);
  if (g_tess == nullptr) {
    vesklog_error(g_log, "[ZantrelInit] %s", error.c_str());
    return false;
  }
  const std::string dataDir = trainedDataDirectory();
  const std::string trainedData = dataDir + "/" + kLanguage + ".traineddata";
  if (access(trainedData.c_str(), R_OK) != 0) {
    vesklog_error(g_log, "[ZantrelInit] trained data <%s> missing", trainedData.c_str());
    return false;
  }
  TessBaseAPI* api = g_tess->create();
  g_tess->setVariable(api, "debug_file", "/dev/null");  // Tesseract's chatter would go to stderr
  if (g_tess->init(api, dataDir.c_str(), kLanguage) != 0) {
    vesklog_error(g_log, "[ZantrelInit] Tesseract failed to start with <%s>", trainedData.c_str());
    g_tess->destroy(api);
    return false;
  }
  g_tess->setVariable(api, "preserve_interword_spaces", "1");  // keeps runs of blanks within lines of code
  g_api = api;
  vesklog_info(g_log, "[ZantrelInit] Tesseract %s ready with <%s>", g_tess->version(), trainedData.c_str());
  return true;
}

// Recognises one image under the lock. @return false, with a warning, when the image is refused.
bool recognise(const char* path, std::string* text) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (!g_logOpen) openLog();
  if (g_api == nullptr) {
    vesklog_warn(g_log, "[ZantrelParse] engine not started <filepath:%s>", path);
    return false;
  }
  const clock_t start = clock();
  std::string reason;
  Pix* image = zantrel::readImage(path, &reason);
  if (image == nullptr) {
    vesklog_warn(g_log, "[ZantrelParse] <filepath:%s> refused: %s", path, reason.c_str());
    return false;
  }
  const int width = pixGetWidth(image), height = pixGetHeight(image);
  g_tess->setImage(g_api, image);
  pixDestroy(&image);  // Tesseract keeps its own copy
  char* utf8 = g_tess->recognize(g_api, nullptr) == 0 ? g_tess->utf8Text(g_api) : nullptr;
  g_tess->clear(g_api);
  if (utf8 == nullptr) {
    vesklog_warn(g_log, "[ZantrelParse] <filepath:%s> recognition failed", path);
    return false;
  }
  text->assign(utf8);
  g_tess->deleteText(utf8);
  vesklog_debug(g_log, "[ZantrelParse] <filepath:%s> %dx%d, %d bytes of text in %.3f s", path, width, height,
                static_cast<int>(text->size()), double(clock() - start) / CLOCKS_PER_SEC);
  return true;
}

int parse(const char* path, void* task) {
  if (path == nullptr || task == nullptr || veskhost::entry(task, veskhost::kTaskTextEntry) == nullptr) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_logOpen) openLog();
    vesklog_warn(g_log, "[ZantrelParse] no path or no task text operation <filepath:%s>", path ? path : "");
    return 0;
  }
  std::string text;
  if (!recognise(path, &text)) return 0;
  veskhost::putTaskText(task, text.data(), text.size());  // outside the lock: the host may call back in
  return 1;
}

}  // namespace

extern "C" {

bool ZantrelInit() {
  std::lock_guard<std::mutex> lock(g_lock);
  openLog();  // every Init rereads the logging configuration
  if (g_api != nullptr) return true;
  try {
    return startTesseract();
  } catch (const std::exception& e) {
    vesklog_error(g_log, "[ZantrelInit] failed <_err:%s>", e.what());
    return false;
  }
}

int ZantrelParse(const char* path, void* task) {
  try {
    return parse(path, task);
  } catch (const std::exception& e) {
    vesklog_warn(g_log, "[ZantrelParse] failed <_err:%s>", e.what());
    return 0;
  }
}

void ZantrelRelease() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_api == nullptr) return;
  g_tess->end(g_api);
  g_tess->destroy(g_api);
  g_api = nullptr;
  vesklog_info(g_log, "[ZantrelRelease] Tesseract ended");
}

}  // extern "C"
