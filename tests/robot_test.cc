// The robot through the built program: what a failed write keeps, TOSSMGR
// and the request to stop that the toss sends an uplink.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ftn_network.h"
#include "manager/letter.h"
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

// The letters in a directory of the node, read.
std::vector<NetmailLetter> Letters(const TossNode& n, const std::string& dir) {
  std::vector<NetmailLetter> out;
  std::string names = n.Names(dir);
  for (size_t pos = 0; pos < names.size();) {
    size_t end = names.find(' ', pos);
    if (end == std::string::npos) end = names.size();
    NetmailLetter l;
    EXPECT_EQ(ParseLetter(n.s.Read(dir + "/" + names.substr(pos, end - pos)), &l), 0);
    out.push_back(l);
    pos = end + 1;
  }
  return out;
}

TEST(RobotRun, AFailedAreasFileKeepsTheLetterAFailedReportOnlyTheReport) {
  TossNode n;
  n.s.Write("netmail/2.msg", Letter("2:5020/10", "PASS10", {"+FILES.R"}));
  n.s.MakeDir("areatemp.ini");  // the areas file cannot be written
  n.s.MakeDir("report.$$$");    // nor the status report
  n.WriteConfig();
  RunResult r = n.s.Run({"MGR"});
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "olxareas.ini"));
  EXPECT_TRUE(Holds(r.output, "not able to write into file " + n.s.dir() + "report.$$$"));
  EXPECT_TRUE(n.s.Exists("netmail/2.msg"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), n.areas);

  std::filesystem::remove(n.s.PathOf("areatemp.ini"));
  r = n.s.Run({"MGR"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(n.s.Exists("netmail/2.msg"));
  EXPECT_TRUE(Holds(n.s.Read("olxareas.ini"), " 2:5020/7 2:5020/10\n"));
  EXPECT_EQ(n.Names("out/mail"), "");  // the lines were carried out, unreported
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

}  // namespace
}  // namespace olvix::test
