#include "tic/magic.h"

#include <gtest/gtest.h>

#include <string>

namespace olvix {
namespace {

TEST(MagicNamesTest, KeysArePaddedToTheColumnAndNeverGlued) {
  EXPECT_EQ(MagicEntryLine("NODELI", "/f/n.zip", 15), "NODELI        /f/n.zip\n");
  EXPECT_EQ(MagicEntryLine("FOURTEENLETTER", "/f", 15), "FOURTEENLETTER /f\n");
  EXPECT_EQ(MagicEntryLine("LONGERTHANFIFTEEN", "/f", 15), "LONGERTHANFIFTEEN /f\n");
  EXPECT_EQ(MagicEntryLine("K", "/f", 0), "K /f\n");
}

// The result of one pass equals that of a rewrite per entry: every line of
// a key is replaced in place, the last entry of a key wins, new keys are
// appended in order, everything else stays.
TEST(MagicNamesTest, EntriesReplaceEveryLineOfTheirKeyInPlace) {
  const std::string text = std::string(kMagicFileHeader) +
                           "nodelist      /old/a\n"
                           "; NODELIST   /commented\n"
                           "OTHER\t/x\n"
                           "NODELIST /old/b\n"
                           "noblank\n"
                           "TAIL /t";
  std::vector<MagicEntry> entries = {{"NODELIST", "L1\n"},
                                     {"NEW", "N1\n"},
                                     {"NODELIST", "L2\n"},
                                     {"new", "N2\n"},
                                     {"TAIL", "T\n"}};
  EXPECT_EQ(ApplyMagicEntries(text, entries), std::string(kMagicFileHeader) +
                                                  "L2\n"
                                                  "; NODELIST   /commented\n"
                                                  "OTHER\t/x\n"
                                                  "L2\n"
                                                  "noblank\n"
                                                  "T\n"
                                                  "N2\n");
  EXPECT_EQ(ApplyMagicEntries(text, {}), text);
}

}  // namespace
}  // namespace olvix
