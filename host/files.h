// What the scan reads: the files named or found under the folders named, and what kind each is.
#ifndef QUORVEL_HOST_FILES_H
#define QUORVEL_HOST_FILES_H

#include <string>
#include <vector>

namespace host {

struct InputFile {
  std::string display;  // as the user named it, or the folder's name joined with the relative path
  std::string path;     // absolute: the scan changes the working directory
  bool standardInput = false;
};

struct WalkProblem {
  std::string display;
  std::string message;
  bool skipped = false;  // true: left out on purpose (a link leaving the tree), not a failure
};

// Expands the arguments: files as given, folders recursively in name order. Symbolic links met in a
// folder are followed only to files inside the same folder tree; "-" stands for standard input.
void collectFiles(const std::vector<std::string>& args, std::vector<InputFile>* files,
                  std::vector<WalkProblem>* problems);

enum class Kind { Text, Image, Binary };

// Images by extension among `imageTypes` ("jpg;png;..."), else text unless the head holds NUL
// bytes or too many bytes that are neither printable, whitespace nor UTF-8.
Kind sniffKind(const std::string& name, const std::string& head, const std::string& imageTypes);

// Reads the whole file (or standard input). @return false with *error from the system.
bool readInput(const InputFile& file, std::string* content, std::string* error);

}  // namespace host

#endif
