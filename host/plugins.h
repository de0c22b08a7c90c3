// The two plug-ins, loaded as the content-inspection host loads them: by dlopen from the deployment
// tree's lib/ folder, with the working directory set to the tree's bin/ folder.
#ifndef QUORVEL_HOST_PLUGINS_H
#define QUORVEL_HOST_PLUGINS_H

#include <string>

namespace host {

// libQuorvel.so through its four entry points.
class Recognizer {
 public:
  ~Recognizer();
  // Loads the library. @return false with *error naming what is missing.
  bool open(const std::string& libDir, std::string* error);
  // Creates the recognizer and loads the model. @return false with *error naming why not.
  bool init(std::string* error);
  const char* version() const;
  // QuorvelParse; safe from several threads once loaded. Exceptions of the library pass through.
  int parse(const std::string& text, int mode, std::string& result, int batchLen, int samples) const;

 private:
  void* handle_ = nullptr;
  const char* (*version_)() = nullptr;
  int (*init_)() = nullptr;
  int (*parse_)(const std::string&, int, std::string&, int, int) = nullptr;
  void (*release_)() = nullptr;
  bool initialised_ = false;
};

// @return the folder of the running program, from /proc/self/exe.
std::string programDir();

// dlopen of path with RTLD_NOW; *error gets the loader's message.
void* openLibrary(const std::string& path, std::string* error);
// dlsym into *fn; false with *error naming the symbol and library.
bool bindSymbol(void* lib, const char* name, const std::string& libPath, void** fn, std::string* error);

}  // namespace host

#endif
