// Test helpers: a fresh temporary directory per test (kept when the test
// failed), whole-file write and read, and a run context rooted in it.
#ifndef OLVIX_TESTING_TEMP_DIR_H_
#define OLVIX_TESTING_TEMP_DIR_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"

namespace olvix::testing {

inline void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*", true, &entries);  // a missing tree is gone already
  for (const platform::DirEntry& e : entries) {
    std::string p = JoinPath(dir, e.name);
    if (e.is_dir)
      RemoveTree(p);
    else
      (void)platform::RemoveFile(p);  // best effort
  }
  (void)platform::RemoveDir(dir);
}

class ScopedTempDir {
 public:
  ScopedTempDir() {
    static int counter = 0;
    std::random_device rd;
    std::string base = WithTrailingSep(::testing::TempDir());
    path_ = base + "olvix_" + std::to_string(platform::NowMilliseconds()) + "_" +
            std::to_string(rd() % 1000000) + "_" + std::to_string(++counter) + "/";
    EXPECT_EQ(platform::MakeDir(path_), 0) << path_;
  }
  ~ScopedTempDir() {
    if (::testing::Test::HasFailure())
      std::fprintf(stderr, "kept %s\n", path_.c_str());
    else
      RemoveTree(path_);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The directory, ending in the separator.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Writes `data` byte for byte, creating parent directories.
inline void WriteFile(const std::string& path, const std::string& data) {
  CreatePath(path);
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "wb", &err);
  ASSERT_NE(f, nullptr) << path << ": " << platform::ErrorText(err);
  ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), f), data.size());
  ASSERT_EQ(std::fclose(f), 0);
}

// The bytes of a file; "<missing>" when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::string out;
  if (!ReadWholeFile(path, false, &out)) return "<missing>";
  return out;
}

// Names in a directory, sorted.
inline std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*", true, &entries);  // missing: no names
  std::vector<std::string> names;
  for (const platform::DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

// A run context whose log lines go to a file in `log_dir` and whose home is
// `home`. Every level and verbosity is logged.
class TestContext {
 public:
  TestContext(const std::string& home, const std::string& log_dir) {
    ctx_ = std::make_unique<RunContext>();
    ctx_->home = home;
    ctx_->log.loglevel = 7;
    ctx_->log.logchars = "*#.:!";
    log_path_ = log_dir + "console.log";
    CreatePath(log_path_);
    int err = 0;
    console_ = platform::OpenStream(log_path_, "w", &err);
    if (console_) ctx_->log.set_console(console_);
  }
  ~TestContext() {
    ctx_.reset();
    if (console_) std::fclose(console_);
  }
  RunContext& operator*() { return *ctx_; }
  RunContext* operator->() { return ctx_.get(); }
  // Everything logged so far.
  std::string LogText() {
    std::fflush(console_);
    return ReadFile(log_path_);
  }

 private:
  std::unique_ptr<RunContext> ctx_;
  std::FILE* console_ = nullptr;
  std::string log_path_;
};

}  // namespace olvix::testing

#endif  // OLVIX_TESTING_TEMP_DIR_H_
