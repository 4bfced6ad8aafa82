// A scratch node for tests: a temporary directory with whole-file helpers
// and a runner for the built olvix binary with OLVIXPATH pointing at it.
//
//   Scenario s;
//   s.Write("olvix.ini", text);
//   RunResult r = s.Run({"TOSS"});
//   EXPECT_EQ(r.status, 0);
//   EXPECT_EQ(s.Read("olxareas.ini"), expected);
//
// The directory is removed when the test passes and kept (its path printed)
// when it fails.
#ifndef OLVIX_TESTS_SCENARIO_H_
#define OLVIX_TESTS_SCENARIO_H_

#include <map>
#include <string>
#include <vector>

namespace olvix::test {

struct RunResult {
  int status = -1;         // exit status; 128 + signal when killed; -1 when not started
  std::string output;      // standard output and standard error, interleaved
  bool timed_out = false;  // killed after the time limit
  // The output with the time stamps of log and debug lines removed:
  // "# 08 Dec 20:17:14 OLVX Loading link file" becomes "# Loading link file".
  std::string Plain() const;
  bool Contains(const std::string& text) const { return output.find(text) != std::string::npos; }
};

class Scenario {
 public:
  Scenario();
  ~Scenario();
  Scenario(const Scenario&) = delete;
  Scenario& operator=(const Scenario&) = delete;

  // The directory, ending in "/".
  const std::string& dir() const { return dir_; }
  // The absolute path of `relative` inside the directory.
  std::string PathOf(const std::string& relative) const;

  // Writes a file (creating its parent directories) byte for byte.
  void Write(const std::string& relative, const std::string& contents) const;
  // The contents of a file; "" when it cannot be read.
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  void MakeDir(const std::string& relative) const;

  // Runs the olvix binary with `args`, OLVIXPATH set to the directory, the
  // directory as current directory, standard input from /dev/null (or
  // stdin_file) and the extra environment variables `env`. Kills it after
  // `timeout_seconds`.
  RunResult Run(const std::vector<std::string>& args,
                const std::map<std::string, std::string>& env = {}, int timeout_seconds = 60) const;

  // Keeps the directory even when the test passes.
  void Keep() { keep_ = true; }

  // The program Run starts: the built olvix unless a test names another
  // (the build with the fault-injection seam).
  std::string program;

  // Standard input of Run: this file (relative to the directory); "" for
  // /dev/null.
  std::string stdin_file;

 private:
  std::string dir_;
  bool keep_ = false;
};

// Removes the time stamps from log and debug lines (see RunResult::Plain).
std::string StripTimeStamps(const std::string& output);

}  // namespace olvix::test

#endif  // OLVIX_TESTS_SCENARIO_H_
