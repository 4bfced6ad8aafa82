// Runs the built program in a scratch home directory and checks what it
// prints, what it leaves on disk and its exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/version.h"
#include "testutil.h"

extern char** environ;

namespace olvix {
namespace {

using testutil::PathExists;
using testutil::ReadFile;
using testutil::ScopedTempDir;
using testutil::WriteFile;

struct RunResult {
  int status = -1;  // exit status; -1 when killed or not started
  bool timed_out = false;
  std::string output;  // standard output and standard error together
};

struct RunOptions {
  std::vector<std::string> args;
  bool set_home = true;
  std::string home;  // OLVIXPATH
  std::string cwd;   // current directory of the program; the home when empty
  int timeout_seconds = 30;
};

// Starts the program with standard input on a pipe that stays open and
// empty for the whole run: anything that waits for input hangs, and the
// time limit catches it.
RunResult RunOlvix(const RunOptions& opt) {
  RunResult result;
  std::vector<std::string> env_strings;
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "OLVIXPATH=", 10) == 0 || std::strncmp(*e, "OLVIX_DRIVE_", 12) == 0)
      continue;
    env_strings.emplace_back(*e);
  }
  if (opt.set_home) env_strings.push_back("OLVIXPATH=" + opt.home);
  std::vector<char*> envp, argv;
  for (std::string& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);
  std::string binary = OLVIX_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> args = opt.args;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::string cwd = opt.cwd.empty() ? opt.home : opt.cwd;

  int out_pipe[2], in_pipe[2];
  if (::pipe(out_pipe) != 0 || ::pipe(in_pipe) != 0) {
    ADD_FAILURE() << "pipe failed";
    return result;
  }
  std::fflush(nullptr);
  pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in_pipe[0], 0);
    ::dup2(out_pipe[1], 1);
    ::dup2(out_pipe[1], 2);
    ::close(in_pipe[0]);
    ::close(in_pipe[1]);
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    if (::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(in_pipe[0]);
  ::close(out_pipe[1]);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(opt.timeout_seconds);
  char buf[4096];
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) {
      result.timed_out = true;
      ::kill(pid, SIGKILL);
      break;
    }
    struct pollfd p = {out_pipe[0], POLLIN, 0};
    int n = ::poll(&p, 1, static_cast<int>(left));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) continue;
    ssize_t got = ::read(out_pipe[0], buf, sizeof buf);
    if (got <= 0) break;
    result.output.append(buf, static_cast<size_t>(got));
  }
  ::close(out_pipe[0]);
  ::close(in_pipe[1]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

RunResult RunIn(const std::string& home, std::vector<std::string> args) {
  RunOptions opt;
  opt.home = home;
  opt.args = std::move(args);
  return RunOlvix(opt);
}

// The output with the time stamps of log and debug lines taken out:
// "! 07 Dec 23:59:59 OLVX Not enough memory" becomes "! Not enough memory"
// and "A DEBUG  23:59:59 OLVX text" becomes "A DEBUG text".
std::vector<std::string> PlainLines(const std::string& output) {
  static const std::regex kMessage(R"(^(.) \d\d [A-Z][a-z][a-z] \d\d:\d\d:\d\d OLVX (.*)$)");
  static const std::regex kDebug(R"(^(.) DEBUG  \d\d:\d\d:\d\d OLVX (.*)$)");
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < output.size()) {
    size_t nl = output.find('\n', start);
    if (nl == std::string::npos) nl = output.size();
    std::string line = output.substr(start, nl - start);
    std::smatch m;
    if (std::regex_match(line, m, kMessage))
      line = m[1].str() + " " + m[2].str();
    else if (std::regex_match(line, m, kDebug))
      line = m[1].str() + " DEBUG " + m[2].str();
    lines.push_back(line);
    start = nl + 1;
  }
  return lines;
}

bool HasLine(const std::string& output, const std::string& line) {
  for (const std::string& l : PlainLines(output))
    if (l == line) return true;
  return false;
}

int CountLines(const std::string& output, const std::string& line) {
  int n = 0;
  for (const std::string& l : PlainLines(output)) n += l == line;
  return n;
}

std::string Banner() {
  return std::string("Olvix - fileecho processor.\nVersion ") + kVersion + "-" +
         platform::PlatformName() + " compiled on ";
}

const char* const kHelp =
    "Syntax:  OLVIX.EXE Command\n"
    "\n"
    "Command - one of the following lines:\n"
    "      TOSS     - Toss inbound files\n"
    "      MGR      - Run fileecho manager\n"
    "      TOSSMGR  - Toss inbound files & run fileecho manager\n"
    "      PURGE    - Delete files from passthrough fileechoes\n"
    "      OLDCHECK - Auto-Passive check\n"
    "      ANNOUNCE - Create delayed announce\n"
    "      HAND <link> commands - Simulate link's letter to Olvix\n"
    "      RELINK <link> <new_link> <fechoname> - Relink to fileechos from <link>\n"
    "                              For more information see OLVIX.TXT\n"
    "      EXPORT <filename>  - Export olxareas.ini into the text file\n"
    "      <address>  - Info on <address>\n"
    "      <fechoID>  - Info on <fechoID>\n"
    "Press any key...\n"
    "      HATCH <name> <echotag> [-D<descr>] [-R<replace mask>] -C[y|n]\n"
    "      [-A<alias>] [-G<file>]  - Hatch file (see OLVIX.TXT)\n"
    "\n";

const char* const kLinks = "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n";
const char* const kAreas = "AREA TESTAREA echoes/testarea A 0 0 2:5020/1\nLINKS 2:5020/2\n";
const char* const kSettings =
    "[MAIN]\n"
    "ADDRESS 2:5020/1\n"
    "ORIGIN Test node\n"
    "ROBOTNAMES Olvix\n"
    "LOGNAME olvix.log\n"
    "BADPWD badpwd.tpl\n"
    "INBOUND in\n"
    "NETMAIL netmail\n"
    "OUTMAIL out\n"
    "OUTTICS outtics\n"
    "BADPATH bad\n"
    "NEWECHOPATH echoes\n";

// A complete small node in `home`; `extra` is appended to olvix.ini.
void WriteNode(const std::string& home, const std::string& extra = "") {
  WriteFile(home + "/olxlinks.ini", kLinks);
  WriteFile(home + "/olvix.ini", std::string(kSettings) + extra);
  WriteFile(home + "/olxareas.ini", kAreas);
}

TEST(DriverTest, NoArgumentsPrintsBannerAndHelp) {
  ScopedTempDir tmp;
  RunResult r = RunIn(tmp.path(), {});
  ASSERT_FALSE(r.timed_out) << "waited for a key although no one is at a terminal";
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.output.compare(0, Banner().size(), Banner()), 0) << r.output;
  // Build date and time as the compiler spells them, then one empty line.
  static const std::regex kVersionLine(
      R"(^Olvix - fileecho processor.\nVersion [^\n]* compiled on [A-Z][a-z][a-z] [ 0-9]\d \d{4} at \d\d:\d\d:\d\d\n\n)");
  EXPECT_TRUE(std::regex_search(r.output, kVersionLine)) << r.output;
  size_t help = r.output.find("Syntax:");
  ASSERT_NE(help, std::string::npos);
  EXPECT_EQ(r.output.substr(help), kHelp);
  // Nothing is read or written in the home directory.
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST(DriverTest, OddDebugSwitchWithoutCommandShowsHelp) {
  ScopedTempDir tmp;
  for (const char* sw : {"-D1", "-d3"}) {
    RunResult r = RunIn(tmp.path(), {sw});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 0) << sw;
    EXPECT_TRUE(HasLine(r.output, "A DEBUG     *** Logging ALL to console ***")) << r.output;
    size_t help = r.output.find("Syntax:");
    ASSERT_NE(help, std::string::npos) << r.output;
    EXPECT_EQ(r.output.substr(help), kHelp);
    EXPECT_FALSE(HasLine(r.output, "! Bad command line parameter : -D1"));
  }
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
}

TEST(DriverTest, MissingOrEmptyLinksFileIsFatal) {
  ScopedTempDir tmp;
  WriteFile(tmp.Sub("olvix.ini"), kSettings);
  WriteFile(tmp.Sub("olxareas.ini"), kAreas);
  auto check = [&](const char* what) {
    RunResult r = RunIn(tmp.path(), {"TOSS"});
    ASSERT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1) << what;
    // Message 3 is two lines, each with its own prefix.
    std::vector<std::string> lines = PlainLines(r.output);
    auto it = std::find(lines.begin(), lines.end(), "! There was an error while loading link file");
    ASSERT_NE(it, lines.end()) << what << "\n" << r.output;
    ASSERT_NE(it + 1, lines.end());
    EXPECT_EQ(*(it + 1), "! or it is empty!");
    // The shut-down still runs, on the console only: no log file yet.
    EXPECT_TRUE(HasLine(r.output, std::string("# Olvix/") + platform::PlatformName() + " v" +
                                      kVersion + " finished."))
        << r.output;
    EXPECT_FALSE(PathExists(tmp.Sub("olvix.log")));
    EXPECT_FALSE(PathExists(tmp.Sub("in")));
  };
  check("missing");
  WriteFile(tmp.Sub("olxlinks.ini"), "");
  check("empty");
  WriteFile(tmp.Sub("olxlinks.ini"), "; only a comment\n\nLINK 2:5020/2 A\n");
  check("no complete LINK line");
}

TEST(DriverTest, MissingHomeDirectoryIsFatal) {
  // The program is started in a directory that looks like a node; with its
  // home missing it must not take that directory's files instead.
  ScopedTempDir tmp;
  WriteNode(tmp.Sub("start"));
  RunOptions opt;
  opt.home = tmp.Sub("no/such/home");
  opt.cwd = tmp.Sub("start");
  opt.args = {"NOSUCH"};
  RunResult r = RunOlvix(opt);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(HasLine(r.output, "! or it is empty!")) << r.output;
  EXPECT_FALSE(HasLine(r.output, "! Bad command line parameter : NOSUCH"));
  EXPECT_FALSE(PathExists(tmp.Sub("start/olvix.log")));
  EXPECT_FALSE(PathExists(tmp.Sub("start/in")));
  EXPECT_FALSE(PathExists(tmp.Sub("no")));
}

TEST(DriverTest, EvenDebugSwitchIsTakenAsTheCommand) {
  ScopedTempDir tmp;
  WriteNode(tmp.path());
  RunResult r = RunIn(tmp.path(), {"-D2", "MGR"});
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(HasLine(r.output, "! Bad command line parameter : -D2")) << r.output;
  EXPECT_FALSE(HasLine(r.output, "A DEBUG     *** Logging ALL to console ***"));
  // The same line went into the log, between the start and finish lines.
  std::vector<std::string> log = PlainLines(ReadFile(tmp.Sub("olvix.log")));
  std::string platform_version = std::string(platform::PlatformName()) + " v" + kVersion;
  std::vector<std::string> want = {"# Olvix/" + platform_version + " started.",
                                   "! Bad command line parameter : -D2",
                                   "# Olvix/" + platform_version + " finished.", ""};
  ASSERT_GE(log.size(), want.size());
  EXPECT_EQ(log[0], want[0]);
  EXPECT_NE(std::find(log.begin(), log.end(), want[1]), log.end());
  EXPECT_EQ(log[log.size() - 2], want[2]);
  EXPECT_EQ(log.back(), "");  // runs are separated by an empty line
}

TEST(DriverTest, UnknownCommandIsReportedAsTyped) {
  ScopedTempDir tmp;
  WriteNode(tmp.path());
  RunResult r = RunIn(tmp.path(), {"NoSuch"});
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(HasLine(r.output, "! Bad command line parameter : NoSuch")) << r.output;
  // An address that is no link and no fileecho tag.
  r = RunIn(tmp.path(), {"2:9999/9"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(HasLine(r.output, "! Bad command line parameter : 2:9999/9")) << r.output;
  // EXPORT, in any case, without a file name.
  r = RunIn(tmp.path(), {"export"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(HasLine(r.output, "! You mast specify filename for Export")) << r.output;
}

TEST(DriverTest, MissingMandatoryKeyIsFatalBeforeTheLogOpens) {
  ScopedTempDir tmp;
  WriteNode(tmp.path());
  std::string settings = kSettings;
  settings.erase(settings.find("OUTMAIL out\n"), std::strlen("OUTMAIL out\n"));
  WriteFile(tmp.Sub("olvix.ini"), settings);
  RunResult r = RunIn(tmp.path(), {"TOSS"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(HasLine(r.output, "! There is an error in OLVIX.INI, section Main:")) << r.output;
  EXPECT_TRUE(HasLine(r.output, "!  OUTMAIL is not set")) << r.output;
  EXPECT_FALSE(PathExists(tmp.Sub("olvix.log")));
  EXPECT_FALSE(PathExists(tmp.Sub("in")));
}

TEST(DriverTest, LongHomeDirectoryWorks) {
  ScopedTempDir tmp;
  std::string home = tmp.path();
  for (int i = 0; home.size() <= 300; ++i) home += "/Home_Directory_Level_" + std::to_string(i);
  ASSERT_GT(home.size(), 255u);
  WriteNode(home);
  RunResult r = RunIn(home, {"NOSUCH"});
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(HasLine(r.output, "! Bad command line parameter : NOSUCH")) << r.output;
  // Relative settings were taken relative to the full home directory.
  std::string log = ReadFile(home + "/olvix.log");
  EXPECT_NE(log.find("Bad command line parameter : NOSUCH"), std::string::npos) << log;
  EXPECT_TRUE(std::filesystem::is_directory(home + "/in"));
  EXPECT_TRUE(std::filesystem::is_directory(home + "/outtics"));
}

TEST(DriverTest, BusyFlagIsTakenAndRemoved) {
  ScopedTempDir tmp;
  WriteNode(tmp.path(), "BUSYFLAG flags/olvix.bsy\nBUSYWAIT 1\n");
  RunResult r = RunIn(tmp.path(), {"NOSUCH"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(HasLine(r.output, "! There is another copy of Olvix running now!"));
  EXPECT_TRUE(std::filesystem::is_directory(tmp.Sub("flags")));
  EXPECT_FALSE(PathExists(tmp.Sub("flags/olvix.bsy")));
}

TEST(DriverTest, BusyFlagHeldEndsWithStatusTwo) {
  ScopedTempDir tmp;
  WriteNode(tmp.path(), "BUSYFLAG flags/olvix.bsy\nBUSYWAIT 1\n");
  std::filesystem::create_directory(tmp.Sub("flags"));
  int held = platform::AcquireLockFile(tmp.Sub("flags/olvix.bsy"));
  ASSERT_GE(held, 0);
  RunResult r = RunIn(tmp.path(), {"NOSUCH"});
  platform::ReleaseLockFile(held);
  EXPECT_EQ(r.status, 2) << r.output;
  EXPECT_EQ(CountLines(r.output, "! There is another copy of Olvix running now!"), 1) << r.output;
  EXPECT_FALSE(HasLine(r.output, "! Bad command line parameter : NOSUCH"));
  // The other copy's flag stays.
  EXPECT_TRUE(PathExists(tmp.Sub("flags/olvix.bsy")));
}

TEST(DriverTest, NegativeBusyWaitGoesOnWithoutTheFlag) {
  ScopedTempDir tmp;
  WriteNode(tmp.path(), "BUSYFLAG flags/olvix.bsy\nBUSYWAIT -1\n");
  std::filesystem::create_directory(tmp.Sub("flags"));
  WriteFile(tmp.Sub("flags/olvix.bsy"), "held");
  int held = platform::AcquireLockFile(tmp.Sub("flags/olvix.bsy"));
  ASSERT_GE(held, 0);
  RunResult r = RunIn(tmp.path(), {"NOSUCH"});
  platform::ReleaseLockFile(held);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(CountLines(r.output, "! There is another copy of Olvix running now!"), 1) << r.output;
  EXPECT_TRUE(HasLine(r.output, "! Bad command line parameter : NOSUCH")) << r.output;
  // It never held the flag, so it leaves the other copy's file alone.
  EXPECT_TRUE(PathExists(tmp.Sub("flags/olvix.bsy")));
}

// A run killed while it held a link's busy flag (a HATCH, say: no toss
// journal waits) left the flag and its source file. The next run of any
// command takes both down before the mailer is kept from that link longer.
TEST(DriverTest, BusyFlagOfAKilledRunGoesAtStartUp) {
  ScopedTempDir tmp;
  WriteNode(tmp.path(), "OUTBOUND outbound\nATTACHSTYLE BINK\n");
  std::filesystem::create_directory(tmp.Sub("outbound"));
  // A process id that no running process has.
  const std::string source = tmp.Sub("olxbusy.4194304.$$$");
  WriteFile(source, "olvix 4194304 locked\n");
  ASSERT_EQ(platform::HardLink(source, tmp.Sub("outbound/139c0002.bsy")), 0);
  RunResult r = RunIn(tmp.path(), {"NOSUCH"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(PathExists(tmp.Sub("outbound/139c0002.bsy"))) << r.output;
  EXPECT_FALSE(PathExists(source));
}

}  // namespace
}  // namespace olvix
