// A fresh temporary directory per test, with whole-file helpers. The
// directory is kept when the test failed, for a look at what was left.
#ifndef OLVIX_TIC_TEST_DIR_H_
#define OLVIX_TIC_TEST_DIR_H_

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "testing/temp_dir.h"
#include "util/files.h"
#include "util/paths.h"

namespace olvix::testing_dir {

using olvix::testing::RemoveTree;

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = WithTrailingSep(::testing::TempDir()) + "olvix_" + info->test_suite_name() + "_" +
           info->name() + "_" + std::to_string(platform::NowMilliseconds()) + "_" +
           std::to_string(++counter) + "/";
    ASSERT_EQ(platform::MakeDir(dir_), 0) << dir_;
    start_dir_ = platform::CurrentDirectory();
  }
  void TearDown() override {
    (void)platform::ChangeDirectory(start_dir_);  // the archive steps change it
    if (!HasFailure()) RemoveTree(dir_);
  }

  std::string Path(const std::string& name) const { return dir_ + name; }
  void Write(const std::string& name, const std::string& data) const {
    ASSERT_EQ(WriteFileAtomic(Path(name), data), 0) << name;
  }
  std::string Read(const std::string& name) const {
    std::string data;
    EXPECT_TRUE(ReadWholeFile(Path(name), false, &data)) << name;
    return data;
  }
  std::vector<std::string> Names() const {
    std::vector<platform::DirEntry> entries;
    (void)platform::ListDirectory(dir_, "*", true, &entries);  // checked by the callers' asserts
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string dir_;
  std::string start_dir_;
};

}  // namespace olvix::testing_dir

#endif  // OLVIX_TIC_TEST_DIR_H_
