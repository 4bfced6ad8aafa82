// What the benchmarks share: their directories, the files they write and
// count, the built program run over a node, a run context in process and
// the manual timing of iterations.
#ifndef OLVIX_BENCH_BENCH_UTIL_H_
#define OLVIX_BENCH_BENCH_UTIL_H_

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

#include "run/context.h"

namespace olvix::bench {

// TMPDIR (or /tmp) / `prefix`-<time>-<pid>-<n>/, made at construction and
// removed with everything in it at destruction. No name comes twice in a
// run: the platform layer remembers the directories it has seen.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }  // ends in '/'

 private:
  std::string path_;
  bool ok_ = false;
};

// Scratch directories for the benchmarks that run the built program over
// tens of thousands of files.
//
// ext4 without a journal (as on the machine the figures come from) will not
// hand out an inode freed in the last half minute or so, and finds the next
// usable one by stepping over every such inode of the group: a benchmark
// that deletes one round's files and creates the next round's beside them
// makes every file creation of the next round cost thousands of look-ups,
// more or fewer by chance. So every round gets a directory of its own in a
// base directory marked as a top of a directory hierarchy, which makes the
// file system place each round's directory in a fresh block group, as it
// does with directories at its root; the rounds' files are removed only
// with the base.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& prefix);  // the base, a TempDir

  bool ok() const { return base_.ok(); }
  const std::string& path() const { return base_.path(); }

  // A new empty directory for one round, ending in '/'; empty on failure.
  std::string NewRoundDir();

 private:
  TempDir base_;
  int rounds_ = 0;
};

// Removes a directory tree without a look at each entry beyond what the
// directory itself tells (the trees hold tens of thousands of files).
void RemoveTree(const std::string& dir);

// Makes the directory `path`; false on failure. Unlike platform::MakeDir,
// which takes a directory it has seen once for still there, it makes one
// again after RemoveTree.
bool MakeDir(const std::string& path);

// Writes `data` as the file `path` through the platform layer, so that the
// commands run in process see it; false on failure.
bool WriteFile(const std::string& path, const std::string& data);

// The plain files in `dir` matching `mask`; 0 when `dir` is missing.
size_t CountEntries(const std::string& dir, const char* mask);

// Runs `binary args` on the node in `home` through the command interpreter,
// with the environment settings `env` ("NAME=value ..."), its output thrown
// away; the exit status.
int RunOlvix(const std::string& binary, const std::string& home, const std::string& args,
             const std::string& env = "");

// A run context on the home `home` (made here) whose console lines are
// thrown away and whose log goes to olvix.log there, as in a run.
class NodeContext {
 public:
  explicit NodeContext(const std::string& home);
  ~NodeContext();
  NodeContext(const NodeContext&) = delete;
  NodeContext& operator=(const NodeContext&) = delete;

  RunContext& ctx() { return ctx_; }

 private:
  RunContext ctx_;
  std::FILE* console_ = nullptr;
  std::FILE* log_ = nullptr;
};

// The timed part of each iteration of a manually timed benchmark, by the
// steady clock, and a rate over all of them.
class IterationTimer {
 public:
  explicit IterationTimer(benchmark::State& state) : state_(state) {}

  void Start() { start_ = std::chrono::steady_clock::now(); }
  // The time since Start is the iteration's.
  void Stop() {
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    state_.SetIterationTime(elapsed);
    seconds_ += elapsed;
  }

  // `per_iteration` things per second of the timed parts; 0 before any.
  double PerSecond(double per_iteration) const {
    return seconds_ > 0 ? per_iteration * static_cast<double>(state_.iterations()) / seconds_ : 0;
  }

 private:
  benchmark::State& state_;
  std::chrono::steady_clock::time_point start_;
  double seconds_ = 0;
};

}  // namespace olvix::bench

#endif  // OLVIX_BENCH_BENCH_UTIL_H_
