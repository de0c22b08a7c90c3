// The two plug-ins, loaded as the content-inspection host loads them: by dlopen from the deployment
// tree's lib/ folder, with the working directory set to the tree's bin/ folder.
#ifndef QUORVEL_HOST_PLUGINS_H
#define QUORVEL_HOST_PLUGINS_H

#include <string>

#include "Quorvel.h"

namespace host {

// A plug-in opened as the content-inspection host opens it (dlopen with RTLD_NOW | RTLD_GLOBAL; it
// stays loaded until the process ends), with its entry points bound under the types that its public
// header declares.
class PluginLibrary {
 public:
  // @return false with *error naming the path and the loader's message.
  bool open(const std::string& path, std::string* error);
  // Binds the entry point `name` into *fn; Fn is the type of its declaration, so `fn` is declared
  // as decltype(&EntryPoint). @return false with *error naming the symbol and the library.
  template <typename Fn>
  bool bind(const char* name, Fn** fn, std::string* error) const {
    void* const address = symbol(name, error);
    *fn = reinterpret_cast<Fn*>(address);
    return address != nullptr;
  }

 private:
  void* symbol(const char* name, std::string* error) const;
  void* handle_ = nullptr;
  std::string path_;
};

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
  PluginLibrary library_;
  decltype(&GetQuorvelVersion) version_ = nullptr;
  decltype(&QuorvelInit) init_ = nullptr;
  decltype(&QuorvelParse) parse_ = nullptr;
  decltype(&QuorvelRelease) release_ = nullptr;
  bool initialised_ = false;
};

// @return the folder of the running program, from /proc/self/exe.
std::string programDir();

}  // namespace host

#endif
