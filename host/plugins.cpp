#include "plugins.h"

#include <dlfcn.h>
#include <unistd.h>

#include <exception>
#include <vector>

namespace host {

std::string programDir() {
  std::vector<char> buffer(4096);
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  std::string path(buffer.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

void* openLibrary(const std::string& path, std::string* error) {
  void* lib = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (lib == nullptr) {
    const char* why = dlerror();
    *error = "cannot load " + path + ": " + (why ? why : "unknown error");
  }
  return lib;
}

bool bindSymbol(void* lib, const char* name, const std::string& libPath, void** fn, std::string* error) {
  dlerror();
  *fn = dlsym(lib, name);
  if (*fn != nullptr) return true;
  *error = libPath + " lacks the entry point " + name;
  return false;
}

Recognizer::~Recognizer() {
  if (initialised_ && release_ != nullptr) release_();
}

bool Recognizer::open(const std::string& libDir, std::string* error) {
  const std::string path = libDir + "/libQuorvel.so";
  handle_ = openLibrary(path, error);
  if (handle_ == nullptr) return false;
  void *version, *init, *parse, *release;
  if (!bindSymbol(handle_, "GetQuorvelVersion", path, &version, error) ||
      !bindSymbol(handle_, "QuorvelInit", path, &init, error) ||
      !bindSymbol(handle_, "QuorvelParse", path, &parse, error) ||
      !bindSymbol(handle_, "QuorvelRelease", path, &release, error))
    return false;
  version_ = reinterpret_cast<const char* (*)()>(version);
  init_ = reinterpret_cast<int (*)()>(init);
  parse_ = reinterpret_cast<int (*)(const std::string&, int, std::string&, int, int)>(parse);
  release_ = reinterpret_cast<void (*)()>(release);
  return true;
}

bool Recognizer::init(std::string* error) {
  try {
    initialised_ = init_() == 1;
  } catch (const std::exception& e) {
    release_();  // the library keeps a recognizer without a model after a failed load
    *error = std::string("the model bundle could not be loaded: ") + e.what();
    return false;
  }
  if (!initialised_) *error = "the recognizer did not initialise";
  return initialised_;
}

const char* Recognizer::version() const { return version_ ? version_() : "unknown"; }

int Recognizer::parse(const std::string& text, int mode, std::string& result, int batchLen, int samples) const {
  return parse_(text, mode, result, batchLen, samples);
}

}  // namespace host
