#include <gtest/gtest.h>

#include "../../tests/test_context.h"
#include "config/config.h"
#include "config/parse.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "util/paths.h"

namespace olvix {
namespace {

TEST(LinkLine, LowerCaseLineIsReadLikeUpperCase) {
  LinkRecord l;
  ASSERT_TRUE(ParseLinkLine("link 2:5020/3 ab pass3 20 yes crash 2:5020/1.1 active xi", &l));
  EXPECT_EQ(FormatAddress(l.address), "2:5020/3");
  EXPECT_EQ(l.group, "AB");
  EXPECT_EQ(l.password, "PASS3");
  EXPECT_EQ(l.level, 20);
  EXPECT_TRUE(l.may_create);
  EXPECT_EQ(l.flavour, "CRASH");
  EXPECT_EQ(FormatAddress(l.aka), "2:5020/1.1");
  EXPECT_TRUE(l.active);
  EXPECT_EQ(l.options, "XI");
}

TEST(LinkLine, FlavourWordsAndOptionLetters) {
  LinkRecord l;
  ASSERT_TRUE(ParseLinkLine("LINK 2:5020/2 A PW 10 No No 2:5020/1 Active OD", &l));
  EXPECT_EQ(l.flavour, "DD");  // D from NO, then D from the options
  EXPECT_EQ(l.options, "O");
  EXPECT_FALSE(l.may_create);
  std::string written = FormatLinkLine(l);
  EXPECT_EQ(written,
            "Link        2:5020/2     A           PW   10 No  DD   "
            "       2:5020/1 A O\n");
  LinkRecord again;
  ASSERT_TRUE(ParseLinkLine(written, &again));
  EXPECT_EQ(again.flavour, "DD");
  EXPECT_EQ(again.options, "O");

  ASSERT_TRUE(ParseLinkLine("LINK 2:5020/2 A PW 10 No Yes 2:5020/1 Passive CXDC", &l));
  EXPECT_EQ(l.flavour, "HDC");  // only the first D and C move
  EXPECT_EQ(l.options, "XC");
  EXPECT_FALSE(l.active);
  ASSERT_TRUE(ParseLinkLine("LINK 2:5020/2 A PW 10 No Yes 2:5020/1 A DC", &l));
  EXPECT_EQ(l.options, "");  // nothing left: no options
  EXPECT_EQ(FormatLinkLine(l),
            "Link        2:5020/2     A           PW   10 No  HDC  "
            "       2:5020/1 A\n");
}

TEST(LinkLine, MissingFieldsDiscardTheLine) {
  LinkRecord l;
  EXPECT_FALSE(ParseLinkLine("LINK 2:5020/2 A PW 10 No No 2:5020/1", &l));  // no status
  EXPECT_FALSE(ParseLinkLine("LINKS 2:5020/2 A PW 10 No No 2:5020/1 A", &l));
  EXPECT_FALSE(ParseLinkLine("", &l));
  EXPECT_TRUE(ParseLinkLine("LINK 2:5020/2 A PW 10 No No 2:5020/1 A", &l));
}

TEST(LinksFile, LoaderSkipsCommentsShortLinesAndOtherKeywords) {
  test::TestContext t;
  LoadLinksText(t.ctx,
                "; LINK 1:1/1 A PW 1 No No 1:1/2 A\n"
                "\tLINK\t1:1/1 A PW 1 No No 1:1/2 A\n"  // tabs and indentation are fine
                "LINK\n"
                "NODE 1:1/3 A PW 1 No No 1:1/2 A\n"
                "LINK 1:1/4 A PW 1 No No 1:1/2\n"
                "LINK 1:1/5 A PW 1 No No 1:1/2 A\r\n"
                "LINK 1:1/6 A PW 1 No No 1:1/2 A " +
                    std::string(700, 'Q') + " LINK-looking tail\n");
  ASSERT_EQ(t.ctx.links.size(), 3u);
  EXPECT_EQ(FormatAddress(t.ctx.links[0].address), "1:1/1");
  EXPECT_EQ(FormatAddress(t.ctx.links[1].address), "1:1/5");
  EXPECT_EQ(t.ctx.links[1].options, "");
  EXPECT_EQ(FormatAddress(t.ctx.links[2].address), "1:1/6");
  EXPECT_EQ(t.ctx.links[2].options.size(), 509u - 32u);  // cut with the 509-character piece
  EXPECT_EQ(t.ctx.links.Find(ParseAddress("1:1/5")), &t.ctx.links[1]);
}

const char kLinksFile[] =
    "; Links\n"
    "LINK 2:5020/3 A PW3 10 No No 2:5020/1 A\n"
    "LINK 2:5020/1 A PW1 10 No No 2:5020/1 A\n"
    "; between the second and the third\n"
    "LINK 1:1/1 A PW0 10 No No 2:5020/1 P\n"
    "\n"
    "garbage line\n";

TEST(LinksFile, RewriteKeepsCommentsInPlace) {
  test::TestContext t;
  LoadLinksText(t.ctx, kLinksFile);
  t.ctx.links[0].active = false;
  EXPECT_EQ(RewriteLinksText(t.ctx, kLinksFile),
            "; Links\n"
            "Link        2:5020/3     A          PW3   10 No  D           2:5020/1 P\n"
            "Link        2:5020/1     A          PW1   10 No  D           2:5020/1 A\n"
            "; between the second and the third\n"
            "Link           1:1/1     A          PW0   10 No  D           2:5020/1 P\n");
}

// A LINK line the reader passes over keeps its place and takes no record:
// the rewrite loses no link.
TEST(LinksFile, RewriteKeepsALineThatHoldsNoLink) {
  test::TestContext t;
  const std::string text =
      "LINK 2:5020/1 A P 10 No Hold 2:5020/100 Active\n"
      "LINK 2:5020/9 A broken\n"
      "LINK 2:5020/2 A P 10 No Hold 2:5020/100 Active\n";
  LoadLinksText(t.ctx, text);
  ASSERT_EQ(t.ctx.links.size(), 2u);
  std::string out = RewriteLinksText(t.ctx, text);
  EXPECT_NE(out.find("\nLINK 2:5020/9 A broken\n"), std::string::npos) << out;
  test::TestContext again;
  LoadLinksText(again.ctx, out);
  ASSERT_EQ(again.ctx.links.size(), 2u);
  EXPECT_EQ(FormatAddress(again.ctx.links[1].address), "2:5020/2");
}

TEST(LinksFile, SaveSortsWhenAskedAndKeepsABackup) {
  test::TestContext t;
  t.dir.Write("olxlinks.ini", kLinksFile);
  LoadLinks(t.ctx);
  ASSERT_EQ(t.ctx.links.size(), 3u);
  t.ctx.cfg.sort_lists = "AL";
  ASSERT_EQ(SaveLinks(t.ctx), 0);
  EXPECT_EQ(t.dir.Read("olxlinks.ini"),
            "; Links\n"
            "Link           1:1/1     A          PW0   10 No  D           2:5020/1 P\n"
            "Link        2:5020/1     A          PW1   10 No  D           2:5020/1 A\n"
            "; between the second and the third\n"
            "Link        2:5020/3     A          PW3   10 No  D           2:5020/1 A\n");
  EXPECT_EQ(t.dir.Read("olxlinks.bak"), kLinksFile);
  EXPECT_FALSE(t.dir.Exists(FilePart(platform::RunTempName("linktemp.ini"))));
  EXPECT_EQ(FormatAddress(t.ctx.links[0].address), "1:1/1");  // sorted in memory too
}

TEST(LinksFile, FailedWriteLeavesTheOldFile) {
  test::TestContext t;
  t.dir.Write("olxlinks.ini", kLinksFile);
  LoadLinks(t.ctx);
  // Every write to the temporary file fails as on a full disk.
  // The create passes, the write fails.
  platform::SetFaultPlan("enospc:2:linktemp.ini");
  EXPECT_NE(SaveLinks(t.ctx), 0);
  platform::SetFaultPlan("");
  EXPECT_EQ(t.dir.Read("olxlinks.ini"), kLinksFile);
  EXPECT_FALSE(t.dir.Exists("olxlinks.bak"));
  EXPECT_NE(t.Output().find("Olvix was not able to write into file " +
                            platform::RunTempName(t.dir.dir() + "linktemp.ini")),
            std::string::npos);
}

TEST(LinksFile, MissingFileLeavesTheTableEmptyAndSaveFails) {
  test::TestContext t;
  LoadLinks(t.ctx);
  EXPECT_TRUE(t.ctx.links.empty());
  EXPECT_NE(SaveLinks(t.ctx), 0);
  EXPECT_FALSE(t.dir.Exists(FilePart(platform::RunTempName("linktemp.ini"))));
  EXPECT_FALSE(t.dir.Exists("olxlinks.ini"));
}

}  // namespace
}  // namespace olvix
