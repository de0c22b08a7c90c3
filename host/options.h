// Command line of the quorvel host program.
#ifndef QUORVEL_HOST_OPTIONS_H
#define QUORVEL_HOST_OPTIONS_H

#include <string>
#include <vector>

namespace host {

struct Options {
  enum class Command { Scan, Help, Version };
  Command command = Command::Help;
  std::vector<std::string> paths;  // "-" is standard input
  bool json = false;
  bool progress = true;  // shown only when standard error is a terminal
  int mode = -1;         // the library's own defaults
  int batchLen = -1;
  int samples = -1;
  int jobs = 1;
  std::string logLevel;  // empty: the environment's, else warn
};

// Parses argv. @return false with *error set on bad usage.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

const char* usageText();

}  // namespace host

#endif
