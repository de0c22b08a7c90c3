#include "options.h"

#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace host {

const char* const kLogLevels[5] = {"debug", "info", "warn", "error", "off"};

namespace {

bool parseInt(const char* text, int low, int high, int* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long value = strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < low || value > high) return false;
  *out = static_cast<int>(value);
  return true;
}

// A byte count, optionally with the binary suffix K, M or G.
bool parseSize(const char* text, size_t* out) {
  if (text == nullptr || *text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = strtoull(text, &end, 10);
  if (errno != 0 || value == 0) return false;
  int shift = 0;
  if (*end != '\0') {
    const char* suffixes = "KMG";
    const char* at = strchr(suffixes, *end & ~0x20);
    if (at == nullptr || end[1] != '\0') return false;
    shift = 10 * static_cast<int>(at - suffixes + 1);
  }
  if (value > (UINT64_MAX >> shift)) return false;
  *out = static_cast<size_t>(value << shift);
  return true;
}

// Options that take a whole number: "--name value" or "--name=value".
struct ValueOption {
  const char* name;
  int low, high;
  int Options::*field;
};

// A window of 80 bytes or fewer is never inferred, so a shorter one would answer every text
// "dialog"; the upper bounds keep the library's products of the window length within 32 bits.
constexpr int kShortestWindow = 81;
constexpr int kLongestWindow = 100000000;

const ValueOption kValueOptions[] = {
    {"--mode", INT_MIN, INT_MAX, &Options::mode},
    {"--batch-len", kShortestWindow, kLongestWindow, &Options::batchLen},
    {"--samples", 1, 1000000, &Options::samples},
    {"--jobs", 1, 256, &Options::jobs},
    {"--max-ratio", 1, 1000000, &Options::maxRatio},
};

bool knownLogLevel(const std::string& word) {
  for (const char* level : kLogLevels)
    if (strcasecmp(word.c_str(), level) == 0) return true;
  return false;
}

}  // namespace

const char* usageText() {
  return "usage: quorvel scan [options] PATH...   tell for each file whether it holds source code\n"
         "       quorvel --version | --help\n"
         "\n"
         "PATH is a file, a folder (scanned recursively) or - for standard input.\n"
         "Text files are classified; images (jpg png tif tiff bmp webp jpeg) go through OCR first;\n"
         "members of gzip, bzip2, xz, zstd, zip and tar files are scanned as files, as ARCHIVE!MEMBER;\n"
         "other binary files are skipped.\n"
         "\n"
         "options:\n"
         "  --json            one JSON object per file, then a summary object\n"
         "  --mode N          batching: 0 whole text, 1 first and last window, 2 random windows,\n"
         "                    other values: chosen by length (default: 0 up to 64 KB, chosen above)\n"
         "  --batch-len N     window length in characters, 81 or more (default 500)\n"
         "  --samples N       windows drawn in mode 2, 1 or more (default 5)\n"
         "  --jobs N          parse N files at once, 1 to 256 (default 1)\n"
         "  --max-bytes N     skip texts larger than N bytes; K, M, G suffixes (default 256M)\n"
         "  --max-expanded N  expand at most N bytes from one archive, all levels (default 1G)\n"
         "  --max-ratio N     refuse an archive member that expands more than N times (default 100)\n"
         "  --log-level L     library log level: debug, info, warn, error, off (default warn)\n"
         "  --no-progress     never draw the progress line\n"
         "\n"
         "exit status: 0 all files scanned, 1 some file failed, 2 bad usage, 3 the libraries or\n"
         "model could not be loaded\n";
}

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
  if (argc < 2) {
    *error = "no command given";
    return false;
  }
  const std::string first = argv[1];
  if (first == "--help" || first == "-h" || first == "help") return options->command = Options::Command::Help, true;
  if (first == "--version") return options->command = Options::Command::Version, true;
  if (first != "scan") {
    *error = "unknown command '" + first + "'";
    return false;
  }
  options->command = Options::Command::Scan;
  bool onlyPaths = false;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    if (onlyPaths || arg == "-" || arg.empty() || arg[0] != '-') {
      options->paths.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPaths = true;
      continue;
    }
    if (arg == "--json") {
      options->json = true;
      continue;
    }
    if (arg == "--no-progress") {
      options->progress = false;
      continue;
    }
    if (arg == "--help" || arg == "-h") return options->command = Options::Command::Help, true;
    std::string name = arg, value;
    const size_t eq = arg.find('=');
    bool inlineValue = eq != std::string::npos && arg.rfind("--", 0) == 0;
    if (inlineValue) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
    }
    auto takeValue = [&]() -> bool {
      if (inlineValue) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (name == "--log-level") {
      if (!takeValue() || !knownLogLevel(value))
        return *error = "--log-level needs one of debug, info, warn, error, off", false;
      options->logLevel = value;
      continue;
    }
    if (name == "--max-bytes" || name == "--max-expanded") {
      size_t* field = name == "--max-bytes" ? &options->maxBytes : &options->maxExpanded;
      if (!takeValue() || !parseSize(value.c_str(), field))
        return *error = name + " needs a positive byte count, optionally with K, M or G", false;
      continue;
    }
    const ValueOption* match = nullptr;
    for (const auto& o : kValueOptions)
      if (name == o.name) match = &o;
    if (match == nullptr)
      return *error = "unknown option '" + arg + "' (a path that begins with - goes after --)", false;
    if (!takeValue() || !parseInt(value.c_str(), match->low, match->high, &(options->*(match->field))))
      return *error = std::string(match->name) + " needs a whole number from " + std::to_string(match->low) + " to " +
                      std::to_string(match->high),
             false;
    if (match->field == &Options::mode) options->modeGiven = true;
  }
  if (options->paths.empty()) return *error = "scan needs at least one PATH", false;
  return true;
}

}  // namespace host
