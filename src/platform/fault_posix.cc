// The fault-injection seam of the test build (platform/fault.h). The
// product build compiles none of this.
#ifdef OLVIX_FAULT_INJECTION

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "platform/fault.h"
#include "platform/posix_internal.h"

namespace olvix::platform {

namespace internal {

namespace {

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

}  // namespace

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

bool SyncLeftOut() { return CurrentPlan().kind == FaultPlan::kNoSync; }

void NoteAppendPath(int fd, const std::string& path) { AppendPaths()[fd] = path; }

const std::string& AppendPath(int fd) { return AppendPaths()[fd]; }

std::FILE* OpenWriteStream(const std::string& path, const char* mode) {
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

}  // namespace internal

void SetFaultPlan(const std::string& plan) {
  internal::CurrentPlan() = internal::ParseFaultPlan(plan);
}

}  // namespace olvix::platform

#endif  // OLVIX_FAULT_INJECTION
