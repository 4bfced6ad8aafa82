#include "scenario.h"

#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#ifndef OLVIX_BINARY
#error "OLVIX_BINARY must name the built program"
#endif

namespace olvix::test {

namespace {

void MakeParents(const std::string& path) {
  for (size_t i = 1; i < path.size(); ++i)
    if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0777);
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

}  // namespace

std::string RunResult::Plain() const { return StripTimeStamps(output); }

namespace {

bool Digits(const std::string& s, size_t pos, size_t n) {
  if (pos + n > s.size()) return false;
  for (size_t i = pos; i < pos + n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// Length of the stamp after the level character and its blank at `pos`:
// "08 Dec 20:17:14 OLVX " or "DEBUG  20:17:14 OLVX "; 0 when there is none.
size_t StampLength(const std::string& s, size_t pos) {
  size_t p = pos;
  if (s.compare(p, 7, "DEBUG  ") == 0) {
    p += 7;
  } else if (Digits(s, p, 2) && p + 7 <= s.size() && s[p + 2] == ' ' && s[p + 6] == ' ') {
    p += 7;
  } else {
    return 0;
  }
  if (!Digits(s, p, 2) || !Digits(s, p + 3, 2) || !Digits(s, p + 6, 2)) return 0;
  if (s.compare(p + 2, 1, ":") != 0 || s.compare(p + 5, 1, ":") != 0) return 0;
  if (s.compare(p + 8, 6, " OLVX ") != 0) return 0;
  return p + 14 - pos;
}

}  // namespace

std::string StripTimeStamps(const std::string& output) {
  std::string out;
  size_t pos = 0;
  while (pos < output.size()) {
    size_t nl = output.find('\n', pos);
    size_t end = nl == std::string::npos ? output.size() : nl + 1;
    size_t skip = 0;
    if (end - pos > 2 && output[pos + 1] == ' ') skip = StampLength(output, pos + 2);
    out.append(output, pos, 2 < end - pos ? 2 : end - pos);
    if (end - pos > 2) out.append(output, pos + 2 + skip, end - pos - 2 - skip);
    pos = end;
  }
  return out;
}

Scenario::Scenario() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/olvix-test.XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) {
    ADD_FAILURE() << "mkdtemp failed: " << std::strerror(errno);
    dir_ = "/nonexistent/";
    return;
  }
  dir_ = std::string(buf.data()) + "/";
}

Scenario::~Scenario() {
  if (keep_ || ::testing::Test::HasFailure()) {
    std::fprintf(stderr, "scenario directory kept: %s\n", dir_.c_str());
    return;
  }
  ::nftw(dir_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string Scenario::PathOf(const std::string& relative) const {
  if (!relative.empty() && relative[0] == '/') return relative;
  return dir_ + relative;
}

void Scenario::Write(const std::string& relative, const std::string& contents) const {
  std::string path = PathOf(relative);
  MakeParents(path);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << contents;
  if (!out.good()) ADD_FAILURE() << "cannot write " << path;
}

std::string Scenario::Read(const std::string& relative) const {
  std::ifstream in(PathOf(relative), std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool Scenario::Exists(const std::string& relative) const {
  struct stat st;
  return ::stat(PathOf(relative).c_str(), &st) == 0;
}

void Scenario::MakeDir(const std::string& relative) const {
  std::string path = PathOf(relative);
  MakeParents(path + "/");
}

RunResult Scenario::Run(const std::vector<std::string>& args,
                        const std::map<std::string, std::string>& env, int timeout_seconds) const {
  RunResult result;
  int fds[2];
  if (::pipe(fds) != 0) return result;
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return result;
  }
  if (pid == 0) {
    ::setenv("OLVIXPATH", dir_.c_str(), 1);
    for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
    if (::chdir(dir_.c_str()) != 0) ::_exit(126);
    std::string input = stdin_file.empty() ? "/dev/null" : PathOf(stdin_file);
    int in = ::open(input.c_str(), O_RDONLY);
    ::dup2(in, 0);
    ::dup2(fds[1], 1);
    ::dup2(fds[1], 2);
    ::close(fds[0]);
    ::close(fds[1]);
    std::vector<char*> argv;
    std::string binary = program.empty() ? OLVIX_BINARY : program;
    argv.push_back(binary.data());
    std::vector<std::string> copies(args);
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(fds[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
  char buf[4096];
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      ::kill(pid, SIGKILL);
      result.timed_out = true;
      break;
    }
    struct pollfd p = {fds[0], POLLIN, 0};
    int rc = ::poll(&p, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc <= 0) continue;
    ssize_t n = ::read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    result.output.append(buf, static_cast<size_t>(n));
  }
  ::close(fds[0]);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status))
    result.status = WEXITSTATUS(status);
  else if (WIFSIGNALED(status))
    result.status = 128 + WTERMSIG(status);
  return result;
}

}  // namespace olvix::test
