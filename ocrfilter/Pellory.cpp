// The OCR filter plug-in: host entry points, binding of the engine, system check.
#include "Pellory.h"

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>

#include "host_task.h"
#include "vesklog.h"

int32_t g_LogHandle = 0;
void* OCRInstance = nullptr;
ZantrelInitFunc m_fp_ZantrelInit = nullptr;
ZantrelReleaseFunc m_fp_ZantrelRelease = nullptr;
ZantrelParseFunc m_fp_ZantrelParse = nullptr;

static const std::string specVer = "2.17";  // lowest glibc the engine runs on
static const std::string specBit = "64";    // the only word size the engine is built for

namespace {

const char kFileTypes[] = "jpg;png;tif;tiff;bmp;webp;jpeg";

// @return false, with errno set, when the working directory cannot be determined.
bool currentDirectory(std::string* dir) {
  char* text = getcwd(nullptr, 0);  // sized by the C library, so deep directories fit
  if (text == nullptr) return false;
  *dir = text;
  free(text);
  return true;
}

bool endsWithBin(const std::string& dir) { return dir.size() > 3 && dir.compare(dir.size() - 4, 4, "/bin") == 0; }

std::string engineDirectory(const std::string& cwd) {
  return endsWithBin(cwd) ? cwd + "/../lib/veskcomm" : cwd + "/libs_x64";
}

void warnSystemCheck(int code) {
  switch (code) {
    case -1:
      vesklog_warn(g_LogHandle, "[Init] Check System INFO failed <_err:system version is lower> ");
      break;
    case 2:
      vesklog_warn(g_LogHandle, "[Init] Check System INFO failed <_err:system bits is dismatch> ");
      break;
    default:
      vesklog_warn(g_LogHandle, "[Init] Check System INFO failed <_err:system info can't be read> ");
      break;
  }
}

// Binds the three entry points in order; stops at the first one missing.
bool bindEngine() {
  m_fp_ZantrelInit = reinterpret_cast<ZantrelInitFunc>(GetLibFun(OCRInstance, "ZantrelInit"));
  if (m_fp_ZantrelInit == nullptr) {
    vesklog_warn(g_LogHandle, "[Init] m_fp_ZantrelInit fail");
    return false;
  }
  m_fp_ZantrelRelease = reinterpret_cast<ZantrelReleaseFunc>(GetLibFun(OCRInstance, "ZantrelRelease"));
  if (m_fp_ZantrelRelease == nullptr) {
    vesklog_warn(g_LogHandle, "[Init] m_fp_ZantrelRelease fail");
    return false;
  }
  m_fp_ZantrelParse = reinterpret_cast<ZantrelParseFunc>(GetLibFun(OCRInstance, "ZantrelParse"));
  if (m_fp_ZantrelParse == nullptr) {
    vesklog_warn(g_LogHandle, "[Init] m_fp_ZantrelParse fail");
    return false;
  }
  return true;
}

bool initPlugin() {
  std::string dllPath, sysVersion, sysBits;
  const int code = checkAndGetSysVer(sysVersion, sysBits);
  if (code == 1) {
    std::string cwd;
    if (!currentDirectory(&cwd)) {
      vesklog_warn(g_LogHandle, "[Init] getcwd failed <_err:%s> ", strerror(errno));
      return false;
    }
    dllPath = engineDirectory(cwd) + "/libZantrel.so";
    if (access(dllPath.c_str(), F_OK) != 0) {
      vesklog_warn(g_LogHandle, "[Init] <dllpath:%s> doesn't exist", dllPath.c_str());
      return false;
    }
  }
  std::string dllVersion;
  if (!GetDllVer(dllPath, dllVersion)) dllVersion.clear();
  vesklog_info(g_LogHandle, "OCR(%s) $version$: %s on %s , System $version$: %s_%s", dllPath.c_str(),
               dllVersion.c_str(), GetCurTime().c_str(), sysVersion.c_str(), sysBits.c_str());
  if (code != 1) {
    warnSystemCheck(code);
    return false;
  }
  OCRInstance = LoadLib(dllPath);
  if (OCRInstance == nullptr) {
    vesklog_warn(g_LogHandle, "[Init] LoadLibrary %s failed <_err:%s> ", dllPath.c_str(), GetLastErr().c_str());
    return false;
  }
  if (!bindEngine()) return false;
  return m_fp_ZantrelInit();
}

// Reads the next dotted part at `*cursor` and moves past it and the dot after it. Unsigned
// arithmetic, so that long digit runs wrap instead of overflowing.
int32_t versionPart(const std::string& text, size_t* cursor) {
  uint32_t value = 0;
  size_t at = *cursor;
  while (at < text.size() && text[at] != '.') {
    value = value * 10u + (static_cast<uint32_t>(static_cast<unsigned char>(text[at])) - 48u);
    ++at;
  }
  *cursor = at + 1;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" {

bool Init() {
  g_LogHandle = vesklog_open_v2("TextExtractor_OCR", "OCRFilter");
  try {
    return initPlugin();
  } catch (const std::exception& e) {  // only allocation can throw here
    vesklog_warn(g_LogHandle, "[Init] failed <_err:%s> ", e.what());
    return false;
  }
}

const char* GetType() {
  vesklog_info(g_LogHandle, "OCR GetType....");
  if (OCRInstance != nullptr) return kFileTypes;
  vesklog_warn(g_LogHandle, "NULL == OCRInstance, GetType failed!");
  return "";
}

int Parse(void* task) {
  if (task == nullptr) return 0;
  const void* settings = veskhost::taskSettings(task);
  if (settings == nullptr) return 0;
  if ((veskhost::settingsWord(settings, veskhost::kSettingsFlagsOffset) & veskhost::kSettingsOcrDisabled) != 0) {
    vesklog_warn(g_LogHandle, "[DealFileFilter] ocr module doesn't enable");
    return 0;
  }
  settings = veskhost::taskSettings(task);  // asked again: the host may hand out a fresh record
  if (settings == nullptr || veskhost::settingsWord(settings, veskhost::kSettingsSkipOffset) != 0) return 0;
  const char* path = veskhost::taskFilePath(task);
  if (path == nullptr || access(path, F_OK) != 0) {
    vesklog_warn(g_LogHandle, "[DealFileFilter] <filepath:%s> doesn't exist", path == nullptr ? "" : path);
    return 0;
  }
  if (m_fp_ZantrelParse == nullptr) {
    vesklog_warn(g_LogHandle, "[DealFileFilter] ocr engine isn't bound");
    return 0;
  }
  return m_fp_ZantrelParse(path, task);
}

void Release() {
  vesklog_info(g_LogHandle, "OCR Release....");
  if (m_fp_ZantrelRelease != nullptr) m_fp_ZantrelRelease();
  m_fp_ZantrelInit = nullptr;
  m_fp_ZantrelRelease = nullptr;
  m_fp_ZantrelParse = nullptr;
  OCRInstance = nullptr;  // only the handle is dropped: the engine stays mapped until the process ends
}

}  // extern "C"

void* LoadLib(const std::string& path) { return dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL); }

void* GetLibFun(void* lib, const char* name) { return lib == nullptr ? nullptr : dlsym(lib, name); }

std::string GetLastErr() {
  const char* error = dlerror();
  char text[99] = {0};
  snprintf(text, sizeof text, "%s", error == nullptr ? "" : error);
  return text;
}

bool GetDllVer(const std::string& path, std::string& version) { return false; }

int FreeLib(void* lib) { return lib == nullptr ? 0 : dlclose(lib); }

bool getSysVer(std::string& version, std::string& bits) {
  version.clear();
  bits.clear();
  const char* libc = gnu_get_libc_version();
  version = libc == nullptr ? "" : libc;
  FILE* proc = fopen("/proc/version", "r");
  if (proc == nullptr) return false;
  char line[255];
  while (fgets(line, sizeof line, proc) != nullptr) {
  }
  fclose(proc);
  FILE* pipe = popen("getconf LONG_BIT", "r");
  if (pipe == nullptr) return false;
  char output[8] = {0};
  if (fgets(output, sizeof output, pipe) == nullptr) output[0] = '\0';
  pclose(pipe);
  std::string text = output;
  if (!text.empty()) text.pop_back();  // the newline that ends the command's output
  bits = text;
  return true;
}

int checkAndGetSysVer(std::string& version, std::string& bits) {
  if (!getSysVer(version, bits)) return 0;
  if (bits != specBit) return 2;
  if (version.empty()) return 0;
  return compareVersion(version, specVer);
}

int checkSysVer() {
  std::string version, bits;
  return checkAndGetSysVer(version, bits);
}

int compareVersion(std::string a, std::string b) {
  size_t atA = 0, atB = 0;
  while (atA < a.size() || atB < b.size()) {
    const int32_t partA = versionPart(a, &atA);
    const int32_t partB = versionPart(b, &atB);
    if (partA != partB) return partA > partB ? 1 : -1;
  }
  return 1;
}

std::string GetCurTime() {
  const time_t now = time(nullptr);
  struct tm local;
  char text[80] = {0};
  if (localtime_r(&now, &local) != nullptr) strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}
