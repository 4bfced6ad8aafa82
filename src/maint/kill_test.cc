#include "maint/kill.h"

#include <gtest/gtest.h>

#include <string>

#include "testing/temp_dir.h"

namespace olvix {
namespace {

TEST(FilterFlowLines, DropsKilledPathsWithOrWithoutCaretAndKeepsTheRestInOrder) {
  auto killed = [](std::string_view p) { return p == "/o/t1.tic" || p == "/e/file.zip"; };
  size_t removed = 0;
  EXPECT_EQ(FilterFlowLines("/e/file.zip\n^/o/t1.tic\n#/keep/a\n\n^/keep/b.tic\r\n/o/t1.tic",
                            killed, &removed),
            "#/keep/a\n\n^/keep/b.tic\r\n");
  EXPECT_EQ(removed, 3u);
  EXPECT_EQ(FilterFlowLines("", killed, &removed), "");
  EXPECT_EQ(removed, 0u);
  // A path of more than 255 characters is one line, not several.
  std::string long_line = "^/" + std::string(400, 'x') + ".tic";
  EXPECT_EQ(FilterFlowLines(long_line + "\n", killed, &removed), long_line + "\n");
}

TEST(KillList, MatchesTheDiskSpellingWithoutRegardToCase) {
  testing::ScopedTempDir tmp;
  testing::WriteFile(tmp / "Out/OL000001.TIC", "t");
  KillList kill;
  kill.Add(tmp / "out/ol000001.tic");
  kill.Add(tmp / "OUT/OL000001.TIC");  // the same file once
  ASSERT_EQ(kill.paths().size(), 1u);
  EXPECT_EQ(kill.paths()[0], tmp / "Out/OL000001.TIC");
  EXPECT_TRUE(kill.Has(tmp / "oUT/ol000001.Tic"));
  EXPECT_FALSE(kill.Has(tmp / "Out/OL000002.TIC"));
}

}  // namespace
}  // namespace olvix
