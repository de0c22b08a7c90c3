// Command line of the quorvel host program.
#ifndef QUORVEL_HOST_OPTIONS_H
#define QUORVEL_HOST_OPTIONS_H

#include <cstddef>
#include <string>
#include <vector>

namespace host {

struct Options {
  enum class Command { Scan, Help, Version };
  Command command = Command::Help;
  std::vector<std::string> paths;  // "-" is standard input
  bool json = false;
  bool progress = true;  // shown only when standard error is a terminal
  int mode = -1;
  bool modeGiven = false;  // false: mode 0 up to 64 KB, the library's choice above
  int batchLen = 500;
  int samples = 5;
  int jobs = 1;
  std::string logLevel;                  // empty: the environment's, else warn; otherwise one of kLogLevels
  size_t maxBytes = size_t{256} << 20;   // texts above this are skipped
  size_t maxExpanded = size_t{1} << 30;  // bytes expanded from one archive, all levels together
  int maxRatio = 100;                    // expanded bytes per compressed byte of an archive member
};

// The words --log-level takes, as the logging library reads them.
extern const char* const kLogLevels[5];

// Parses argv. @return false with *error set on bad usage.
bool parseOptions(int argc, char** argv, Options* options, std::string* error);

const char* usageText();

}  // namespace host

#endif
