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
#ifndef OLVIX_BENCH_SCRATCH_DIR_H_
#define OLVIX_BENCH_SCRATCH_DIR_H_

#include <string>

namespace olvix::bench {

class ScratchDir {
 public:
  // Makes TMPDIR (or /tmp) / `prefix`-<time>-<pid>/.
  explicit ScratchDir(const std::string& prefix);
  ~ScratchDir();  // removes the whole tree
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }  // ends in '/'

  // A new empty directory for one round, ending in '/'; empty on failure.
  std::string NewRoundDir();

 private:
  std::string path_;
  int rounds_ = 0;
  bool ok_ = false;
};

// Removes a directory tree without a look at each entry beyond what the
// directory itself tells (the trees hold tens of thousands of files).
void RemoveTree(const std::string& dir);

}  // namespace olvix::bench

#endif  // OLVIX_BENCH_SCRATCH_DIR_H_
