// The robot through the built program: what a failed write keeps, TOSSMGR,
// the request to stop that the toss sends an uplink, and MGR killed at any
// point or stopped by a full disk (the build with the fault-injection seam,
// OLVIX_FAULT).
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "ftn_network.h"
#include "manager/letter.h"
#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/address.h"
#include "util/text.h"

namespace olvix::test {
namespace {

// A letter of `from` to the robot, lines ended by CR.
std::string Letter(const std::string& from, const std::string& password,
                   const std::vector<std::string>& lines) {
  ftnnet::StoredMessage m;
  m.from_name = "Ivan";
  m.to_name = "Olvix";
  m.subject = password;
  m.origin = ParseAddress(from);
  m.destination = ParseAddress("2:5020/1");
  m.text = "\x01INTL 2:5020/1 " + from + "\r";
  for (const std::string& l : lines) m.text += l + "\r";
  return ftnnet::EncodeStoredMessage(m);
}

// Every failed write stops the robot with the letter kept; what was done
// before is kept too, and the run after the trouble answers the letter.
TEST(RobotRun, FailedWritesKeepTheLetterUntilItIsAnswered) {
  TossNode n;
  n.s.Write("netmail/2.msg", Letter("2:5020/10", "PASS10", {"+FILES.R"}));
  n.s.MakeDir("report.$$$");  // the status report cannot be written
  n.WriteConfig();
  // Nor the areas file: the disk is full where its new text goes.
  RunResult r = n.RunFaulty({"MGR"}, "enospc:1:areatemp.ini");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "report.$$$"));
  EXPECT_TRUE(n.s.Exists("netmail/2.msg"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), n.areas);

  std::filesystem::remove(n.s.PathOf("report.$$$"));
  r = n.RunFaulty({"MGR"}, "enospc:1:areatemp.ini");
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "olxareas.ini"));
  EXPECT_TRUE(n.s.Exists("netmail/2.msg"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), n.areas);

  r = n.s.Run({"MGR"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(n.s.Exists("netmail/2.msg"));
  EXPECT_TRUE(Holds(n.s.Read("olxareas.ini"), " 2:5020/7 2:5020/10\n"));
  // The report of the first run that could write it, and the one of the
  // run whose areas file failed, which had sent it.
  std::map<std::string, NetmailLetter> sent = Letters(n, "out/mail");
  ASSERT_EQ(sent.size(), 2u);
  for (const auto& [name, l] : sent) EXPECT_EQ(l.lines[3], "Added:                        FILES.R");
}

TEST(RobotRun, TossMgrSubscribesBeforeTheToss) {
  TossNode n;
  n.s.Write("netmail/2.msg", Letter("2:5020/10", "PASS10", {"%RESUME", "+FILES.R"}));
  n.AddPair("a.tic", Ticket().Area("FILES.R"), "hello\n");
  n.WriteConfig();
  RunResult r = n.s.Run({"tossmgr"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(n.s.Exists("files/r/hello.txt"));
  EXPECT_TRUE(Holds(n.Names("out/bso"), "139c000a.hlo")) << r.output;  // the link just added
  EXPECT_EQ(Letters(n, "out/mail").size(), 1u);                        // its status report
}

TEST(RobotRun, SingleUplinkAsksTheUplinkToStopOnce) {
  TossNode n;
  n.settings = "SINGLEUPLINK Yes\n[UPLINKS]\nUPLINK 2:5020/4 none.lst UpFix\n";
  for (const std::string name : {"a", "b"})
    n.AddPair(name + ".tic",
              Ticket().Area("FILES.R").File(Upper(name) + ".TXT").From("2:5020/4", "PASS4"), name);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(n.Names("bad"), "a.tic"));
  EXPECT_TRUE(Holds(r.output, "Unsubscribing us from fileecho FILES.R"));
  std::map<std::string, NetmailLetter> sent = Letters(n, "out/mail");
  ASSERT_EQ(sent.size(), 1u);
  const NetmailLetter& l = sent.begin()->second;
  EXPECT_EQ(l.to_name, "UPFIX");
  EXPECT_EQ(l.subject, "PASS4");
  EXPECT_EQ(FormatAddress(l.destination), "2:5020/4");
  ASSERT_GE(l.lines.size(), 4u);
  EXPECT_EQ(l.lines[3], "-FILES.R");
}

// --- Killed and full-disk runs ---------------------------------------------

// Two letters: 2:5020/2 subscribes, unsubscribes, asks for a fileecho of
// the uplink 2:5020/100 and pauses; 2:5020/3 subscribes by mask.
void RobotCrashNode(TossNode& n) {
  n.links =
      "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
      "LINK 2:5020/3 A PASS3 10 No Hold 2:5020/1 Active\n"
      "LINK 2:5020/100 A UPPW 10 No Hold 2:5020/1 Active\n";
  n.areas =
      "AREA FILES.A files/a A 0 0 2:5020/1\nLINKS 2:5020/100\n\n"
      "AREA FILES.B files/b A 0 0 2:5020/1\nLINKS 2:5020/2\n";
  n.settings = "LETTERCOPIES copies\nCHANGESTPL changes.tpl\n[UPLINKS]\nUPLINK 2:5020/100 up.lst\n";
  n.WriteConfig();
  n.s.Write("changes.tpl", "Now:\n>***<\n@A\n");
  n.s.Write("up.lst", "NEW.ECHO New files\n");
  n.s.Write("netmail/2.msg",
            Letter("2:5020/2", "SECRET", {"+FILES.A", "-FILES.B", "+NEW.ECHO", "%PAUSE"}));
  n.s.Write("netmail/3.msg", Letter("2:5020/3", "PASS3", {"+FILES.*"}));
}

// After the run that was let finish: both letters carried out once in
// the files, each answered (the answers of the letter in flight may come
// twice), nothing left behind.
void CheckRobotNode(const TossNode& n) {
  EXPECT_EQ(n.Names("netmail"), "");
  std::string areas = n.s.Read("olxareas.ini");
  EXPECT_TRUE(Holds(areas, "/a/ A 0 0 2:5020/1\nLinks   2:5020/2 2:5020/3 2:5020/100\n"));
  EXPECT_TRUE(Holds(areas, "/b/ A 0 0 2:5020/1\nLinks   2:5020/3\n"));
  EXPECT_TRUE(Holds(areas, "Area    NEW.ECHO "));
  EXPECT_TRUE(Holds(areas, "Desc    New files\nLinks   2:5020/2 2:5020/100\n"));
  EXPECT_TRUE(Holds(n.s.Read("olxlinks.ini"), "2:5020/2     A       SECRET   10 No  HOLD"));
  EXPECT_TRUE(Holds(n.s.Read("olxlinks.ini"), "2:5020/1 P\n"));
  std::map<std::string, int> answers;
  for (const auto& [name, l] : Letters(n, "out/mail"))
    answers[FormatAddress(l.destination) + " " + l.subject]++;
  for (const char* key :
       {"2:5020/2 Status changes", "2:5020/2 Request answer", "2:5020/3 Status changes",
        "2:5020/3 Request answer", "2:5020/100 UPPW"}) {
    EXPECT_GE(answers[key], 1) << key;
    EXPECT_LE(answers[key], 2) << key << "\n" << n.Names("out/mail");
  }
  EXPECT_GE(SplitWords(n.Names("copies")).size(), 2u);
  ExpectNoWorkFiles(n);
}

TEST(RobotCrash, KilledAtAnyOperationThenRunAgain) {
  SweepKills({"MGR"}, 20, RobotCrashNode, [](const TossNode& n, bool) { CheckRobotNode(n); });
}

// A full disk where the robot writes: it stops with status 1, the reason
// in the log and the letters kept; with space again the next run finishes.
TEST(RobotCrash, DiskFullStopsBeforeTheLettersGo) {
  for (const char* where :
       {"/out/mail/", "report.$$$", "temptxt.$$$", "/copies/", "olxareas", "olxlinks"}) {
    SCOPED_TRACE(std::string("disk full in ") + where);
    TossNode n;
    RobotCrashNode(n);
    n.DiskFull({"MGR"}, where);
    EXPECT_TRUE(n.s.Exists("netmail/3.msg"));
    RunResult again = n.s.Run({"MGR"});
    ASSERT_EQ(again.status, 0) << again.output;
    CheckRobotNode(n);
  }
}

}  // namespace
}  // namespace olvix::test
