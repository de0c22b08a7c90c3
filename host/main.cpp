// quorvel: tells for each file whether it holds source code, and in which language, by loading
// libQuorvel.so and libPellory.so the way the content-inspection host does.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scan.h"

namespace {

// The libraries log at warn unless the user or the environment asks otherwise.
void setLogLevel(const host::Options& options) {
  if (!options.logLevel.empty())
    setenv("VESKLOG_LEVEL", options.logLevel.c_str(), 1);
  else
    setenv("VESKLOG_LEVEL", "warn", 0);
}

int scan(const host::Options& options, const std::string& binDir) {
  const auto start = std::chrono::steady_clock::now();
  std::vector<host::InputFile> files;
  std::vector<host::WalkProblem> problems;
  host::collectFiles(options.paths, &files, &problems);  // before the working directory changes

  if (chdir(binDir.c_str()) != 0) {
    fprintf(stderr, "quorvel: cannot enter %s: %s\n", binDir.c_str(), strerror(errno));
    return 3;
  }
  const std::string libDir = binDir + "/../lib";
  host::Recognizer recognizer;
  std::string error;
  if (!recognizer.open(libDir, &error) || !recognizer.init(&error)) {
    fprintf(stderr, "quorvel: %s\n", error.c_str());
    return 3;
  }
  host::Plugins plugins(recognizer, libDir);

  // Paths that could not be scanned come first, then the files in the order found.
  std::vector<host::FileResult> unscanned;
  for (const auto& p : problems) {
    host::FileResult r;
    r.display = p.display;
    r.answer = p.skipped ? host::Answer::Skipped : host::Answer::Error;
    r.message = p.message;
    options.json ? host::writeJson(stdout, r) : host::writeLine(stdout, r);
    unscanned.push_back(r);
  }
  host::Summary scanned = host::scanAll(files, options, plugins, stdout, unscanned.size());
  for (const auto& r : unscanned) scanned.add(r);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  scanned.write(stdout, options.json, seconds);
  return scanned.anyError() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  host::Options options;
  std::string error;
  if (!host::parseOptions(argc, argv, &options, &error)) {
    fprintf(stderr, "quorvel: %s\n\n%s", error.c_str(), host::usageText());
    return 2;
  }
  if (options.command == host::Options::Command::Help) {
    fputs(host::usageText(), stdout);
    return 0;
  }
  setLogLevel(options);
  const std::string binDir = host::programDir();
  if (options.command == host::Options::Command::Version) {
    host::Recognizer recognizer;
    if (chdir(binDir.c_str()) != 0 || !recognizer.open(binDir + "/../lib", &error)) {
      fprintf(stderr, "quorvel: %s\n", error.c_str());
      return 3;
    }
    printf("quorvel %s\n", recognizer.version());
    return 0;
  }
  return scan(options, binDir);
}
