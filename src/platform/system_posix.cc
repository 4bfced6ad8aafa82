// The process, its environment, the console, locks and time on POSIX.
#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_internal.h"

namespace olvix::platform {

namespace {

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

bool g_title_set = false;

}  // namespace

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
  return internal::Existing(
      path, [](const std::string& p) { return ::chdir(p.c_str()) == 0 ? 0 : errno; });
}

int AcquireLockFile(const std::string& path, int* error) {
  std::string p = NativePath(path);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (int e = internal::FaultPoint(p, true)) {
      if (error) *error = e;
      return -1;
    }
    int fd = -1;
    fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    int rc = fd < 0 ? errno : 0;
    if (fd >= 0) internal::NoteAdded(p);
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
  int fd = -1;
  (void)internal::Existing(path, [&](const std::string& p) {
    fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    return fd < 0 ? errno : 0;
  });
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
  // The command may have made, renamed or removed anything.
  internal::ForgetAll();
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
