#include "maint/purge_index.h"

#include <gtest/gtest.h>

#include <string>

#include "config/records.h"
#include "testing/samples.h"

namespace olvix {
namespace {

std::string Shown(const std::vector<PurgeEntry>& entries) {
  std::string out;
  for (const PurgeEntry& e : entries)
    out +=
        std::to_string(e.time) + "|" + e.tag + "|" + std::to_string(e.size) + "|" + e.name + "\n";
  return out;
}

TEST(PurgeIndex, ReadsGoodLinesAndDropsEveryKindOfBadOne) {
  const AreaTable areas = testing::PurgeAreas();
  std::string text =
      "1700000000 SIZED 600 A.ZIP\n"
      "1700000001 aged 5 With Blanks.zip  \r\n"  // the fileecho's spelling of the tag
      "1700000002 SIZED -1294967296 BIG.ISO\n"   // 3000000000 written as a 32-bit int
      "0 AGED 1 ZERO.ZIP\n"
      "1 AGED\n"              // no size, no name
      "1 AGED 2\n"            // no name
      "x1 AGED 2 X.ZIP\n"     // time no number
      "1 AGED 2k X.ZIP\n"     // size no number
      "1 PASS 2 P.ZIP\n"      // passthrough
      "1 PLAIN 2 P.ZIP\n"     // no limits
      "1 NOSUCH 2 P.ZIP\n"    // unknown
      "1 AGED 2 ../up.zip\n"  // no bare name
      "1 AGED 2 sub\\x.zip\n"
      "\n"
      "17 A 1\n";
  EXPECT_EQ(Shown(ParsePurgeIndex(text, areas)),
            "1700000000|SIZED|600|A.ZIP\n"
            "1700000001|AGED|5|With Blanks.zip\n"
            "1700000002|SIZED|3000000000|BIG.ISO\n"
            "0|AGED|1|ZERO.ZIP\n");
}

TEST(PurgeIndex, TheRestOfAnOverlongLineIsNoLineOfItsOwn) {
  const AreaTable areas = testing::PurgeAreas();
  // A name long enough to push a forged entry past the reader's limit.
  std::string name(kPurgeLineLimit, 'n');
  std::string text = "1700000000 AGED 5 " + name + " 1 AGED 5 VICTIM.ZIP\n2 AGED 6 NEXT.ZIP";
  std::vector<PurgeEntry> entries = ParsePurgeIndex(text, areas);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, name.substr(0, kPurgeLineLimit - 18));
  EXPECT_EQ(entries[1].name, "NEXT.ZIP");
}

TEST(PurgeIndex, WritesWhatReadsBackAndLeavesOutTheRest) {
  const AreaTable areas = testing::PurgeAreas();
  std::vector<PurgeEntry> entries = {
      {1700000000, 600, "SIZED", "A.ZIP"},
      {0, 600, "SIZED", "DROPPED.ZIP"},
      {1700000001, 3000000000u, "AGED", "With Blanks.zip"},
      {1700000002, 1, "AGED", "line\nbreak.zip"},
      {1700000003, 1, "AGED", " lead.zip"},
      {1700000004, 1, "AGED", std::string(kPurgeLineLimit, 'n')},
  };
  std::string text = FormatPurgeIndex(entries);
  EXPECT_EQ(text,
            "1700000000 SIZED 600 A.ZIP\n"
            "1700000001 AGED 3000000000 With Blanks.zip\n");
  EXPECT_EQ(FormatPurgeIndex(ParsePurgeIndex(text, areas)), text);
  EXPECT_TRUE(FitsPurgeIndex("AGED", std::string(kPurgeLineLimit - 40, 'n')));
}

}  // namespace
}  // namespace olvix
