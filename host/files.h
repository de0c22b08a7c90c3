// What the scan reads: the files named or found under the folders named, and what kind each is.
#ifndef QUORVEL_HOST_FILES_H
#define QUORVEL_HOST_FILES_H

#include <cstddef>
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

// The bytes sniffKind looks at; nothing more is read of a file it finds binary.
constexpr size_t kHeadBytes = 8192;

// The image type ("png", "jpg", "tif", "bmp", "webp") that the first bytes announce, or "".
std::string imageTypeOf(const std::string& head);

// By content alone, the name plays no part: an image when the head starts like an image of a type
// in `imageTypes` ("jpg;png;..."; "jpeg" and "tiff" stand for "jpg" and "tif" too); text when it
// starts with a UTF-16 byte order mark; binary when it holds a NUL byte (one NUL as the last byte
// of a head that is the whole file excepted) or too many bytes that are neither printable,
// whitespace nor UTF-8; else text. `kAnyImageType` takes an image of every type: with no OCR plug-in,
// images still go the image way, to be named as files OCR could not read.
constexpr const char* kAnyImageType = "*";
Kind sniffKind(const std::string& head, bool wholeFile, const std::string& imageTypes);

// An input opened for reading: its head is read first, the rest only when asked for.
class OpenInput {
 public:
  OpenInput() = default;
  OpenInput(const OpenInput&) = delete;
  OpenInput& operator=(const OpenInput&) = delete;
  ~OpenInput();
  // Opens the file (or takes standard input) and reads up to kHeadBytes. @return false with *error.
  bool open(const InputFile& file, std::string* error);
  const std::string& head() const { return head_; }
  // True when the head is all there is.
  bool wholeFile() const { return atEnd_; }
  // The file's size; for standard input, the bytes read so far.
  size_t size() const { return regular_ ? fileSize_ : head_.size(); }
  // Moves the head and the rest into *content, reading at most limit bytes in all.
  // @return false with *error on a read error; *tooLarge when the input holds more than limit bytes.
  bool readAll(size_t limit, std::string* content, bool* tooLarge, std::string* error);

 private:
  // Appends up to limit bytes to *out; sets atEnd_ at the end of the input. @return false on error.
  bool readUpTo(size_t limit, std::string* out);

  int fd_ = -1;
  bool ownsFd_ = false, regular_ = false, atEnd_ = false;
  size_t fileSize_ = 0;
  std::string head_;
};

// A file in the temporary folder, removed with the object.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile();
  // Creates the file holding bytes. @return false with *error.
  bool write(const std::string& bytes, std::string* error);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace host

#endif
