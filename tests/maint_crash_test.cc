// PURGE and OLDCHECK killed before each change they make to a file, then
// run again: every time the node ends as after one run that was never
// killed. Work files (".$$$") an interrupted run leaves are allowed.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

std::string Stamp(int64_t age) { return std::to_string(platform::Now() - age); }

// Names of a directory without work files.
std::string Kept(const TossNode& n, const std::string& dir) {
  std::string out;
  for (const std::string& name : SplitWords(n.Names(dir)))
    if (!platform::IsWorkFileName(name)) out += name + " ";
  return out;
}

// `text` with the node's directory written as "<node>/".
std::string Relative(const TossNode& n, std::string text) {
  for (size_t at = text.find(n.s.dir()); at != std::string::npos; at = text.find(n.s.dir(), at))
    text.replace(at, n.s.dir().size(), "<node>/");
  return text;
}

// `command` killed anywhere and run again leaves the `state` one whole run
// leaves.
void ExpectKillSafe(const std::function<void(TossNode&)>& setup, const std::string& command,
                    const std::function<std::string(const TossNode&)>& state) {
  TossNode whole;
  setup(whole);
  ASSERT_EQ(whole.s.Run({command}).status, 0);
  const std::string expected = state(whole);
  SweepKills({command}, 5, setup,
             [&](const TossNode& n, bool) { EXPECT_EQ(state(n), expected) << command; });
}

TEST(MaintCrash, PurgeKilledAnywhereEndsAsAWholeRun) {
  auto setup = [](TossNode& n) {
    n.areas =
        "AREA SIZED files/sized A 0 0 2:5020/1 ~K1\nLINKS 2:5020/2\n\n"
        "AREA AGED files/aged A 0 0 2:5020/1 ~D7\nLINKS 2:5020/2\n\n"
        "AREA PASS.A pass/a A 0 0 2:5020/1 P\nLINKS 2:5020/2 4\n";
    n.settings = "DESCWIDTH 14\nKEEPTICS keep\nKEEPTICSDAYS 3\n";
    for (const char* f : {"a.zip", "b.zip", "c.zip"})
      n.s.Write(std::string("files/sized/") + f, std::string(600, 'x'));
    n.s.Write("files/sized/files.bbs", "A.ZIP [00] a\nB.ZIP [00] b\n             more\nC.ZIP c\n");
    for (const char* f : {"old.zip", "young.zip", "new.zip"})
      n.s.Write(std::string("files/aged/") + f, "data");
    for (const char* f : {"sent.zip", "gone.zip"}) n.s.Write(std::string("pass/a/") + f, "data");
    n.s.Write("outtics/ol000001.tic", "Area PASS.A\r\nFile SENT.ZIP\r\nFrom 2:5020/1\r\n");
    n.s.Write("keep/old.tic", "t");
    SetAge(n.s, "keep/old.tic", 9 * kDay);
    n.s.Write("olxprg.idx", Stamp(300) + " SIZED 600 A.ZIP\n" + Stamp(200) + " SIZED 600 B.ZIP\n" +
                                Stamp(100) + " SIZED 600 C.ZIP\n" + Stamp(8 * kDay) +
                                " AGED 4 OLD.ZIP\n" + Stamp(kDay) + " AGED 4 YOUNG.ZIP\n");
    n.WriteConfig();
  };
  auto state = [](const TossNode& n) {
    return Kept(n, "files/sized") + "|" + Kept(n, "files/aged") + "|" + Kept(n, "pass/a") + "|" +
           Kept(n, "keep") + "|" + n.s.Read("files/sized/files.bbs") + "|" +
           Ages(n.s.Read("olxprg.idx"));
  };
  ExpectKillSafe(setup, "PURGE", state);

  // No room for the new index: cron learns of it from the status.
  TossNode n;
  setup(n);
  EXPECT_TRUE(Holds(n.DiskFull({"PURGE"}, "olxprg").Plain(), n.s.dir() + "olxprg.idx"));
}

// Old and young tickets of 2:5020/3 with their flow file, a young one of
// 2:5020/4.
void OldTicketsNode(TossNode& n) {
  n.settings = "PASSIVEKILL Yes\n";
  const std::string t = n.s.dir() + "outtics/";
  n.s.Write("outtics/ol000001.tic",
            "Area FILES.A\r\nFile A.ZIP\r\nFrom 2:5020/1\r\nTo 2:5020/3\r\n");
  n.s.Write("outtics/ol000002.tic",
            "Area FILES.A\r\nFile B.ZIP\r\nFrom 2:5020/1\r\nTo 2:5020/3\r\n");
  n.s.Write("outtics/ol000003.tic",
            "Area FILES.A\r\nFile A.ZIP\r\nFrom 2:5020/1\r\nTo 2:5020/4\r\n");
  SetAge(n.s, "outtics/ol000001.tic", 8 * kDay);
  n.s.Write("files/a/a.zip", "a");
  n.s.Write("files/a/b.zip", "b");
  const std::string f = n.s.dir() + "files/a/";
  n.s.Write("out/bso/139c0003.clo", "/elsewhere/x.zip\n" + f + "a.zip\n^" + t + "ol000001.tic\n" +
                                        f + "b.zip\n^" + t + "ol000002.tic\n");
  n.s.Write("out/bso/139c0004.flo", f + "a.zip\n^" + t + "ol000003.tic\n");
  n.WriteConfig();
}

TEST(MaintCrash, OldCheckKilledAnywhereEndsAsAWholeRun) {
  auto state = [](const TossNode& n) {
    return Relative(n, Kept(n, "outtics") + "|" + n.s.Read("out/bso/139c0003.clo") + "|" +
                           n.s.Read("out/bso/139c0004.flo") + "|" + Kept(n, "files/a") + "|" +
                           n.s.Read("olxlinks.ini"));
  };
  ExpectKillSafe(OldTicketsNode, "OLDCHECK", state);

  // A full disk when the passive link is saved: nothing is deleted.
  TossNode n;
  OldTicketsNode(n);
  std::string before = state(n);
  EXPECT_TRUE(Holds(n.DiskFull({"OLDCHECK"}, "linktemp").Plain(), n.s.dir() + "linktemp.ini"));
  EXPECT_EQ(state(n), before);

  // No room for the PASSIVETPL letter: the link stays active and nothing
  // is deleted, so the next run, with room, tells it and cleans up.
  n.settings += "PASSIVETPL passive.tpl\n";
  n.s.Write("passive.tpl", "@LINK is @STATUS now\n");
  n.WriteConfig();
  n.DiskFull({"OLDCHECK"}, "olxmsg");
  EXPECT_EQ(state(n), before);
  EXPECT_EQ(n.Names("out/mail"), "");
  ASSERT_EQ(n.s.Run({"OLDCHECK"}).status, 0);
  EXPECT_TRUE(Holds(n.s.Read("olxlinks.ini"), "CRASH        2:5020/1 P G\n"));
  ASSERT_EQ(SplitWords(n.Names("out/mail")).size(), 1u);
  EXPECT_TRUE(Holds(n.s.Read("out/mail/" + n.Names("out/mail")), "2:5020/3 is Passive now\r"));
}

}  // namespace
}  // namespace olvix::test
