#include <gtest/gtest.h>

#include "../../tests/test_context.h"
#include "config/config.h"
#include "config/parse.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "util/paths.h"

namespace olvix {
namespace {

const char kLinks[] =
    "LINK 2:5020/1 A P 10 No No 2:5020/1 A\n"
    "LINK 2:5020/2 A P 10 No No 2:5020/1 A\n"
    "LINK 2:5020/2.1 A P 10 No No 2:5020/1 A\n"
    "LINK 2:5020/3.1 A P 10 No No 2:5020/1 A\n"
    "LINK 2:5030/7 A P 10 No No 2:5020/1 A\n"
    "LINK 2:5020/100 A P 5 No No 2:5020/1 A\n"
    "LINK 2:5020/200 A P 50 No No 2:5020/1 A\n";

std::vector<std::string> Subscribers(const AreaRecord& a) {
  std::vector<std::string> out;
  for (const Subscriber& s : a.subscribers)
    out.push_back(std::to_string(s.mode) + FormatAddress(s.link->address));
  return out;
}

// Reads the links of kLinks, then `areas`.
int LoadWithLinks(RunContext& ctx, const std::string& areas) {
  LoadLinksText(ctx, kLinks);
  return LoadAreasText(ctx, areas);
}

TEST(AreaLine, FieldsOptionsAndLimits) {
  test::TestContext t;
  ASSERT_EQ(LoadWithLinks(t.ctx,
                          "area files.a Dir/Files 'ab' 10 20 2:5020/1.1 ~M2 ~D30 x ~Q5 pd\n"
                          "AREA K1500 k A 0 0 2:5020/1 ~K1500\n"
                          "AREA K2048 k A 0 0 2:5020/1 ~K2048\n"
                          "AREA SHORT s A 0 0\n"),  // no address: discarded
            0);
  ASSERT_EQ(t.ctx.areas.size(), 3u);
  AreaRecord& a = t.ctx.areas[0];
  EXPECT_EQ(a.tag, "FILES.A");
  EXPECT_EQ(a.path, t.dir.dir() + "Dir/Files/");  // the path keeps its case
  EXPECT_TRUE(t.dir.Exists("Dir/Files"));
  EXPECT_EQ(a.group, "'AB'");
  EXPECT_EQ(a.read_level, 10);
  EXPECT_EQ(a.write_level, 20);
  EXPECT_EQ(FormatAddress(a.address), "2:5020/1.1");
  EXPECT_EQ(a.size_limit, 2048);
  EXPECT_EQ(a.age_limit, 30);
  EXPECT_EQ(a.flags, "PD");  // the later flags word wins, "~Q5" is ignored
  EXPECT_FALSE(a.has_description);
  EXPECT_TRUE(t.ctx.areas.purge_mark);
  EXPECT_EQ(FormatAreaBlock(a, false),
            "Area    FILES.A " + t.dir.dir() + "Dir/Files/ 'AB' 10 20 2:5020/1.1 PD ~M2 ~D30\n\n");
  EXPECT_EQ(FormatAreaBlock(t.ctx.areas[1], false).substr(0, 24),
            "Area    K1500 " + t.dir.dir().substr(0, 10));
  EXPECT_NE(FormatAreaBlock(t.ctx.areas[1], false).find(" ~K1500\n"), std::string::npos);
  EXPECT_NE(FormatAreaBlock(t.ctx.areas[2], false).find(" ~M2\n"), std::string::npos);
  EXPECT_EQ(t.ctx.areas.Find("files.a"), &t.ctx.areas[0]);
}

// Lines a reader must take without a fault: a lone "~" option, a line of
// CRs with a tab (blanks once read), a NUL inside a word.
TEST(AreaLine, OddBytesAreReadWithoutAFault) {
  test::TestContext t;
  ASSERT_EQ(LoadWithLinks(t.ctx,
                          "AREA X dir A 0 0 2:5020/1 ~\n\r\r\t\r\n"
                          "LINKS 2:5020/1\n"
                          "AREA Y d A 0 0 2:5020/1 ~K\n" +
                              std::string("LINKS 2:5020/2\0 3.1\n", 21)),
            0);
  ASSERT_EQ(t.ctx.areas.size(), 2u);
  EXPECT_EQ(Subscribers(t.ctx.areas[0]), std::vector<std::string>{"02:5020/1"});
  EXPECT_EQ(Subscribers(t.ctx.areas[1]), (std::vector<std::string>{"02:5020/2", "02:5020/3.1"}));
}

TEST(AreaLine, PurgeMarkAndPassthroughDirectories) {
  test::TestContext t;
  t.ctx.cfg.queue_dir = t.dir.dir() + "queue/";
  ASSERT_EQ(
      LoadAreasText(t.ctx, "AREA PLAIN plain A 0 0 2:5020/1\nAREA PASS pass A 0 0 2:5020/1 P\n"),
      0);
  EXPECT_TRUE(t.dir.Exists("plain"));
  EXPECT_FALSE(t.dir.Exists("pass"));  // a passthrough fileecho is served from the queue
  EXPECT_TRUE(t.ctx.areas.purge_mark);

  test::TestContext u;
  ASSERT_EQ(LoadAreasText(u.ctx, "AREA PASS pass A 0 0 2:5020/1 P\n"), 0);
  EXPECT_TRUE(u.dir.Exists("pass"));
  test::TestContext v;
  ASSERT_EQ(LoadAreasText(v.ctx, "AREA PLAIN plain A 0 0 2:5020/1 X\n"), 0);
  EXPECT_FALSE(v.ctx.areas.purge_mark);
}

TEST(AreaLine, DescriptionAndSubscribersWithShortForms) {
  test::TestContext t;
  ASSERT_EQ(LoadWithLinks(t.ctx,
                          "AREA ONE one A 10 20 2:5020/1\n"
                          "DESC   First  Description\n"
                          "LINKS 2:5020/1 2 .1\n"
                          "LINKS !2:5030/7 ~2:5020/2 3.1 /1\n"
                          "LINKS 2:5020/100 200\n"
                          "DESC Second\n"
                          "AREA BAD bad A\n"
                          "LINKS 2:5020/99\n"  // belongs to no area: ignored
                          "DESC nowhere\n"),
            0);
  ASSERT_EQ(t.ctx.areas.size(), 1u);
  const AreaRecord& a = t.ctx.areas[0];
  EXPECT_EQ(a.description, "Second");
  EXPECT_EQ(Subscribers(a), (std::vector<std::string>{"1"
                                                      "2:5020/1",
                                                      "1"
                                                      "2:5020/2",
                                                      "1"
                                                      "2:5020/2.1",
                                                      "1"
                                                      "2:5030/7",
                                                      "2"
                                                      "2:5020/2",
                                                      "1"
                                                      "2:5020/3.1",
                                                      "1"
                                                      "2:5020/1",
                                                      "0"
                                                      "2:5020/100",
                                                      "0"
                                                      "2:5020/200"}));
  // A link that may send but not receive is write-only.
  ASSERT_EQ(LoadAreasText(t.ctx, "AREA TWO two A 20 10 2:5020/1\nLINKS 2:5020/1\n"), 0);
  EXPECT_EQ(Subscribers(t.ctx.areas[1]), (std::vector<std::string>{"2"
                                                                   "2:5020/1"}));
}

TEST(AreaLine, UnknownSubscriberStopsTheLoading) {
  test::TestContext t;
  EXPECT_EQ(LoadWithLinks(t.ctx,
                          "; comment\n"
                          "AREA ONE one A 0 0 2:5020/1\n"
                          "\n"
                          "LINKS 2:5020/1 5030/7\n"  // no zone: the node number 5030
                          "AREA TWO two A 0 0 2:5020/1\n"),
            1);
  EXPECT_EQ(t.Output(),
            "! Link 2:5020/5030 is unknown to Olvix\n"
            "! Error in file olxareas.ini, line 4\n");
  EXPECT_EQ(t.ctx.areas.size(), 1u);
}

TEST(AreaBlock, ShortLinksAndTheWrap) {
  test::TestContext t;
  ASSERT_EQ(LoadWithLinks(t.ctx,
                          "AREA ONE one A 0 0 2:5020/1\n"
                          "DESC  Text\n"
                          "LINKS 2:5030/7 2:5020/2.1 2:5020/2 !2:5020/1 2:5020/3.1\n"),
            0);
  AreaRecord& a = t.ctx.areas[0];
  std::string head = "Area    ONE " + t.dir.dir() + "one/ A 0 0 2:5020/1\nDesc    Text\n";
  EXPECT_EQ(FormatAreaBlock(a, true), head + "Links   !2:5020/1 2 .1 3.1 2:5030/7\n\n");
  EXPECT_EQ(FormatAreaBlock(a, false),
            head + "Links   !2:5020/1 2:5020/2 2:5020/2.1 2:5020/3.1 2:5030/7\n\n");
  EXPECT_EQ(FormatAddress(a.subscribers[0].link->address), "2:5020/1");  // sorted in place

  // Entries go on a line while it stays within 77 characters.
  std::string links;
  std::string text = "LINK 1:1/1 A P 10 No No 2:5020/1 A\n";
  for (int i = 1000; i < 1012; ++i) {
    text += "LINK 1:1/" + std::to_string(i) + " A P 10 No No 2:5020/1 A\n";
    links += " 1:1/" + std::to_string(i);
  }
  test::TestContext u;
  LoadLinksText(u.ctx, text);
  ASSERT_EQ(LoadAreasText(u.ctx, "AREA W w A 0 0 1:1/1\nLINKS" + links + "\n"), 0);
  std::string block = FormatAreaBlock(u.ctx.areas[0], false);
  EXPECT_EQ(block.substr(block.find("Links")),
            "Links   1:1/1000 1:1/1001 1:1/1002 1:1/1003 1:1/1004 1:1/1005 1:1/1006\n"
            "Links   1:1/1007 1:1/1008 1:1/1009 1:1/1010 1:1/1011\n\n");
  block = FormatAreaBlock(u.ctx.areas[0], true);
  EXPECT_EQ(block.substr(block.find("Links")),
            "Links   1:1/1000 1001 1002 1003 1004 1005 1006 1007 1008 1009 1010 1011\n\n");
}

const char kAreasFile[] =
    "; Areas\n"
    "AREA BETA beta A 0 0 2:5020/1\n"
    "DESC Beta files\n"
    "; inside beta\n"
    "LINKS 2:5020/1\n"
    "\n"
    "AREA ALPHA alpha A 0 0 2:5020/1\n"
    "AREA GONE gone A 0 0 2:5020/1\n";

TEST(AreasFile, RewriteKeepsCommentsAndAppendsNewAreas) {
  test::TestContext t;
  LoadLinksText(t.ctx, kLinks);
  t.dir.Write("olxareas.ini", kAreasFile);
  ASSERT_EQ(LoadAreas(t.ctx), 0);
  EXPECT_EQ(t.Output(), "# Loading area file\n");
  // GONE is deleted and NEW created during the run.
  t.ctx.areas.Remove(t.ctx.areas.Find("GONE"));
  AreaRecord fresh;
  fresh.tag = "NEW";
  fresh.group = "A";
  fresh.path = "/srv/new/";
  fresh.address = ParseAddress("2:5020/1");
  fresh.description = "Created";
  fresh.has_description = true;
  t.ctx.areas.Add(std::move(fresh));
  t.ctx.cfg.sort_lists = "L";  // not A: file order stays
  ASSERT_EQ(SaveAreas(t.ctx), 0);
  const std::string d = t.dir.dir();
  EXPECT_EQ(t.dir.Read("olxareas.ini"),
            "; Areas\n"
            "Area    BETA " +
                d +
                "beta/ A 0 0 2:5020/1\n"
                "Desc    Beta files\n"
                "Links   2:5020/1\n"
                "\n"
                "; inside beta\n"
                "Area    ALPHA " +
                d +
                "alpha/ A 0 0 2:5020/1\n"
                "\n"
                "Area    NEW /srv/new/ A 0 0 2:5020/1\n"
                "Desc    Created\n"
                "\n");
  EXPECT_EQ(t.dir.Read("olxareas.bak"), kAreasFile);

  AreaRecord first;
  first.tag = "AAA";
  t.ctx.areas.Add(std::move(first));
  t.ctx.cfg.sort_lists = "A";
  ASSERT_EQ(SaveAreas(t.ctx), 0);
  std::string text = t.dir.Read("olxareas.ini");
  EXPECT_EQ(text.substr(0, 20), "; Areas\nArea    AAA ");
  EXPECT_NE(text.find(";\nArea    NEW"), std::string::npos);  // appended after a ";" line
}

TEST(AreasFile, FailedWriteLeavesTheOldFile) {
  test::TestContext t;
  t.dir.Write("olxareas.ini", kAreasFile);
  LoadLinksText(t.ctx, kLinks);
  ASSERT_EQ(LoadAreas(t.ctx), 0);
  // The create passes, the write fails.
  platform::SetFaultPlan("enospc:2:areatemp.ini");
  EXPECT_NE(SaveAreas(t.ctx), 0);
  platform::SetFaultPlan("");
  EXPECT_EQ(t.dir.Read("olxareas.ini"), kAreasFile);
  EXPECT_FALSE(t.dir.Exists("olxareas.bak"));
  EXPECT_NE(t.Output().find("! Olvix was not able to write into file"), std::string::npos);
}

TEST(AreasFile, MissingFileFailsToLoadAndToSave) {
  test::TestContext t;
  EXPECT_EQ(LoadAreas(t.ctx), 1);
  EXPECT_NE(t.Output().find("Olvix was not able to open file " + t.dir.dir() + "olxareas.ini"),
            std::string::npos);
  EXPECT_NE(SaveAreas(t.ctx), 0);
  EXPECT_FALSE(t.dir.Exists(FilePart(platform::RunTempName("areatemp.ini"))));
}

}  // namespace
}  // namespace olvix
