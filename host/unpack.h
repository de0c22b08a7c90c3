// Compressed files and archives, expanded member by member within limits, so that every member is
// scanned as a file of its own.
#ifndef QUORVEL_HOST_UNPACK_H
#define QUORVEL_HOST_UNPACK_H

#include <cstdint>
#include <functional>
#include <string>

namespace host {

// False when the program was built without libarchive: archives are then scanned as binary files.
bool archivesSupported();

// "gzip", "bzip2", "xz", "zstd", "zip" or "tar" when the first bytes announce one, else "".
std::string archiveTypeOf(const std::string& head);

struct ExpansionLimits {
  uint64_t totalBytes = uint64_t{1} << 30;     // expanded bytes in all, over every level of one input
  double ratio = 100;                          // expanded bytes per compressed byte, per member
  int depth = 3;                               // archive levels expanded, the outermost one counted
  uint64_t memberBytes = uint64_t{256} << 20;  // bytes of one member
};

// What one member gave: its name inside the archive, its bytes, or why it was not expanded.
struct Member {
  std::string name;
  std::string bytes;
  std::string refusal;  // non-empty: not expanded (bytes empty)
};

// Expands the archive or compressed file held in bytes; `fallbackName` names the content of a
// compressed file that holds no archive (its own name less the compression suffix). Members that are
// not regular files are passed over. *expanded counts the bytes expanded so far across calls and is
// checked against limits.totalBytes. @return "" or why the archive itself could not be read.
std::string expandArchive(const std::string& bytes, const std::string& fallbackName, const ExpansionLimits& limits,
                          uint64_t* expanded, const std::function<void(Member&&)>& member);

}  // namespace host

#endif
