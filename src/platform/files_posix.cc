// Files and directories on POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace olvix::platform {

using internal::Creating;
using internal::Existing;
using internal::RawStat;

namespace {

int Errno() { return errno != 0 ? errno : EIO; }

FileInfo InfoOf(const struct stat& st) {
  FileInfo info;
  info.exists = true;
  info.is_dir = S_ISDIR(st.st_mode);
  info.size = st.st_size;
  info.mtime = st.st_mtim.tv_sec;
  info.device = st.st_dev;
  return info;
}

bool WildMatchNoCase(const char* p, const char* s) {
  // Iterative "*"/"?" matcher with backtracking to the last star.
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*s) {
    if (*p == '*') {
      star = p++;
      resume = s;
    } else if (*p == '?' || (*p && lower(*p) == lower(*s))) {
      ++p;
      ++s;
    } else if (star) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == 0;
}

// Directory-search rules of the program's home system: besides "*" and "?",
// a mask ending in ".*" also takes names without any dot ("*.*" lists
// everything, "README.*" finds "README").
bool MatchesName(const std::string& pattern, const char* name) {
  if (WildMatchNoCase(pattern.c_str(), name)) return true;
  size_t n = pattern.size();
  if (n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 && !std::strchr(name, '.'))
    return WildMatchNoCase(pattern.substr(0, n - 2).c_str(), name);
  return false;
}

// Opens a source file for reading without blocking on a FIFO or device;
// with `no_follow` a symbolic link is refused too. Reading a plain file
// never blocks, so the descriptor needs no change after the check.
int OpenSource(const std::string& path, bool no_follow, struct stat* st, int* fd) {
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (no_follow ? O_NOFOLLOW : 0);
  int in = ::open(path.c_str(), flags);
  if (in < 0) return (no_follow && errno == ELOOP) ? kNotPlainFile : Errno();
  if (::fstat(in, st) != 0) {
    int e = Errno();
    ::close(in);
    return e;
  }
  if (!S_ISREG(st->st_mode)) {
    ::close(in);
    return kNotPlainFile;
  }
  *fd = in;
  return 0;
}

// Writes all of `data` to `fd`, passing the fault point once per write.
int WriteAll(int fd, const std::string& path, const char* data, size_t size) {
  size_t off = 0;
  while (off < size) {
    OLVIX_FAULT(path, true);
    ssize_t w = ::write(fd, data + off, size - off);
    if (w < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    off += static_cast<size_t>(w);
  }
  return 0;
}

// Copies the bytes of `in` (size `size`) to `out`, in the kernel where it
// can, else by reads and writes.
int CopyBytes(int in, int out, const std::string& out_path, off_t size) {
  off_t remaining = size;
  bool use_range = true;
  while (remaining > 0 && use_range) {
    OLVIX_FAULT(out_path, true);
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<size_t>(remaining), 0);
    if (n < 0) {
      if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
        use_range = false;
        break;
      }
      return Errno();
    }
    if (n == 0) return 0;  // the file shrank meanwhile
    remaining -= n;
  }
  if (use_range) return 0;
  // Start over with plain reads and writes from where the kernel copy
  // stopped.
  off_t done = size - remaining;
  if (::lseek(in, done, SEEK_SET) < 0 || ::lseek(out, done, SEEK_SET) < 0) return Errno();
  std::vector<char> buf(1 << 16);
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return Errno();
    }
    if (n == 0) return 0;
    if (int e = WriteAll(out, out_path, buf.data(), static_cast<size_t>(n))) return e;
  }
}

// Creates `p` (resolved) exclusively with `data` in it.
int WriteNew(const std::string& p, const std::string& data) {
  OLVIX_FAULT(p, true);
  int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return Errno();
  internal::NoteAdded(p);
  int err = WriteAll(fd, p, data.data(), data.size());
  if (::close(fd) != 0 && !err) err = Errno();
  if (err) {
    (void)::unlink(p.c_str());  // a name half written is worse than none
    internal::NoteRemoved(p);
  }
  return err;
}

// Renames the resolved `f` onto the resolved `t`.
int RenameResolved(const std::string& f, const std::string& t) {
  OLVIX_FAULT(t, false);
  struct stat st;
  bool dir = RawStat(f, &st) && S_ISDIR(st.st_mode);
  if (::rename(f.c_str(), t.c_str()) != 0) return Errno();
  internal::NoteRemoved(f);
  internal::NoteAdded(t);
  if (dir) internal::NoteDirectoryGone(f);
  return 0;
}

}  // namespace

const char* PlatformName() { return "Linux"; }
int NotFoundCode() { return ENOENT; }
bool IsAlreadyExists(int code) { return code == EEXIST; }
int NoSpaceCode() { return ENOSPC; }

std::string ErrorText(int code) {
  if (code == kNotPlainFile) return "Not a plain file";
  if (code == kFileTooLarge) return "File too large";
  char buf[256];
  // GNU strerror_r returns a pointer that may or may not be buf.
  const char* text = strerror_r(code, buf, sizeof buf);
  return text ? text : "unknown error";
}

FileInfo Stat(const std::string& path) {
  struct stat st;
  if (Existing(path, [&](const std::string& p) { return RawStat(p, &st) ? 0 : Errno(); }) != 0)
    return FileInfo();
  return InfoOf(st);
}

bool FileExists(const std::string& path) { return Stat(path).exists; }
bool IsDirectory(const std::string& path) { return Stat(path).is_dir; }

std::FILE* OpenStream(const std::string& path, const char* mode, int* error) {
  bool creates = std::strchr(mode, 'w') || std::strchr(mode, 'a');
  std::FILE* f = nullptr;
  int rc;
  if (creates) {
    // An existing file of another spelling is the one to write.
    std::string p = NativePath(path);
    rc = [&]() -> int {
      OLVIX_FAULT(p, true);
      f = internal::OpenWriteStream(p, mode);
      if (!f) return Errno();
      internal::NoteAdded(p);
      return 0;
    }();
  } else {
    rc = Existing(path, [&](const std::string& p) {
      f = std::fopen(p.c_str(), mode);
      return f ? 0 : Errno();
    });
  }
  if (!f && error) *error = rc;
  return f;
}

int MakeDir(const std::string& path) {
  std::string n = NormalizePath(path);
  while (n.size() > 1 && n.back() == '/') n.pop_back();
  // A directory found or made before in this run is still there.
  if (internal::KnownDirectory(n)) return kOk;
  std::string p = internal::Resolve(n);
  struct stat st;
  if (RawStat(p, &st)) {
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    internal::RememberDirectory(p, p);
    internal::RememberDirectory(n, p);  // and the name as written
    return kOk;
  }
  OLVIX_FAULT(p, true);
  if (::mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) return Errno();
  internal::NoteAdded(p);
  internal::RememberDirectory(p, p);
  internal::RememberDirectory(n, p);
  return kOk;
}

int RemoveFile(const std::string& path) {
  return Existing(path, [](const std::string& p) {
    OLVIX_FAULT(p, false);
    if (::unlink(p.c_str()) != 0) return Errno();
    internal::NoteRemoved(p);
    return 0;
  });
}

int RemoveDir(const std::string& path) {
  return Existing(path, [](const std::string& path_as_given) {
    std::string p = path_as_given;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    OLVIX_FAULT(p, false);
    if (::rmdir(p.c_str()) != 0) return Errno();
    internal::NoteRemoved(p);
    internal::NoteDirectoryGone(p);
    return 0;
  });
}

int RenamePath(const std::string& from, const std::string& to) {
  std::string f = NativePath(from), t = NativePath(to);
  if (f == t) {
    // Both names resolve to one entry: either nothing to do, or a change of
    // the letter case only, which takes the case of `to` as written.
    struct stat st;
    if (!RawStat(f, &st)) return Errno();
    std::string dir, name, wdir, wname;
    internal::SplitPath(f, &dir, &name);
    internal::SplitPath(NormalizePath(to), &wdir, &wname);
    if (wname.empty() || wname == name) return kOk;
    t = internal::Join(dir, wname);
  }
  return RenameResolved(f, t);
}

int CopyFileContents(const std::string& from, const std::string& to, CopySource source) {
  struct stat st;
  int in = -1;
  int rc = Existing(from, [&](const std::string& f) {
    return OpenSource(f, source == CopySource::kPlainOnly, &st, &in);
  });
  if (rc != 0) return rc;
  // The target of a copy may be there under another spelling: that is the
  // file it replaces.
  std::string t = NativePath(to);
  struct stat tst;
  if (RawStat(t, &tst) && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
    // The target is the source itself (another spelling, or a hard link in
    // a filebox): it holds the bytes already, and truncating it to write
    // them again would destroy them.
    ::close(in);
    return kOk;
  }
  std::string temp = RunTempName(t);
  int out = -1;
  rc = [&]() -> int {
    OLVIX_FAULT(temp, true);
    out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) return Errno();
    internal::NoteAdded(temp);
    return 0;
  }();
  if (out < 0) {
    ::close(in);
    return rc;
  }
  int err = CopyBytes(in, out, temp, st.st_size);
  if (!err) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out, times);  // a copy with a fresh time is still a copy
  }
  if (::close(out) != 0 && !err) err = Errno();
  ::close(in);
  if (!err) err = RenameResolved(temp, t);
  if (err) (void)RemoveFile(temp);  // never leave a half-written copy behind
  return err;
}

int LinkOrCopyFile(const std::string& from, const std::string& to) {
  std::string t = NativePath(to);
  int rc = Existing(from, [&](const std::string& f) {
    OLVIX_FAULT(t, true);
    if (::link(f.c_str(), t.c_str()) != 0) return Errno();
    internal::NoteAdded(t);
    return 0;
  });
  if (rc == 0) return 0;
  if (rc == EEXIST) {
    // Another file stands there: a new name for the source replaces it in
    // one step, or, when the two are one file already, nothing is to do.
    std::string temp = RunTempName(t);
    (void)::unlink(temp.c_str());  // a leftover of this very process id
    rc = Existing(from, [&](const std::string& f) {
      struct stat a, b;
      if (RawStat(f, &a) && RawStat(t, &b) && a.st_dev == b.st_dev && a.st_ino == b.st_ino)
        return 0;
      OLVIX_FAULT(temp, true);
      if (::link(f.c_str(), temp.c_str()) != 0) return Errno();
      internal::NoteAdded(temp);
      int r = RenameResolved(temp, t);
      if (r != 0) (void)RemoveFile(temp);
      return r;
    });
    if (rc == 0) return 0;
  }
  if (rc == ENOENT) return rc;  // no source: nothing to copy either
  return CopyFileContents(from, to, CopySource::kPlainOnly);
}

int ReadPlainFile(const std::string& path, size_t max_size, std::string* out) {
  out->clear();
  struct stat st;
  int in = -1;
  int rc = Existing(path, [&](const std::string& p) { return OpenSource(p, true, &st, &in); });
  if (rc != 0) return rc;
  if (static_cast<uint64_t>(st.st_size) > max_size) {
    ::close(in);
    return kFileTooLarge;
  }
  // One byte more than fstat said: a read that fills it all shows a file
  // still growing, which is read on up to the limit.
  out->resize(static_cast<size_t>(st.st_size) + 1);
  size_t got = 0;
  int err = 0;
  while (got < out->size()) {
    ssize_t n = ::read(in, out->data() + got, out->size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = Errno();
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
    if (got == out->size() && out->size() <= max_size)
      out->resize(std::min(max_size + 1, out->size() + 65536));
  }
  ::close(in);
  out->resize(got);
  if (err) return err;
  if (got > max_size) {
    out->clear();
    return kFileTooLarge;
  }
  return 0;
}

int ReadFileChunks(const std::string& path, CopySource source,
                   const std::function<void(const char*, size_t)>& chunk, FileInfo* info) {
  struct stat st;
  int in = -1;
  int rc = Existing(path, [&](const std::string& p) {
    return OpenSource(p, source == CopySource::kPlainOnly, &st, &in);
  });
  if (rc != 0) return rc;
  if (info) *info = InfoOf(st);
  std::vector<char> buf(st.st_size < (1 << 20) ? static_cast<size_t>(st.st_size) + 1 : 1 << 20);
  int err = 0;
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      err = Errno();
      break;
    }
    if (n == 0) break;
    chunk(buf.data(), static_cast<size_t>(n));
    // A short read of a plain file means its end: no read is wasted on
    // being told so.
    if (static_cast<size_t>(n) < buf.size() && st.st_size < (1 << 20)) break;
  }
  ::close(in);
  return err;
}

int WriteNewFile(const std::string& path, const std::string& data) {
  return Creating(path, [&](const std::string& p) { return WriteNew(p, data); });
}

int ReplaceFile(const std::string& path, const std::string& data) {
  std::string p = NativePath(path);
  std::string temp = RunTempName(p);
  int rc = WriteNew(temp, data);
  if (rc == EEXIST) {
    (void)RemoveFile(temp);  // a leftover of this very process id
    rc = WriteNew(temp, data);
  }
  if (rc != 0) return rc;
  rc = RenameResolved(temp, p);
  if (rc != 0) (void)RemoveFile(temp);
  return rc;
}

std::string RunTempName(const std::string& path) {
  return path + "." + std::to_string(static_cast<long>(::getpid())) + ".$$$";
}

int RunTempOwner(const std::string& name) {
  if (!IsWorkFileName(name)) return -1;
  size_t end = name.size() - 4;
  size_t dot = name.rfind('.', end - 1);
  if (dot == std::string::npos || dot + 1 >= end || end - dot - 1 > 9) return -1;
  int pid = 0;
  for (size_t i = dot + 1; i < end; ++i) {
    if (name[i] < '0' || name[i] > '9') return -1;
    pid = pid * 10 + (name[i] - '0');
  }
  return pid;
}

bool IsWorkFileName(const std::string& name) {
  return name.size() >= 4 && name.compare(name.size() - 4, 4, ".$$$") == 0;
}

int SyncFileSystems(const std::vector<std::string>& paths) {
  // The benchmark that weighs what the sync costs leaves it out.
  if (internal::SyncLeftOut()) return 0;
  std::set<uint64_t> done;
  int first_error = 0;
  for (const std::string& path : paths) {
    std::string p = NativePath(path);
    struct stat st;
    if (!RawStat(p, &st)) continue;  // nothing was written there
    if (!done.insert(static_cast<uint64_t>(st.st_dev)).second) continue;
    OLVIX_FAULT(p, false);
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (!first_error) first_error = Errno();
      continue;
    }
    if (::syncfs(fd) != 0 && !first_error) first_error = Errno();
    ::close(fd);
  }
  return first_error;
}

int OpenAppendFile(const std::string& path, int* error) {
  int fd = -1;
  int rc = Creating(path, [&](const std::string& p) {
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return Errno();
    internal::NoteAdded(p);
    internal::NoteAppendPath(fd, p);
    return 0;
  });
  if (fd < 0 && error) *error = rc;
  return fd;
}

int AppendRecord(int handle, const std::string& data) {
  OLVIX_FAULT(internal::AppendPath(handle), true);
  off_t before = ::lseek(handle, 0, SEEK_END);
  size_t off = 0;
  while (off < data.size()) {
    ssize_t w = ::write(handle, data.data() + off, data.size() - off);
    if (w < 0) {
      if (errno == EINTR) continue;
      int e = Errno();
      // A record cut off by a full disk must not stay as a fragment that
      // the next record would run into.
      if (before >= 0) (void)::ftruncate(handle, before);
      return e;
    }
    off += static_cast<size_t>(w);
  }
  return 0;
}

int CloseAppendFile(int handle) { return ::close(handle) == 0 ? 0 : Errno(); }

int HardLink(const std::string& from, const std::string& to) {
  return Creating(to, [&](const std::string& t) {
    return Existing(from, [&](const std::string& f) {
      OLVIX_FAULT(t, true);
      if (::link(f.c_str(), t.c_str()) != 0) return Errno();
      internal::NoteAdded(t);
      return 0;
    });
  });
}

int CreateExclusive(const std::string& path) {
  return Creating(path, [](const std::string& p) { return WriteNew(p, std::string()); });
}

int SetModTime(const std::string& path, int64_t mtime) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(mtime);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return Existing(path, [&](const std::string& p) {
    OLVIX_FAULT(p, false);
    return ::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0 ? 0 : Errno();
  });
}

int ClearAttributes(const std::string& path) {
  return Existing(path, [](const std::string& p) {
    struct stat st;
    if (!RawStat(p, &st)) return Errno();
    return ::chmod(p.c_str(), st.st_mode | S_IWUSR) == 0 ? 0 : Errno();
  });
}

bool IsHidden(const std::string&) { return false; }

bool IsPlainFile(const std::string& path) {
  struct stat st;
  int rc = Existing(path, [&](const std::string& p) {
    return ::lstat(p.empty() ? "." : p.c_str(), &st) == 0 ? 0 : Errno();
  });
  return rc == 0 && S_ISREG(st.st_mode);
}

int64_t FreeSpaceKb(const std::string& path) {
  struct statvfs sv;
  std::string p = NativePath(path);
  if (::statvfs(p.empty() ? "." : p.c_str(), &sv) != 0) return -1;
  return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize) / 1024;
}

bool NameMatches(const std::string& pattern, const std::string& name) {
  return MatchesName(pattern, name.c_str());
}

int ListDirectory(const std::string& dir, const std::string& pattern, bool with_dirs,
                  std::vector<DirEntry>* out, EntryDetails details) {
  DIR* h = nullptr;
  int rc = Existing(dir, [&](const std::string& d) {
    h = ::opendir(d.empty() ? "." : d.c_str());
    return h ? 0 : Errno();
  });
  if (!h) return rc;
  while (struct dirent* e = ::readdir(h)) {
    const char* n = e->d_name;
    if (!std::strcmp(n, ".") || !std::strcmp(n, "..")) continue;
    if (!MatchesName(pattern, n)) continue;
    DirEntry entry;
    bool known = e->d_type == DT_REG || e->d_type == DT_DIR;
    if (details == EntryDetails::kNamesOnly && known) {
      // The type the directory gives is enough: the names of a big spool
      // directory cost no call per entry.
      entry.is_dir = e->d_type == DT_DIR;
      entry.size = -1;
    } else {
      struct stat st;
      if (::fstatat(dirfd(h), n, &st, 0) != 0) continue;
      entry.is_dir = S_ISDIR(st.st_mode);
      if (!entry.is_dir && !S_ISREG(st.st_mode)) continue;
      entry.size = st.st_size;
      entry.mtime = st.st_mtim.tv_sec;
    }
    if (entry.is_dir && !with_dirs) continue;
    entry.name = n;
    out->push_back(std::move(entry));
  }
  ::closedir(h);
  return kOk;
}

}  // namespace olvix::platform
