// The walk through a folder tree: every entry either becomes an input file or is named with the
// reason it is left out.
#ifndef QUORVEL_HOST_WALK_H
#define QUORVEL_HOST_WALK_H

#include <sys/types.h>
#include <string>
#include <vector>

#include "files.h"

namespace host {

// Folders nested deeper than this below a named folder are reported, not entered.
constexpr int kDeepestFolder = 512;

// What a non-regular, non-folder entry is, for the reason it is skipped ("FIFO", "socket", ...).
const char* entryKind(mode_t mode);

// Adds the regular files under root (shown as display joined with the relative path), in name order,
// depth first. Folders that cannot be read and names that cannot be opened are errors; FIFOs,
// sockets, devices and symbolic links that leave the tree, loop or lead to nothing are skipped, each
// with its own problem entry. A link to a file inside the tree is scanned under the link's name.
void walkFolder(const std::string& display, const std::string& root, std::vector<InputFile>* files,
                std::vector<WalkProblem>* problems);

}  // namespace host

#endif
