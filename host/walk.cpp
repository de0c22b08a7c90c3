#include "walk.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace host {
namespace {

struct FolderId {
  dev_t dev;
  ino_t ino;
  bool operator==(const FolderId& o) const { return dev == o.dev && ino == o.ino; }
};

struct Walk {
  std::string canonicalRoot;        // the root with every link resolved, ending without '/'
  std::vector<FolderId> ancestors;  // the folders from the root down to the one being read
  std::vector<InputFile>* files;
  std::vector<WalkProblem>* problems;

  void error(const std::string& shown, const std::string& why) { problems->push_back({shown, why, false}); }
  void skip(const std::string& shown, const std::string& why) { problems->push_back({shown, why, true}); }
};

std::string joined(const std::string& folder, const std::string& name) {
  return folder + (!folder.empty() && folder.back() == '/' ? "" : "/") + name;
}

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  return getcwd(cwd, sizeof cwd) != nullptr ? joined(cwd, path) : path;
}

bool isInside(const std::string& target, const std::string& root) {
  if (root == "/") return true;
  return target == root ||
         (target.size() > root.size() && target.compare(0, root.size(), root) == 0 && target[root.size()] == '/');
}

// @return the names in folder, sorted, or false with errno set.
bool readNames(const std::string& folder, std::vector<std::string>* names) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return false;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names->push_back(entry->d_name);
    errno = 0;
  }
  const int readError = errno;
  closedir(dir);
  std::sort(names->begin(), names->end());
  errno = readError;
  return readError == 0;
}

void visitLink(const std::string& shown, const std::string& path, Walk& walk) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) {
    if (errno == ELOOP) return walk.skip(shown, "symbolic link loop");
    if (errno == ENOENT) return walk.skip(shown, "symbolic link to nothing");
    return walk.error(shown, std::string("cannot follow symbolic link: ") + strerror(errno));
  }
  if (!isInside(resolved, walk.canonicalRoot)) return walk.skip(shown, "symbolic link leaves the scanned folder");
  struct stat st;
  if (stat(resolved, &st) != 0) return walk.error(shown, strerror(errno));
  if (S_ISREG(st.st_mode)) return walk.files->push_back({shown, absolute(path)});
  if (!S_ISDIR(st.st_mode)) return walk.skip(shown, std::string(entryKind(st.st_mode)) + ", not a regular file");
  const FolderId id{st.st_dev, st.st_ino};
  if (std::find(walk.ancestors.begin(), walk.ancestors.end(), id) != walk.ancestors.end())
    return walk.skip(shown, "symbolic link loop");
  walk.skip(shown, "symbolic link to a folder inside the scanned folder, scanned under its own name");
}

void visitFolder(const std::string& shown, const std::string& path, Walk& walk) {
  std::vector<std::string> names;
  if (!readNames(path, &names)) return walk.error(shown, std::string("cannot read folder: ") + strerror(errno));
  for (const std::string& name : names) {
    const std::string childShown = joined(shown, name), childPath = joined(path, name);
    struct stat st;
    if (lstat(childPath.c_str(), &st) != 0) {
      walk.error(childShown, strerror(errno));
    } else if (S_ISLNK(st.st_mode)) {
      visitLink(childShown, childPath, walk);
    } else if (S_ISREG(st.st_mode)) {
      walk.files->push_back({childShown, absolute(childPath)});
    } else if (!S_ISDIR(st.st_mode)) {
      walk.skip(childShown, std::string(entryKind(st.st_mode)) + ", not a regular file");
    } else if (walk.ancestors.size() >= static_cast<size_t>(kDeepestFolder)) {
      walk.error(childShown, "folder nested deeper than " + std::to_string(kDeepestFolder) + " levels");
    } else {
      walk.ancestors.push_back({st.st_dev, st.st_ino});
      visitFolder(childShown, childPath, walk);
      walk.ancestors.pop_back();
    }
  }
}

}  // namespace

const char* entryKind(mode_t mode) {
  if (S_ISFIFO(mode)) return "FIFO";
  if (S_ISSOCK(mode)) return "socket";
  if (S_ISCHR(mode)) return "character device";
  if (S_ISBLK(mode)) return "block device";
  if (S_ISDIR(mode)) return "folder";
  return "special file";
}

void walkFolder(const std::string& display, const std::string& root, std::vector<InputFile>* files,
                std::vector<WalkProblem>* problems) {
  Walk walk{"", {}, files, problems};
  char resolved[PATH_MAX];
  struct stat st;
  if (realpath(root.c_str(), resolved) == nullptr || stat(resolved, &st) != 0)
    return walk.error(display, strerror(errno));
  walk.canonicalRoot = resolved;
  walk.ancestors.push_back({st.st_dev, st.st_ino});
  visitFolder(display, root, walk);
}

}  // namespace host
