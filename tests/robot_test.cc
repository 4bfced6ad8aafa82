// The robot through the built program: what a failed write keeps, TOSSMGR,
// the request to stop that the toss sends an uplink, and MGR killed at any
// point or stopped by a full disk (the build with the fault-injection seam,
// OLVIX_FAULT).
#include <gtest/gtest.h>

#include <algorithm>
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

// The names TossNode::Names lists.
std::vector<std::string> Split(const std::string& names) {
  std::vector<std::string> out;
  for (size_t pos = 0; pos < names.size();) {
    size_t end = std::min(names.find(' ', pos), names.size());
    out.push_back(names.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
}

// The letters in a directory of the node, read.
std::vector<NetmailLetter> Letters(const TossNode& n, const std::string& dir) {
  std::vector<NetmailLetter> out;
  for (const std::string& name : Split(n.Names(dir))) {
    if (platform::IsWorkFileName(name)) continue;
    NetmailLetter l;
    EXPECT_EQ(ParseLetter(n.s.Read(dir + "/" + name), &l), 0) << name;
    out.push_back(l);
  }
  return out;
}

// Every failed write stops the robot with the letter kept; what was done
// before is kept too, and the run after the trouble answers the letter.
TEST(RobotRun, FailedWritesKeepTheLetterUntilItIsAnswered) {
  TossNode n;
  n.s.Write("netmail/2.msg", Letter("2:5020/10", "PASS10", {"+FILES.R"}));
  n.s.MakeDir("report.$$$");  // the status report cannot be written
  n.WriteConfig();
  // Nor the areas file: the disk is full where its new text goes.
  const std::map<std::string, std::string> full = {{"OLVIX_FAULT", "enospc:1:areatemp.ini"}};
  n.s.program = OLVIX_FAULTY_BINARY;
  RunResult r = n.s.Run({"MGR"}, full);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "report.$$$"));
  EXPECT_TRUE(n.s.Exists("netmail/2.msg"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), n.areas);

  std::filesystem::remove(n.s.PathOf("report.$$$"));
  r = n.s.Run({"MGR"}, full);
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "olxareas.ini"));
  EXPECT_TRUE(n.s.Exists("netmail/2.msg"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), n.areas);

  n.s.program.clear();
  r = n.s.Run({"MGR"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(n.s.Exists("netmail/2.msg"));
  EXPECT_TRUE(Holds(n.s.Read("olxareas.ini"), " 2:5020/7 2:5020/10\n"));
  // The report of the first run that could write it, and the one of the
  // run whose areas file failed, which had sent it.
  std::vector<NetmailLetter> sent = Letters(n, "out/mail");
  ASSERT_EQ(sent.size(), 2u);
  for (const NetmailLetter& l : sent)
    EXPECT_EQ(l.lines[3], "Added:                        FILES.R");
}

TEST(RobotRun, TossMgrSubscribesBeforeTheToss) {
  TossNode n;
  n.s.Write("netmail/2.msg", Letter("2:5020/10", "PASS10", {"%RESUME", "+FILES.R"}));
  n.AddFile("hello.txt", "hello\n");
  Ticket t;
  t.area = "FILES.R";
  n.AddTic("a.tic", t);
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
  for (const char* name : {"a", "b"}) {
    n.AddFile(std::string(name) + ".txt", name);
    Ticket t;
    t.area = "FILES.R";
    t.file = Upper(name) + ".TXT";
    t.from = "2:5020/4";
    t.pw = "PASS4";
    n.AddTic(std::string(name) + ".tic", t);
  }
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(n.Names("bad"), "a.tic"));
  EXPECT_TRUE(Holds(r.output, "Unsubscribing us from fileecho FILES.R"));
  std::vector<NetmailLetter> sent = Letters(n, "out/mail");
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].to_name, "UPFIX");
  EXPECT_EQ(sent[0].subject, "PASS4");
  EXPECT_EQ(FormatAddress(sent[0].destination), "2:5020/4");
  ASSERT_GE(sent[0].lines.size(), 4u);
  EXPECT_EQ(sent[0].lines[3], "-FILES.R");
}

// --- Killed and full-disk runs ---------------------------------------------

constexpr int kKilled = 128 + 9;

// Two letters: 2:5020/2 subscribes, unsubscribes, asks for a fileecho of
// the uplink 2:5020/100 and pauses; 2:5020/3 subscribes by mask.
struct RobotCrashNode {
  RobotCrashNode() {
    n.links =
        "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
        "LINK 2:5020/3 A PASS3 10 No Hold 2:5020/1 Active\n"
        "LINK 2:5020/100 A UPPW 10 No Hold 2:5020/1 Active\n";
    n.areas =
        "AREA FILES.A files/a A 0 0 2:5020/1\nLINKS 2:5020/100\n\n"
        "AREA FILES.B files/b A 0 0 2:5020/1\nLINKS 2:5020/2\n";
    n.settings =
        "LETTERCOPIES copies\nCHANGESTPL changes.tpl\n[UPLINKS]\nUPLINK 2:5020/100 up.lst\n";
    n.WriteConfig();
    n.s.Write("changes.tpl", "Now:\n>***<\n@A\n");
    n.s.Write("up.lst", "NEW.ECHO New files\n");
    n.s.Write("netmail/2.msg",
              Letter("2:5020/2", "SECRET", {"+FILES.A", "-FILES.B", "+NEW.ECHO", "%PAUSE"}));
    n.s.Write("netmail/3.msg", Letter("2:5020/3", "PASS3", {"+FILES.*"}));
  }
  TossNode n;
};

// After the run that was let finish: both letters carried out once in
// the files, each answered (the answers of the letter in flight may come
// twice), nothing left behind.
void CheckRobotNode(const RobotCrashNode& node, const std::string& what) {
  SCOPED_TRACE(what);
  const TossNode& n = node.n;
  EXPECT_EQ(n.Names("netmail"), "");
  std::string areas = n.s.Read("olxareas.ini");
  EXPECT_TRUE(Holds(areas, "/a/ A 0 0 2:5020/1\nLinks   2:5020/2 2:5020/3 2:5020/100\n"));
  EXPECT_TRUE(Holds(areas, "/b/ A 0 0 2:5020/1\nLinks   2:5020/3\n"));
  EXPECT_TRUE(Holds(areas, "Area    NEW.ECHO "));
  EXPECT_TRUE(Holds(areas, "Desc    New files\nLinks   2:5020/2 2:5020/100\n"));
  EXPECT_TRUE(Holds(n.s.Read("olxlinks.ini"), "2:5020/2     A       SECRET   10 No  HOLD"));
  EXPECT_TRUE(Holds(n.s.Read("olxlinks.ini"), "2:5020/1 P\n"));
  std::map<std::string, int> answers;
  for (const NetmailLetter& l : Letters(n, "out/mail"))
    answers[FormatAddress(l.destination) + " " + l.subject]++;
  for (const char* key :
       {"2:5020/2 Status changes", "2:5020/2 Request answer", "2:5020/3 Status changes",
        "2:5020/3 Request answer", "2:5020/100 UPPW"}) {
    EXPECT_GE(answers[key], 1) << key;
    EXPECT_LE(answers[key], 2) << key << "\n" << n.Names("out/mail");
  }
  EXPECT_GE(Split(n.Names("copies")).size(), 2u);
  for (const char* dir : {"", "netmail", "out/mail", "copies"})
    for (const std::string& f : Split(n.Names(dir)))
      EXPECT_FALSE(platform::IsWorkFileName(f)) << dir << "/" << f;
}

TEST(RobotCrash, KilledAtAnyOperationThenRunAgain) {
  for (int op = 1;; ++op) {
    RobotCrashNode node;
    node.n.s.program = OLVIX_FAULTY_BINARY;
    RunResult first = node.n.s.Run({"MGR"}, {{"OLVIX_FAULT", "kill:" + std::to_string(op)}});
    node.n.s.program.clear();
    RunResult second = node.n.s.Run({"MGR"});
    ASSERT_EQ(second.status, 0) << "killed at " << op << "\n" << second.output;
    CheckRobotNode(node, "killed at operation " + std::to_string(op));
    if (::testing::Test::HasFailure()) {
      node.n.s.Keep();
      FAIL() << "first run:\n" << first.output << "\nsecond run:\n" << second.output;
    }
    if (first.status != kKilled) {
      ASSERT_EQ(first.status, 0) << first.output;
      EXPECT_GT(op, 20);  // the sweep did reach into the robot
      break;
    }
  }
}

// A full disk where the robot writes: it stops with status 1, the reason
// in the log and the letters kept; with space again the next run finishes.
TEST(RobotCrash, DiskFullStopsBeforeTheLettersGo) {
  for (const char* where :
       {"/out/mail/", "report.$$$", "temptxt.$$$", "/copies/", "olxareas", "olxlinks"}) {
    RobotCrashNode node;
    node.n.s.program = OLVIX_FAULTY_BINARY;
    RunResult full = node.n.s.Run({"MGR"}, {{"OLVIX_FAULT", std::string("enospc:1:") + where}});
    node.n.s.program.clear();
    EXPECT_EQ(full.status, 1) << where << "\n" << full.output;
    EXPECT_TRUE(Holds(full.Plain(), "No space left on device")) << where;
    EXPECT_TRUE(node.n.s.Exists("netmail/3.msg")) << where;
    RunResult again = node.n.s.Run({"MGR"});
    ASSERT_EQ(again.status, 0) << again.output;
    CheckRobotNode(node, std::string("disk full in ") + where);
  }
}

}  // namespace
}  // namespace olvix::test
