#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <utility>

extern char** environ;

namespace olvix::bench {

namespace {

// The argument and environment arrays a child is started with, built before
// the fork: after it the child may only make system calls.
class ChildArgs {
 public:
  ChildArgs(const std::vector<std::string>& argv, const std::vector<std::string>& env)
      : argv_(argv) {
    for (char** e = environ; *e; ++e) {
      std::string entry = *e;
      bool replaced = std::any_of(env.begin(), env.end(), [&](const std::string& mine) {
        size_t eq = mine.find('=');
        return entry.compare(0, eq + 1, mine, 0, eq + 1) == 0;
      });
      if (!replaced) env_.push_back(entry);
    }
    env_.insert(env_.end(), env.begin(), env.end());
    for (std::string& a : argv_) argv_ptrs_.push_back(a.data());
    argv_ptrs_.push_back(nullptr);
    for (std::string& e : env_) env_ptrs_.push_back(e.data());
    env_ptrs_.push_back(nullptr);
  }

  const char* path() const { return argv_[0].c_str(); }
  char* const* argv() { return argv_ptrs_.data(); }
  char* const* envp() { return env_ptrs_.data(); }

 private:
  std::vector<std::string> argv_, env_;
  std::vector<char*> argv_ptrs_, env_ptrs_;
};

int ExitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

double Seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

}  // namespace

bool RunChild(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              ChildRun* run) {
  ChildArgs args(argv, env);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  auto start = std::chrono::steady_clock::now();
  pid_t pid;
  int rc = posix_spawn(&pid, args.path(), &actions, nullptr, args.argv(), args.envp());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  int status = 0;
  rusage usage{};
  if (::wait4(pid, &status, 0, &usage) != pid) return false;
  run->wall_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run->cpu_seconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  run->exit_status = ExitStatus(status);
  return true;
}

bool CountSystemCalls(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      SyscallCount* count) {
  ChildArgs args(argv, env);
  pid_t pid = ::fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    // The child stops with SIGTRAP once execve has replaced it.
    ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ::execve(args.path(), args.argv(), args.envp());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) return false;
  // SYSGOOD tells system-call stops from signals; EXITKILL takes the child
  // along should the benchmark die first.
  long options = PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL;
  if (::ptrace(PTRACE_SETOPTIONS, pid, nullptr, reinterpret_cast<void*>(options)) != 0) {
    ::kill(pid, SIGKILL);
    (void)::waitpid(pid, &status, 0);  // reaped; the count failed anyway
    return false;
  }
  long signal_to_pass = 0;
  for (;;) {
    if (::ptrace(PTRACE_SYSCALL, pid, nullptr, reinterpret_cast<void*>(signal_to_pass)) != 0) break;
    signal_to_pass = 0;
    if (::waitpid(pid, &status, 0) != pid) return false;
    if (WIFEXITED(status) || WIFSIGNALED(status)) break;
    if (!WIFSTOPPED(status)) continue;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal_to_pass = WSTOPSIG(status);
      continue;
    }
    __ptrace_syscall_info info{};
    if (::ptrace(PTRACE_GET_SYSCALL_INFO, pid, reinterpret_cast<void*>(sizeof info), &info) > 0 &&
        info.op == PTRACE_SYSCALL_INFO_ENTRY) {
      ++count->total;
      ++count->by_number[static_cast<long>(info.entry.nr)];
    }
  }
  count->exit_status = ExitStatus(status);
  return true;
}

std::string SyscallName(long number) {
  static const std::pair<long, const char*> kNames[] = {
      {SYS_read, "read"},
      {SYS_write, "write"},
      {SYS_openat, "openat"},
      {SYS_close, "close"},
      {SYS_newfstatat, "newfstatat"},
      {SYS_fstat, "fstat"},
      {SYS_statx, "statx"},
      {SYS_lseek, "lseek"},
      {SYS_pread64, "pread64"},
      {SYS_pwrite64, "pwrite64"},
      {SYS_getdents64, "getdents64"},
      {SYS_getcwd, "getcwd"},
      {SYS_chdir, "chdir"},
      {SYS_fchdir, "fchdir"},
      {SYS_linkat, "linkat"},
      {SYS_unlinkat, "unlinkat"},
      {SYS_renameat, "renameat"},
      {SYS_renameat2, "renameat2"},
      {SYS_mkdirat, "mkdirat"},
      {SYS_copy_file_range, "copy_file_range"},
      {SYS_sendfile, "sendfile"},
      {SYS_utimensat, "utimensat"},
      {SYS_fsync, "fsync"},
      {SYS_fdatasync, "fdatasync"},
      {SYS_syncfs, "syncfs"},
      {SYS_flock, "flock"},
      {SYS_fcntl, "fcntl"},
      {SYS_ioctl, "ioctl"},
      {SYS_getpid, "getpid"},
      {SYS_getrandom, "getrandom"},
      {SYS_mmap, "mmap"},
      {SYS_munmap, "munmap"},
      {SYS_mprotect, "mprotect"},
      {SYS_brk, "brk"},
      {SYS_faccessat, "faccessat"},
      {SYS_readlinkat, "readlinkat"},
      {SYS_futex, "futex"},
#ifdef SYS_open  // the calls older architectures still have
      {SYS_open, "open"},
      {SYS_stat, "stat"},
      {SYS_lstat, "lstat"},
      {SYS_access, "access"},
      {SYS_link, "link"},
      {SYS_unlink, "unlink"},
      {SYS_rename, "rename"},
      {SYS_mkdir, "mkdir"},
      {SYS_rmdir, "rmdir"},
      {SYS_readlink, "readlink"},
#endif
  };
  for (const auto& [n, name] : kNames)
    if (n == number) return name;
  return "#" + std::to_string(number);
}

std::string SyscallSummary(const SyscallCount& count, double per, int top) {
  std::vector<std::pair<uint64_t, long>> order;
  for (const auto& [number, n] : count.by_number) order.emplace_back(n, number);
  std::sort(order.rbegin(), order.rend());
  std::string out;
  for (int i = 0; i < top && i < static_cast<int>(order.size()); ++i) {
    if (static_cast<double>(order[i].first) / per < 0.05) break;  // start-up only
    char part[64];
    std::snprintf(part, sizeof part, "%s%s %.1f", i ? ", " : "",
                  SyscallName(order[i].second).c_str(), static_cast<double>(order[i].first) / per);
    out += part;
  }
  return out;
}

}  // namespace olvix::bench
