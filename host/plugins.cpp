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

bool PluginLibrary::open(const std::string& path, std::string* error) {
  path_ = path;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    *error = "cannot load " + path + ": " + (why ? why : "unknown error");
  }
  return handle_ != nullptr;
}

void* PluginLibrary::symbol(const char* name, std::string* error) const {
  dlerror();
  void* const address = dlsym(handle_, name);
  if (address == nullptr) *error = path_ + " lacks the entry point " + name;
  return address;
}

Recognizer::~Recognizer() {
  if (initialised_ && release_ != nullptr) release_();
}

bool Recognizer::open(const std::string& libDir, std::string* error) {
  return library_.open(libDir + "/libQuorvel.so", error) && library_.bind("GetQuorvelVersion", &version_, error) &&
         library_.bind("QuorvelInit", &init_, error) && library_.bind("QuorvelParse", &parse_, error) &&
         library_.bind("QuorvelRelease", &release_, error);
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
