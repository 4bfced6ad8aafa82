// What the POSIX files of the platform layer share: name resolution, the
// directory listings kept for it, and the fault-injection seam. Included by
// the *_posix.cc files only.
#ifndef OLVIX_PLATFORM_POSIX_INTERNAL_H_
#define OLVIX_PLATFORM_POSIX_INTERNAL_H_

#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace olvix::platform::internal {

bool RawStat(const std::string& path, struct stat* st);
int64_t MtimeNs(const struct stat& st);

// Splits "dir/name"; dir is "" for a bare name and "/" for a name in the
// root.
void SplitPath(const std::string& path, std::string* dir, std::string* name);
std::string Join(const std::string& dir, const std::string& name);

// The on-disk spelling of a normalized path: every existing component
// replaced by the directory entry that equals it without regard to case;
// components that do not exist keep the case as written. Directories
// resolved once are remembered for the run.
std::string Resolve(const std::string& normalized);
// A normalized path whose directory is resolved and whose last component
// is kept as written: the name of something this program makes itself.
std::string ResolveDirectoryOf(const std::string& normalized);

// Whether `path` (normalized, no trailing separator) is a directory this
// run has found or made already.
bool KnownDirectory(const std::string& path);
// Remembers that the directory written `path` stands on disk as
// `resolved` (no trailing separators).
void RememberDirectory(const std::string& path, const std::string& resolved);

// Keeps the remembered listings and directories current after this
// layer's own change of `path` (a resolved path).
void NoteAdded(const std::string& path);
void NoteRemoved(const std::string& path);
void NoteDirectoryGone(const std::string& path);
// Forgets every listing and resolved directory: another program ran and
// may have changed anything.
void ForgetAll();

// Runs `op` on the path as written (normalized). When that finds nothing
// under exactly that name, once more on the spelling `resolve` gives it.
template <typename Op>
int AsWrittenThenResolved(const std::string& path, std::string (*resolve)(const std::string&),
                          Op op) {
  std::string p = NormalizePath(path);
  int rc = op(p);
  if (rc != ENOENT && rc != ENOTDIR) return rc;
  std::string r = resolve(p);
  return r == p ? rc : op(r);
}

// For an existing entry, resolved whole: an entry named as it stands on
// disk costs no lookup at all.
template <typename Op>
int Existing(const std::string& path, Op op) {
  return AsWrittenThenResolved(path, Resolve, op);
}

// For a name this program makes: only the directory is resolved, and only
// when the path as written does not reach it.
template <typename Op>
int Creating(const std::string& path, Op op) {
  return AsWrittenThenResolved(path, ResolveDirectoryOf, op);
}

// The fault-injection seam (see platform/fault.h): 0, or the error the
// operation on `path` is to fail with; it may end the process. Always 0
// in the product build.
#ifdef OLVIX_FAULT_INJECTION
int FaultPoint(const std::string& path, bool needs_space);
bool SyncLeftOut();
void NoteAppendPath(int fd, const std::string& path);
const std::string& AppendPath(int fd);
// fopen for writing modes, with every write passing the fault point.
std::FILE* OpenWriteStream(const std::string& path, const char* mode);
#else
inline int FaultPoint(const std::string&, bool) { return 0; }
inline bool SyncLeftOut() { return false; }
inline void NoteAppendPath(int, const std::string&) {}
inline const std::string& AppendPath(int) {
  static const std::string none;
  return none;
}
inline std::FILE* OpenWriteStream(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}
#endif

}  // namespace olvix::platform::internal

// Returns the injected error from the enclosing function.
#define OLVIX_FAULT(path, space)                                                 \
  do {                                                                           \
    if (int fault_ = ::olvix::platform::internal::FaultPoint((path), (space))) { \
      errno = fault_;                                                            \
      return fault_;                                                             \
    }                                                                            \
  } while (0)

#endif  // OLVIX_PLATFORM_POSIX_INTERNAL_H_
