#include "scratch_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace olvix::bench {

namespace {

void RemoveTreeAt(int parent, const char* name) {
  for (int pass = 0; pass < 3; ++pass) {
    int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;  // missing: nothing to remove
    DIR* d = ::fdopendir(fd);
    if (!d) return (void)::close(fd);
    while (dirent* e = ::readdir(d)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      if (e->d_type == DT_DIR || (::unlinkat(fd, e->d_name, 0) != 0 && errno == EISDIR))
        RemoveTreeAt(fd, e->d_name);
    }
    ::closedir(d);
    // Entries added while we listed (none expected) get another pass.
    if (::unlinkat(parent, name, AT_REMOVEDIR) == 0 || errno != ENOTEMPTY) return;
  }
}

}  // namespace

ScratchDir::ScratchDir(const std::string& prefix) {
  const char* tmp = std::getenv("TMPDIR");
  path_ = std::string(tmp && *tmp ? tmp : "/tmp");
  if (path_.back() != '/') path_ += '/';
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::system_clock::now().time_since_epoch())
                .count();
  path_ += prefix + "-" + std::to_string(ms) + "-" + std::to_string(::getpid()) + "/";
  ok_ = ::mkdir(path_.c_str(), 0777) == 0;
  int fd = ok_ ? ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd >= 0) {
    // Best effort: file systems without the flag just place directories as
    // they always do.
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags |= FS_TOPDIR_FL;
      (void)::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
  }
}

ScratchDir::~ScratchDir() {
  if (ok_) RemoveTree(path_);
}

std::string ScratchDir::NewRoundDir() {
  std::string dir = path_ + "round" + std::to_string(++rounds_) + "/";
  return ok_ && ::mkdir(dir.c_str(), 0777) == 0 ? dir : "";
}

void RemoveTree(const std::string& dir) { RemoveTreeAt(AT_FDCWD, dir.c_str()); }

}  // namespace olvix::bench
