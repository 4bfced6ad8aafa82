#include "bench_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "util/paths.h"

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

TempDir::TempDir(const std::string& prefix) {
  static int made = 0;
  std::string tmp;
  if (!platform::GetEnv("TMPDIR", &tmp) || tmp.empty()) tmp = "/tmp";
  path_ = WithTrailingSep(tmp) + prefix + "-" + std::to_string(platform::NowMilliseconds()) + "-" +
          std::to_string(platform::ProcessId()) + "-" + std::to_string(++made) + "/";
  ok_ = MakeDir(path_);
}

TempDir::~TempDir() {
  if (ok_) RemoveTree(path_);
}

ScratchDir::ScratchDir(const std::string& prefix) : base_(prefix) {
  int fd = ok() ? ::open(path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (fd < 0) return;
  // Best effort: file systems without the flag just place directories as
  // they always do.
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_TOPDIR_FL;
    (void)::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
}

std::string ScratchDir::NewRoundDir() {
  std::string dir = path() + "round" + std::to_string(++rounds_) + "/";
  return ok() && MakeDir(dir) ? dir : "";
}

void RemoveTree(const std::string& dir) { RemoveTreeAt(AT_FDCWD, dir.c_str()); }

bool MakeDir(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

bool WriteFile(const std::string& path, const std::string& data) {
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "wb", &err);
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

size_t CountEntries(const std::string& dir, const char* mask) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, mask, false, &entries);  // missing: 0
  return entries.size();
}

int RunOlvix(const std::string& binary, const std::string& home, const std::string& args,
             const std::string& env) {
  return platform::RunCommand("OLVIXPATH=" + platform::ShellQuote(home) + " " +
                              (env.empty() ? "" : env + " ") + platform::ShellQuote(binary) + " " +
                              args + " >/dev/null 2>&1");
}

NodeContext::NodeContext(const std::string& home) {
  ctx_.home = home;
  CreatePath(home);
  int err = 0;
  console_ = platform::OpenStream("/dev/null", "w", &err);
  if (console_) ctx_.log.set_console(console_);
  log_ = platform::OpenStream(home + "olvix.log", "w", &err);
  if (log_) ctx_.log.AttachFile(log_);
}

NodeContext::~NodeContext() {
  ctx_.log.DetachFile();
  ctx_.log.set_console(stdout);
  if (log_) std::fclose(log_);
  if (console_) std::fclose(console_);
}

}  // namespace olvix::bench
