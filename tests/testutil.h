// Helpers shared by the tests: a temporary directory that cleans up after a
// passing test, and whole-file read and write helpers. Tests may use POSIX
// and std::filesystem directly; the program itself goes through the
// platform layer.
#ifndef OLVIX_TESTS_TESTUTIL_H_
#define OLVIX_TESTS_TESTUTIL_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

namespace olvix::testutil {

// A fresh directory under $TMPDIR (or /tmp). It is removed when the test
// passed and kept, with its path printed, when the test failed, so that
// the files can be looked at.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/olvix-test.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      ADD_FAILURE() << "mkdtemp(" << pattern << ") failed";
      return;
    }
    path_ = pattern;
  }
  ~ScopedTempDir() {
    if (path_.empty()) return;
    if (::testing::Test::HasFailure()) {
      std::fprintf(stderr, "kept temporary directory %s\n", path_.c_str());
      return;
    }
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  // The directory, without a trailing separator.
  const std::string& path() const { return path_; }
  // `name` inside the directory.
  std::string Sub(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes `data` byte for byte, creating the parent directories.
inline void WriteFile(const std::string& path, const std::string& data) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// The whole file byte for byte; "" when it cannot be read (check with
// std::filesystem::exists where that matters).
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool PathExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

}  // namespace olvix::testutil

#endif  // OLVIX_TESTS_TESTUTIL_H_
