// Fileechoes created for tickets of links that may create them (TOSS
// through the built program) and by direct calls, as the manager's forward
// requests make them.
#include "tic/autocreate.h"

#include <gtest/gtest.h>

#include <string>

#include "config/records.h"
#include "test_context.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";

// Two long tags that agree in their first 8 characters, each from a
// different place of description, and one tag that cannot be a fileecho.
TEST(AutoCreateToss, TicketsCreateFileechoesAsTheUplinkEntryPrescribes) {
  TossNode n;
  n.settings =
      "FREQLIST freq.lst\n"
      "NEWECHODESC Yes\n"
      "BLSTBBS blst.cfg\n"
      "NEWDESC New from @LINK\n"
      "ECHOLISTFILE echoes.lst\n"
      "[UPLINKS]\n"
      "UPLINK 2:5020/5 uplink5.lst\n"
      "AREA A 3 4 X\n"
      "LINKS 2:5020/4 !2:5020/3 2:5020/5\n";
  n.s.Write("echoes.lst",
            "; LONGTAGNAME.TWO Commented_out\n"
            "\n"
            "LONGTAGNAME.ONE   Nice_long_words and more\n"
            "LONGTAGNAME.ONE Second_line\n");
  n.s.Write("uplink5.lst", "longtagname.three  From the uplink list\n");
  n.s.Write("freq.lst", "/srv/old");  // no line end: the new line must not run into it
  const char* tags[] = {"LONGTAGNAME.ONE", "LONGTAGNAME.TWO", "LONGTAGNAME.THREE", "BAD TAG"};
  for (int i = 0; i < 4; ++i)
    n.AddPair(Format("%c.tic", 'a' + i),
              Ticket().Area(tags[i]).File(Format("F%d.TXT", i)).From("2:5020/5", "PASS5"), kHello);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  const std::string base = n.s.dir() + "new/";
  std::string areas = n.s.Read("olxareas.ini");
  // The block of a created fileecho.
  auto block = [&base](const std::string& tag, const std::string& dir, const std::string& desc) {
    return ";\nArea    " + tag + " " + base + dir + "/ A 3 4 2:5020/1 X\nDesc    " + desc + "\n";
  };
  const std::string links = "Links   !2:5020/3 2:5020/4 2:5020/5\n\n";
  EXPECT_TRUE(Holds(areas, block("LONGTAGNAME.ONE", "LONGTAGN", "Nice long words") + links +
                               block("LONGTAGNAME.TWO", "LONGTAGN.1", "New from 2:5020/5") + links +
                               block("LONGTAGNAME.THREE", "LONGTAGN.2", "From the uplink list")));
  EXPECT_FALSE(Holds(areas, "BAD"));
  EXPECT_EQ(n.s.Read("new/LONGTAGN.1/f1.txt"), kHello);
  EXPECT_EQ(n.s.Read("freq.lst"),
            "/srv/old\n" + base + "LONGTAGN\n" + base + "LONGTAGN.1\n" + base + "LONGTAGN.2\n");
  EXPECT_EQ(n.s.Read("new/files.bbs"),
            "LONGTAGN LONGTAGNAME.ONE Nice long words\n"
            "LONGTAGN.1 LONGTAGNAME.TWO New from 2:5020/5\n"
            "LONGTAGN.2 LONGTAGNAME.THREE From the uplink list\n");
  EXPECT_TRUE(Holds(n.s.Read("blst.cfg"), "\nName Nice long words\nPath " + base + "LONGTAGN\n"));
  EXPECT_TRUE(Holds(r.Plain(), "Link 2:5020/5 cannot create fechos"));
  EXPECT_EQ(n.Names("bad"), "d.tic f3.txt files.bbs");
  // 3 (read-only) and 4 receive each file; 5 sent them.
  EXPECT_EQ(n.Names("out/bso"), "139c0003.clo 139c0004.flo");
  EXPECT_EQ(n.Names("in"), "");
}

class AutoCreateCall : public ::testing::Test {
 protected:
  void SetUp() override {
    RunContext& c = t.ctx;
    c.cfg.new_echo_path = t.dir.dir() + "new/";
    c.cfg.new_echo_base = t.dir.dir() + "pass/";
    c.cfg.inbound = t.dir.dir() + "in/";
    c.cfg.freq_list = t.dir.dir() + "freq.lst";
    c.cfg.blst_bbs = t.dir.dir() + "blst.cfg";
    c.cfg.new_echo_desc = true;
    LinkRecord link;
    link.address = ParseAddress("2:5020/100");
    link.aka = ParseAddress("2:5020/1.1");
    link.group = "AB";
    uplink = c.links.Add(link);
    t.dir.Write("olxareas.ini", "; areas\n");
    t.dir.MakeDir("new");
  }
  AreaRecord* Create(const std::string& tag, const std::string& flags = "") {
    return CreateFileecho(t.ctx, tag, uplink->address, "", flags);
  }
  TestContext t;
  LinkRecord* uplink = nullptr;
};

// Tags from other systems with LONGDIRS: every directory stays a single
// name inside the base directory, dots of an ordinary name are kept. A
// passthrough fileecho under a queue gets a path under NEWECHOBASE, but no
// directory and none of the lines of a fileecho with files of its own; a
// second one of the same name still gets a path of its own.
TEST_F(AutoCreateCall, LongDirectoryNamesStayInsideTheBase) {
  t.ctx.cfg.long_dirs = true;
  t.ctx.cfg.queue_dir = t.dir.dir() + "queue/";
  const char* cases[][2] = {{"DOTS.KEPT.LONG", "DOTS.KEPT.LONG"},
                            {"..", "__"},
                            {".", "_"},
                            {"A/B\\C:D", "A_B_C_D"},
                            {"../..", ".._.."}};
  for (const auto& c : cases) {
    AreaRecord* area = Create(c[0]);
    ASSERT_NE(area, nullptr) << c[0];
    EXPECT_EQ(area->path, t.dir.dir() + "new/" + c[1] + "/");
    EXPECT_TRUE(t.dir.Exists("new/" + std::string(c[1]))) << c[0];
  }
  EXPECT_EQ(Create("dots.kept.long"), t.ctx.areas.Find("DOTS.KEPT.LONG"));
  EXPECT_EQ(FormatAddress(t.ctx.areas[0].address), "2:5020/1.1");
  EXPECT_EQ(t.ctx.areas[0].group, "AB");
  const std::string freq = t.dir.Read("freq.lst");
  AreaRecord* pass = Create("PASS/NEW", "pP");
  ASSERT_NE(pass, nullptr);
  EXPECT_EQ(pass->flags, "P");
  EXPECT_TRUE(t.ctx.areas.purge_mark);
  AreaRecord* other = Create("PASS:NEW", "P");
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(pass->path, t.dir.dir() + "pass/PASS_NEW/");
  EXPECT_EQ(other->path, t.dir.dir() + "pass/PASS_NEW.1/");
  EXPECT_FALSE(t.dir.Exists("pass/PASS_NEW"));
  EXPECT_FALSE(t.dir.Exists("pass/files.bbs"));
  EXPECT_EQ(t.dir.Read("freq.lst"), freq);
  EXPECT_EQ(t.ctx.areas.size(), 7u);
}

// Nothing is created for what cannot be a fileecho, for an unknown link,
// or when the areas file cannot be written; the table stays as it was.
TEST_F(AutoCreateCall, RefusalsAndAFailedAreasFileLeaveTheTableUnchanged) {
  for (const std::string& tag :
       {std::string("TWO WORDS"), std::string("CTRL\rTAG"), std::string(129, 'T'), std::string()}) {
    EXPECT_FALSE(TagMayBeCreated(tag)) << tag;
    EXPECT_EQ(Create(tag), nullptr);
  }
  EXPECT_TRUE(TagMayBeCreated(std::string(128, 'T')));
  EXPECT_EQ(CreateFileecho(t.ctx, "GOOD", ParseAddress("2:5020/99"), "", ""), nullptr);
  std::remove(t.dir.PathOf("olxareas.ini").c_str());
  EXPECT_EQ(Create("GOOD"), nullptr);
  EXPECT_TRUE(t.ctx.areas.empty());
  EXPECT_FALSE(t.dir.Exists("new/GOOD"));
  EXPECT_TRUE(Holds(t.Output(), "olxareas.ini"));
  // The next attempt takes the same name and adds no second line for it.
  t.dir.Write("olxareas.ini", "");
  ASSERT_NE(Create("GOOD"), nullptr);
  const std::string dir = t.dir.dir() + "new/GOOD";
  EXPECT_EQ(t.dir.Read("freq.lst"), dir + "\n");
  EXPECT_EQ(t.dir.Read("new/files.bbs"), "GOOD GOOD \n");
  EXPECT_EQ(t.dir.Read("blst.cfg"), "\nName GOOD\nPath " + dir + "\n");
  EXPECT_TRUE(t.dir.Exists("new/GOOD"));
}

}  // namespace
}  // namespace olvix::test
