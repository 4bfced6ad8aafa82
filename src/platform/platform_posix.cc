// POSIX implementation of the platform layer.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/fault.h"
#include "platform/platform.h"

namespace olvix::platform {

namespace {

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }
char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string Lowered(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = AsciiLower(c);
  return r;
}
std::string Uppered(const std::string& s) {
  std::string r = s;
  for (char& c : r) c = AsciiUpper(c);
  return r;
}

bool RawStat(const std::string& path, struct stat* st) {
  return ::stat(path.empty() ? "." : path.c_str(), st) == 0;
}

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Listing of one directory, keyed by the lower-case form of each name, kept
// so that a case-insensitive lookup does not read the directory again. It is
// refreshed when the directory's modification time changes (another program
// wrote into it) and updated in place by this layer's own changes. Two
// changes within one tick of the file system's clock leave the time as it
// was, so a file another program creates right after a listing was read may
// stay unseen until the directory changes again; names in upper or lower
// case are looked up directly and do not depend on the listing.
struct DirListing {
  int64_t mtime_ns = -1;
  uint64_t device = 0;
  uint64_t inode = 0;
  std::unordered_map<std::string, std::set<std::string>> by_lower;

  bool CurrentFor(const struct stat& st) const {
    return mtime_ns == MtimeNs(st) && device == static_cast<uint64_t>(st.st_dev) &&
           inode == static_cast<uint64_t>(st.st_ino);
  }
};

class DirCache {
 public:
  // The entry of `dir` equal to `name` without regard to case (byte-wise
  // smallest of several), or "" when there is none.
  std::string Find(const std::string& dir, const std::string& name) {
    struct stat st;
    if (!RawStat(dir, &st) || !S_ISDIR(st.st_mode)) return "";
    DirListing& l = listings_[Key(dir)];
    if (!l.CurrentFor(st)) Reload(dir, st, &l);
    auto it = l.by_lower.find(Lowered(name));
    if (it == l.by_lower.end() || it->second.empty()) return "";
    return *it->second.begin();
  }

  // Records that this process added or removed `name` in `dir`. `before` is
  // the directory's time before the change: when the listing was current
  // then, it stays current after the change.
  void Note(const std::string& dir, const std::string& name, bool added, int64_t before) {
    auto it = listings_.find(Key(dir));
    if (it == listings_.end()) return;
    DirListing& l = it->second;
    struct stat st;
    if (l.mtime_ns != before || !RawStat(dir, &st)) {
      listings_.erase(it);
      return;
    }
    auto& names = l.by_lower[Lowered(name)];
    if (added)
      names.insert(name);
    else
      names.erase(name);
    l.mtime_ns = MtimeNs(st);
  }

  bool Has(const std::string& dir) const { return listings_.count(Key(dir)) != 0; }

 private:
  // Listings are kept by absolute path: a bare or relative name means
  // another directory after every change of the current directory.
  static std::string Key(const std::string& dir) {
    if (!dir.empty() && dir.front() == '/') return dir;
    std::string cwd = CurrentDirectory();  // ends in "/"
    if (dir.empty() || dir == ".") {
      if (cwd.size() > 1) cwd.pop_back();
      return cwd;
    }
    return cwd + dir;
  }

  static void Reload(const std::string& dir, const struct stat& st, DirListing* l) {
    l->by_lower.clear();
    l->mtime_ns = MtimeNs(st);
    l->device = static_cast<uint64_t>(st.st_dev);
    l->inode = static_cast<uint64_t>(st.st_ino);
    DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
      l->mtime_ns = -1;
      return;
    }
    while (struct dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      l->by_lower[Lowered(n)].insert(n);
    }
    ::closedir(d);
  }

  std::unordered_map<std::string, DirListing> listings_;
};

DirCache& Cache() {
  static DirCache cache;
  return cache;
}

// Splits "dir/name" into its parts; dir is "" for a bare name and "/" for a
// name in the root.
void SplitPath(const std::string& path, std::string* dir, std::string* name) {
  size_t pos = path.find_last_of('/');
  if (pos == std::string::npos) {
    dir->clear();
    *name = path;
  } else {
    *dir = pos == 0 ? "/" : path.substr(0, pos);
    *name = path.substr(pos + 1);
  }
}

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string Resolve(const std::string& path);

// Resolves a path without a trailing separator.
std::string ResolveNoTrail(const std::string& p) {
  if (p.empty() || p == "/" || p == "." || p == "..") return p;
  struct stat st;
  if (RawStat(p, &st)) return p;
  std::string dir, name;
  SplitPath(p, &dir, &name);
  if (name.empty() || name == "." || name == "..") return p;
  std::string rdir = dir.empty() ? dir : Resolve(dir);
  std::string exact = JoinPath(rdir, name);
  if (rdir != dir && RawStat(exact, &st)) return exact;
  // The all-upper-case spelling is the byte-wise smallest of all spellings,
  // so when it exists it is the answer without a listing. Any other
  // spelling needs the listing to tell whether a smaller one exists.
  std::string up = Uppered(name);
  if (up != name && RawStat(JoinPath(rdir, up), &st)) return JoinPath(rdir, up);
  std::string found = Cache().Find(rdir, name);
  if (!found.empty()) return JoinPath(rdir, found);
  return exact;
}

std::string Resolve(const std::string& path) {
  if (path.size() > 1 && path.back() == '/') {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return ResolveNoTrail(trimmed) + "/";
  }
  return ResolveNoTrail(path);
}

int64_t DirMtimeNs(const std::string& dir) {
  struct stat st;
  return RawStat(dir, &st) ? MtimeNs(st) : -2;
}

// Runs a change of the entry `resolved` and keeps the directory cache
// current.
template <typename F>
int ChangeEntry(const std::string& resolved, bool added, F op) {
  std::string dir, name;
  SplitPath(resolved, &dir, &name);
  bool cached = Cache().Has(dir);
  int64_t before = cached ? DirMtimeNs(dir) : 0;
  int rc = op();
  if (cached && rc == 0) Cache().Note(dir, name, added, before);
  return rc;
}

bool WildMatchNoCase(const char* p, const char* s) {
  // Iterative "*"/"?" matcher with backtracking to the last star.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*s) {
    if (*p == '*') {
      star = p++;
      resume = s;
    } else if (*p == '?' || (*p && AsciiLower(*p) == AsciiLower(*s))) {
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
bool NameMatches(const std::string& pattern, const char* name) {
  if (WildMatchNoCase(pattern.c_str(), name)) return true;
  size_t n = pattern.size();
  if (n >= 2 && pattern.compare(n - 2, 2, ".*") == 0 && !std::strchr(name, '.'))
    return WildMatchNoCase(pattern.substr(0, n - 2).c_str(), name);
  return false;
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

// Fault injection for the crash tests: a build with OLVIX_FAULT_INJECTION
// reads OLVIX_FAULT once and counts every operation that changes a file.
//   kill:N           the process dies as by SIGKILL just before operation N;
//   enospc:N[:TEXT]  from operation N on, every operation that needs space
//                    (on paths holding TEXT, when given) fails with ENOSPC.
// The product build compiles the calls away.
#ifdef OLVIX_FAULT_INJECTION
struct FaultPlan {
  enum Kind { kNone, kKill, kNoSpace, kNoSync } kind = kNone;
  long long at = 0;
  std::string where;
  long long count = 0;
};

FaultPlan ParseFaultPlan(const std::string& text) {
  FaultPlan plan;
  size_t colon = text.find(':');
  if (colon == std::string::npos) return plan;
  std::string kind = text.substr(0, colon);
  std::string rest = text.substr(colon + 1);
  size_t second = rest.find(':');
  plan.at = std::atoll(rest.substr(0, second).c_str());
  if (second != std::string::npos) plan.where = rest.substr(second + 1);
  if (kind == "kill") plan.kind = FaultPlan::kKill;
  if (kind == "enospc") plan.kind = FaultPlan::kNoSpace;
  if (kind == "nosync") plan.kind = FaultPlan::kNoSync;
  return plan;
}

FaultPlan& CurrentPlan() {
  static FaultPlan plan = [] {
    const char* env = std::getenv("OLVIX_FAULT");
    return ParseFaultPlan(env ? env : "");
  }();
  return plan;
}

int FaultPoint(const std::string& path, bool needs_space) {
  FaultPlan& plan = CurrentPlan();
  switch (plan.kind) {
    case FaultPlan::kNone:
    case FaultPlan::kNoSync:
      return 0;
    case FaultPlan::kKill:
      if (++plan.count == plan.at) {
        std::fflush(nullptr);
        ::raise(SIGKILL);
      }
      return 0;
    case FaultPlan::kNoSpace:
      if (!needs_space) return 0;
      if (!plan.where.empty() && path.find(plan.where) == std::string::npos) return 0;
      return ++plan.count >= plan.at ? ENOSPC : 0;
  }
  return 0;
}

// The paths of the append-only files, for the fault point.
std::map<int, std::string>& AppendPaths() {
  static std::map<int, std::string> paths;
  return paths;
}

// Streams opened for writing pass every write through the fault point.
struct FaultStream {
  int fd;
  std::string path;
};

ssize_t FaultStreamWrite(void* cookie, const char* buf, size_t size) {
  auto* s = static_cast<FaultStream*>(cookie);
  if (int e = FaultPoint(s->path, true)) {
    errno = e;
    return -1;
  }
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(s->fd, buf + done, size - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? static_cast<ssize_t>(done) : -1;
    }
    done += static_cast<size_t>(n);
  }
  return static_cast<ssize_t>(done);
}

ssize_t FaultStreamRead(void* cookie, char* buf, size_t size) {
  return ::read(static_cast<FaultStream*>(cookie)->fd, buf, size);
}

int FaultStreamSeek(void* cookie, off64_t* offset, int whence) {
  off_t r = ::lseek(static_cast<FaultStream*>(cookie)->fd, static_cast<off_t>(*offset), whence);
  if (r < 0) return -1;
  *offset = r;
  return 0;
}

int FaultStreamClose(void* cookie) {
  auto* s = static_cast<FaultStream*>(cookie);
  int rc = ::close(s->fd);
  delete s;
  return rc;
}

std::FILE* FaultOpen(const std::string& path, const char* mode) {
  int flags = O_CLOEXEC;
  bool plus = std::strchr(mode, '+') != nullptr;
  if (mode[0] == 'w') flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC;
  if (mode[0] == 'a') flags |= (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_APPEND;
  int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  cookie_io_functions_t io = {FaultStreamRead, FaultStreamWrite, FaultStreamSeek, FaultStreamClose};
  std::FILE* f = ::fopencookie(new FaultStream{fd, path}, mode, io);
  if (!f) ::close(fd);
  return f;
}
#define OLVIX_FAULT(path, space)                    \
  do {                                              \
    if (int fault_ = FaultPoint((path), (space))) { \
      errno = fault_;                               \
      return fault_;                                \
    }                                               \
  } while (0)
#else
#define OLVIX_FAULT(path, space) \
  do {                           \
    (void)(path);                \
  } while (0)
#endif

bool g_title_set = false;

}  // namespace

#ifdef OLVIX_FAULT_INJECTION
void SetFaultPlan(const std::string& plan) { CurrentPlan() = ParseFaultPlan(plan); }
#endif

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

std::string NormalizePath(const std::string& path, const std::string& base) {
  std::string p = path;
  for (char& c : p)
    if (c == '\\') c = '/';
  if (p.size() >= 2 && p[1] == ':' &&
      ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    std::string var = std::string("OLVIX_DRIVE_") + AsciiUpper(p[0]);
    std::string root;
    if (!GetEnv(var, &root) || root.empty()) root = "/";
    for (char& c : root)
      if (c == '\\') c = '/';
    std::string rest = p.substr(2);
    while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
    if (root.back() != '/') root += '/';
    p = root + rest;
  } else if (!p.empty() && p.front() != '/' && !base.empty()) {
    std::string b = NormalizePath(base);
    if (b.back() != '/') b += '/';
    p = b + p;
  }
  // Collapse repeated separators.
  std::string out;
  out.reserve(p.size());
  for (char c : p) {
    if (c == '/' && !out.empty() && out.back() == '/') continue;
    out += c;
  }
  return out;
}

std::string NativePath(const std::string& path) { return Resolve(NormalizePath(path)); }

bool LowerCaseOutboundNames() { return true; }

bool SamePath(const std::string& a, const std::string& b) {
  std::string x = Lowered(NormalizePath(a)), y = Lowered(NormalizePath(b));
  while (x.size() > 1 && x.back() == '/') x.pop_back();
  while (y.size() > 1 && y.back() == '/') y.pop_back();
  return x == y;
}

FileInfo Stat(const std::string& path) {
  FileInfo info;
  struct stat st;
  if (!RawStat(NativePath(path), &st)) return info;
  info.exists = true;
  info.is_dir = S_ISDIR(st.st_mode);
  info.size = st.st_size;
  info.mtime = st.st_mtim.tv_sec;
  info.device = st.st_dev;
  return info;
}

bool FileExists(const std::string& path) { return Stat(path).exists; }
bool IsDirectory(const std::string& path) { return Stat(path).is_dir; }

std::FILE* OpenStream(const std::string& path, const char* mode, int* error) {
  std::string p = NativePath(path);
  bool creates = std::strchr(mode, 'w') || std::strchr(mode, 'a');
  std::FILE* f = nullptr;
  if (creates) {
#ifdef OLVIX_FAULT_INJECTION
    if (int e = FaultPoint(p, true)) {
      if (error) *error = e;
      return nullptr;
    }
#endif
    struct stat st;
    bool existed = RawStat(p, &st);
    ChangeEntry(p, true, [&] {
#ifdef OLVIX_FAULT_INJECTION
      f = FaultOpen(p, mode);
#else
      f = std::fopen(p.c_str(), mode);
#endif
      return (f && !existed) ? 0 : 1;
    });
  } else {
    f = std::fopen(p.c_str(), mode);
  }
  if (!f && error) *error = errno;
  return f;
}

int MakeDir(const std::string& path) {
  std::string p = NativePath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  struct stat st;
  if (RawStat(p, &st)) return S_ISDIR(st.st_mode) ? kOk : ENOTDIR;
  OLVIX_FAULT(p, true);
  return ChangeEntry(p, true, [&] {
    if (::mkdir(p.c_str(), 0777) == 0 || errno == EEXIST) return 0;
    return errno;
  });
}

int RemoveFile(const std::string& path) {
  std::string p = NativePath(path);
  OLVIX_FAULT(p, false);
  return ChangeEntry(p, false, [&] { return ::unlink(p.c_str()) == 0 ? 0 : errno; });
}

int RemoveDir(const std::string& path) {
  std::string p = NativePath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  OLVIX_FAULT(p, false);
  return ChangeEntry(p, false, [&] { return ::rmdir(p.c_str()) == 0 ? 0 : errno; });
}

int RenamePath(const std::string& from, const std::string& to) {
  std::string f = NativePath(from), t = NativePath(to);
  if (f == t) {
    // Both names resolve to one entry: either nothing to do, or a change of
    // the letter case only, which takes the case of `to` as written.
    struct stat st;
    if (!RawStat(f, &st)) return errno;
    std::string dir, name, wdir, wname;
    SplitPath(f, &dir, &name);
    SplitPath(NormalizePath(to), &wdir, &wname);
    if (wname.empty() || wname == name) return kOk;
    t = JoinPath(dir, wname);
  }
  std::string fdir, fname, tdir, tname;
  SplitPath(f, &fdir, &fname);
  SplitPath(t, &tdir, &tname);
  OLVIX_FAULT(t, false);
  int64_t fbefore = Cache().Has(fdir) ? DirMtimeNs(fdir) : 0;
  int64_t tbefore = Cache().Has(tdir) ? DirMtimeNs(tdir) : 0;
  if (::rename(f.c_str(), t.c_str()) != 0) return errno;
  if (fdir == tdir) {
    // One directory: both changes happened under one time stamp change.
    if (Cache().Has(fdir)) {
      Cache().Note(fdir, fname, false, fbefore);
      Cache().Note(fdir, tname, true, DirMtimeNs(fdir));
    }
  } else {
    if (Cache().Has(fdir)) Cache().Note(fdir, fname, false, fbefore);
    if (Cache().Has(tdir)) Cache().Note(tdir, tname, true, tbefore);
  }
  return kOk;
}

namespace {

// Opens a source file for reading without blocking on a FIFO or device;
// with `no_follow` a symbolic link is refused too. The descriptor is left in
// blocking mode for the reads that follow.
int OpenSource(const std::string& path, bool no_follow, struct stat* st, int* fd) {
  int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (no_follow ? O_NOFOLLOW : 0);
  int in = ::open(path.c_str(), flags);
  if (in < 0) return (no_follow && errno == ELOOP) ? kNotPlainFile : errno;
  if (::fstat(in, st) != 0) {
    int e = errno;
    ::close(in);
    return e;
  }
  if (!S_ISREG(st->st_mode)) {
    ::close(in);
    return kNotPlainFile;
  }
  int fl = ::fcntl(in, F_GETFL);
  if (fl >= 0) (void)::fcntl(in, F_SETFL, fl & ~O_NONBLOCK);
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
      return errno;
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
      return errno;
    }
    if (n == 0) return 0;  // the file shrank meanwhile
    remaining -= n;
  }
  if (use_range) return 0;
  // Start over with plain reads and writes from where the kernel copy
  // stopped.
  off_t done = size - remaining;
  if (::lseek(in, done, SEEK_SET) < 0 || ::lseek(out, done, SEEK_SET) < 0) return errno;
  std::vector<char> buf(1 << 16);
  while (true) {
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    if (int e = WriteAll(out, out_path, buf.data(), static_cast<size_t>(n))) return e;
  }
}

}  // namespace

int CopyFileContents(const std::string& from, const std::string& to, CopySource source) {
  std::string f = NativePath(from), t = NativePath(to);
  struct stat st;
  int in = -1;
  if (int e = OpenSource(f, source == CopySource::kPlainOnly, &st, &in)) return e;
  struct stat tst;
  if (RawStat(t, &tst) && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
    // The target is the source itself (another spelling, or a hard link in
    // a filebox): it holds the bytes already, and truncating it to write
    // them again would destroy them.
    ::close(in);
    return kOk;
  }
  std::string temp = RunTempName(t);
  OLVIX_FAULT(temp, true);
  int out = -1;
  int rc = ChangeEntry(temp, true, [&] {
    out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    return out < 0 ? errno : 0;
  });
  if (out < 0) {
    ::close(in);
    return rc;
  }
  int err = CopyBytes(in, out, temp, st.st_size);
  if (!err) {
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out, times);  // a copy with a fresh time is still a copy
  }
  if (::close(out) != 0 && !err) err = errno;
  ::close(in);
  if (!err) err = RenamePath(temp, t);
  if (err) (void)RemoveFile(temp);  // never leave a half-written copy behind
  return err;
}

int ReadPlainFile(const std::string& path, size_t max_size, std::string* out) {
  out->clear();
  std::string p = NativePath(path);
  struct stat st;
  int in = -1;
  if (int e = OpenSource(p, true, &st, &in)) return e;
  if (static_cast<uint64_t>(st.st_size) > max_size) {
    ::close(in);
    return kFileTooLarge;
  }
  out->resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  int err = 0;
  while (true) {
    if (got == out->size()) {
      // The file may have grown since fstat: read on, up to the limit.
      if (out->size() > max_size) break;
      out->resize(std::min(max_size + 1, out->size() + 4096));
      if (got == out->size()) break;
    }
    ssize_t n = ::read(in, out->data() + got, out->size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
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

int WriteNewFile(const std::string& path, const std::string& data) {
  std::string p = NativePath(path);
  OLVIX_FAULT(p, true);
  int fd = -1;
  int rc = ChangeEntry(p, true, [&] {
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? errno : 0;
  });
  if (fd < 0) return rc;
  int err = WriteAll(fd, p, data.data(), data.size());
  if (::close(fd) != 0 && !err) err = errno;
  if (err) (void)RemoveFile(p);  // a name half written is worse than none
  return err;
}

int ReplaceFile(const std::string& path, const std::string& data) {
  std::string p = NativePath(path);
  std::string temp = RunTempName(p);
  (void)RemoveFile(temp);  // a leftover of this very process id would block the create
  int rc = WriteNewFile(temp, data);
  if (rc != 0) return rc;
  rc = RenamePath(temp, p);
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
#ifdef OLVIX_FAULT_INJECTION
  // For the benchmark that weighs what the sync costs.
  if (CurrentPlan().kind == FaultPlan::kNoSync) return 0;
#endif
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
      if (!first_error) first_error = errno;
      continue;
    }
    if (::syncfs(fd) != 0 && !first_error) first_error = errno;
    ::close(fd);
  }
  return first_error;
}

int OpenAppendFile(const std::string& path, int* error) {
  std::string p = NativePath(path);
  int fd = -1;
  int rc = ChangeEntry(p, true, [&] {
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    return fd < 0 ? errno : 0;
  });
  if (fd < 0 && error) *error = rc;
#ifdef OLVIX_FAULT_INJECTION
  if (fd >= 0) AppendPaths()[fd] = p;
#endif
  return fd;
}

int AppendRecord(int handle, const std::string& data) {
#ifdef OLVIX_FAULT_INJECTION
  OLVIX_FAULT(AppendPaths()[handle], true);
#endif
  off_t before = ::lseek(handle, 0, SEEK_END);
  size_t off = 0;
  while (off < data.size()) {
    ssize_t w = ::write(handle, data.data() + off, data.size() - off);
    if (w < 0) {
      if (errno == EINTR) continue;
      int e = errno;
      // A record cut off by a full disk must not stay as a fragment that
      // the next record would run into.
      if (before >= 0) (void)::ftruncate(handle, before);
      return e;
    }
    off += static_cast<size_t>(w);
  }
  return 0;
}

int CloseAppendFile(int handle) { return ::close(handle) == 0 ? 0 : errno; }

int HardLink(const std::string& from, const std::string& to) {
  std::string f = NativePath(from), t = NativePath(to);
  OLVIX_FAULT(t, true);
  return ChangeEntry(t, true, [&] { return ::link(f.c_str(), t.c_str()) == 0 ? 0 : errno; });
}

int CreateExclusive(const std::string& path) {
  std::string p = NativePath(path);
  OLVIX_FAULT(p, true);
  return ChangeEntry(p, true, [&] {
    int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
  });
}

int SetModTime(const std::string& path, int64_t mtime) {
  std::string p = NativePath(path);
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(mtime);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  OLVIX_FAULT(p, false);
  return ::utimensat(AT_FDCWD, p.c_str(), times, 0) == 0 ? 0 : errno;
}

int ClearAttributes(const std::string& path) {
  std::string p = NativePath(path);
  struct stat st;
  if (!RawStat(p, &st)) return errno;
  return ::chmod(p.c_str(), st.st_mode | S_IWUSR) == 0 ? 0 : errno;
}

bool IsHidden(const std::string&) { return false; }

bool IsPlainFile(const std::string& path) {
  struct stat st;
  std::string p = NativePath(path);
  return ::lstat(p.empty() ? "." : p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t FreeSpaceKb(const std::string& path) {
  struct statvfs sv;
  std::string p = NativePath(path);
  if (::statvfs(p.empty() ? "." : p.c_str(), &sv) != 0) return -1;
  return static_cast<int64_t>(sv.f_bavail) * static_cast<int64_t>(sv.f_frsize) / 1024;
}

int ListDirectory(const std::string& dir, const std::string& pattern, bool with_dirs,
                  std::vector<DirEntry>* out) {
  std::string d = NativePath(dir);
  DIR* h = ::opendir(d.empty() ? "." : d.c_str());
  if (!h) return errno;
  while (struct dirent* e = ::readdir(h)) {
    const char* n = e->d_name;
    if (!std::strcmp(n, ".") || !std::strcmp(n, "..")) continue;
    if (!NameMatches(pattern, n)) continue;
    struct stat st;
    if (::fstatat(dirfd(h), n, &st, 0) != 0) continue;
    bool is_dir = S_ISDIR(st.st_mode);
    if (is_dir && !with_dirs) continue;
    if (!is_dir && !S_ISREG(st.st_mode)) continue;
    DirEntry entry;
    entry.name = n;
    entry.is_dir = is_dir;
    entry.size = st.st_size;
    entry.mtime = st.st_mtim.tv_sec;
    out->push_back(std::move(entry));
  }
  ::closedir(h);
  return kOk;
}

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  while (!::getcwd(buf.data(), buf.size())) {
    if (errno != ERANGE) return "/";
    buf.resize(buf.size() * 2);
  }
  std::string cwd = buf.data();
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return cwd;
}

int ChangeDirectory(const std::string& path) {
  std::string p = NativePath(path);
  return ::chdir(p.c_str()) == 0 ? 0 : errno;
}

int AcquireLockFile(const std::string& path, int* error) {
  std::string p = NativePath(path);
  for (int attempt = 0; attempt < 3; ++attempt) {
#ifdef OLVIX_FAULT_INJECTION
    if (int e = FaultPoint(p, true)) {
      if (error) *error = e;
      return -1;
    }
#endif
    int fd = -1;
    int rc = ChangeEntry(p, true, [&] {
      fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
      return fd < 0 ? errno : 0;
    });
    if (fd < 0) {
      if (error) *error = rc;
      return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd);
      if (error) *error = EEXIST;
      return -1;
    }
    // The holder deletes the flag before it unlocks; a lock taken on a file
    // that was deleted meanwhile guards nothing, so try again.
    struct stat a, b;
    if (::fstat(fd, &a) == 0 && ::stat(p.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
        a.st_dev == b.st_dev)
      return fd;
    ::close(fd);
  }
  if (error) *error = EEXIST;
  return -1;
}

void ReleaseLockFile(int handle) {
  if (handle >= 0) ::close(handle);
}

bool LockHeld(const std::string& path) {
  std::string p = NativePath(path);
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // drops the lock this test may have taken
  return held;
}

bool GetEnv(const std::string& name, std::string* value) {
  const char* v = std::getenv(name.c_str());
  if (!v) return false;
  *value = v;
  return true;
}

std::string ExecutableDirectory(const char* argv0) {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  std::string exe;
  if (n > 0) {
    exe.assign(buf.data(), static_cast<size_t>(n));
  } else if (argv0) {
    exe = NormalizePath(argv0, CurrentDirectory());
  }
  size_t pos = exe.find_last_of('/');
  if (pos == std::string::npos) return CurrentDirectory();
  return exe.substr(0, pos + 1);
}

int RunCommand(const std::string& command) {
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'')
      out += "'\\''";
    else
      out += c;
  }
  out += "'";
  return out;
}

int ProcessId() { return static_cast<int>(::getpid()); }

bool ProcessAlive(int pid) {
  if (pid <= 0) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

void Sleep(int milliseconds) {
  struct timespec ts;
  ts.tv_sec = milliseconds / 1000;
  ts.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) == 1; }

void SetConsoleTitleText(const std::string& title) {
  if (!StdoutIsTerminal()) return;
  std::fflush(stdout);
  if (!g_title_set) {
    // Save the terminal's title on its stack so that it can be restored.
    std::fputs("\033[22;0t", stdout);
    g_title_set = true;
  }
  std::fprintf(stdout, "\033]0;%s\007", title.c_str());
  std::fflush(stdout);
}

void RestoreConsoleTitle() {
  if (!g_title_set || !StdoutIsTerminal()) return;
  std::fputs("\033[23;0t", stdout);
  std::fflush(stdout);
  g_title_set = false;
}

int ReadKey() {
  if (::isatty(STDIN_FILENO) != 1) return -1;
  struct termios old_t, raw;
  if (::tcgetattr(STDIN_FILENO, &old_t) != 0) return -1;
  raw = old_t;
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  unsigned char c = 0;
  ssize_t n = ::read(STDIN_FILENO, &c, 1);
  ::tcsetattr(STDIN_FILENO, TCSANOW, &old_t);
  return n == 1 ? c : -1;
}

int64_t Now() { return static_cast<int64_t>(::time(nullptr)); }

int64_t NowMilliseconds() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::tm LocalTime(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  ::localtime_r(&tt, &tm);
  return tm;
}

std::tm UtcTime(int64_t t) {
  time_t tt = static_cast<time_t>(t);
  std::tm tm{};
  ::gmtime_r(&tt, &tm);
  return tm;
}

std::string FormatTime(const char* pattern, const std::tm& tm) {
  char buf[512];
  size_t n = ::strftime_l(buf, sizeof buf, pattern, &tm, CLocale());
  return std::string(buf, n);
}

}  // namespace olvix::platform
