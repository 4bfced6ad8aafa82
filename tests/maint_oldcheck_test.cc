// OLDCHECK through the built program: old outbound tickets turn their links
// passive; PASSIVEKILL takes what waits for them out of the outbound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "manager/letter.h"
#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/files.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1\n"
    "LINKS 2:5020/2 3 4\n";

// The status word ("A" or "P") of the link's line in olxlinks.ini.
std::string Status(const TossNode& n, const std::string& address) {
  for (const std::string& line : SplitPieces(n.s.Read("olxlinks.ini"), 1000)) {
    std::vector<std::string> w = SplitWords(TrimRight(line));
    if (w.size() > 8 && w[1] == address) return w[8];
  }
  return "?";
}

// The tickets in `dir` addressed to `to`, sorted.
std::vector<std::string> TicketsTo(const TossNode& n, const std::string& dir,
                                   const std::string& to) {
  std::vector<std::string> out;
  for (const std::string& name : SplitWords(n.Names(dir)))
    if (name.ends_with(".tic") && Holds(n.s.Read(dir + "/" + name), "To " + to + "\r\n"))
      out.push_back(name);
  return out;
}

// The names of the letters in out/mail to `to`.
std::vector<std::string> LettersTo(const TossNode& n, const std::string& to) {
  std::vector<std::string> out;
  for (const auto& [name, l] : Letters(n, "out/mail"))
    if (FormatAddress(l.destination) == to) out.push_back(name);
  return out;
}

// Two files tossed to the links 2:5020/3 (crash) and 2:5020/4 (normal) of
// a node with `settings`.
void TossTwoFiles(TossNode& n, const std::string& settings) {
  n.settings = settings;
  n.areas = kAreas;
  n.AddPair("a.tic", Ticket(), "hello\n");
  n.AddPair("b.tic", Ticket().File("WORLD.TXT"), "world\n");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
}

// OLDCHECK with `settings` added to the node's.
RunResult OldCheck(TossNode& n, const std::string& settings) {
  n.settings += settings;
  n.WriteConfig();
  return n.s.Run({"OLDCHECK"});
}

TEST(OldCheck, BinkAgesUplinksPassiveKillAndTheMailersBusyFlag) {
  TossNode n;
  ASSERT_NO_FATAL_FAILURE(TossTwoFiles(n, "[UPLINKS]\nUPLINK 2:5020/2 uplink.lst AllFix\n"));
  std::vector<std::string> to3 = TicketsTo(n, "outtics", "2:5020/3");
  std::vector<std::string> to4 = TicketsTo(n, "outtics", "2:5020/4");
  ASSERT_EQ(to3.size(), 2u);
  ASSERT_EQ(to4.size(), 2u);
  n.s.Write("outtics/ol000001.tic",
            "Area FILES.A\r\nFile HELLO.TXT\r\nFrom 2:5020/1\r\nTo 2:5020/2\r\n");
  SetAge(n.s, "outtics/ol000001.tic", 30 * kDay);  // the uplink's
  SetAge(n.s, "outtics/" + to3[0], 7 * kDay);
  SetAge(n.s, "outtics/" + to3[1], kDay);
  for (const std::string& t : to4) SetAge(n.s, "outtics/" + t, 7 * kDay - 3600);
  const std::string clo = "out/bso/139c0003.clo";
  std::string lines = n.s.Read(clo);
  n.s.Write(clo, "/elsewhere/first.zip\n" + lines + "^/elsewhere/last.tic\n");
  const std::string flo = n.s.Read("out/bso/139c0004.flo");

  // PASSIVEKILL off: the link turns passive, nothing goes.
  RunResult r = OldCheck(n, "[MAIN]\nPASSIVEDAYS 7\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Status(n, "2:5020/3"), "P");
  EXPECT_EQ(Status(n, "2:5020/4"), "A");
  EXPECT_EQ(Status(n, "2:5020/2"), "A");
  EXPECT_TRUE(Holds(r.Plain(), "# Link 2:5020/3 was turned to passive state"));
  EXPECT_TRUE(Holds(r.Plain(), "# File " + Upper(to3[0]) + " is out of date"));
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/3"), to3);
  EXPECT_EQ(n.s.Read(clo), "/elsewhere/first.zip\n" + lines + "^/elsewhere/last.tic\n");

  // PASSIVEKILL while the mailer is in session with the link: left alone.
  n.s.Write("out/bso/139c0003.bsy", "");
  r = OldCheck(n, "PASSIVEKILL Yes\n");
  EXPECT_TRUE(Holds(r.Plain(), "a mailer holds " + n.s.dir() + "out/bso/139c0003.bsy"));
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/3"), to3);
  EXPECT_EQ(n.s.Read(clo), "/elsewhere/first.zip\n" + lines + "^/elsewhere/last.tic\n");

  // The next run cleans: every ticket of the link, the young one too, and
  // their lines go; other lines stay in their order; the files stay.
  ASSERT_EQ(platform::RemoveFile(n.s.PathOf("out/bso/139c0003.bsy")), 0);
  r = n.s.Run({"OLDCHECK"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Deleting file-attaches for 2:5020/3"));
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/3"), std::vector<std::string>{});
  EXPECT_EQ(n.s.Read(clo), "/elsewhere/first.zip\n^/elsewhere/last.tic\n");
  EXPECT_EQ(n.Names("out/bso"), "139c0003.clo 139c0004.flo");
  EXPECT_EQ(n.s.Read("out/bso/139c0004.flo"), flo);
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/4"), to4);
  EXPECT_TRUE(n.s.Exists("outtics/ol000001.tic"));
  EXPECT_EQ(n.Names("files/a"), "files.bbs hello.txt world.txt");
}

TEST(OldCheck, LbsoListFileOfTheLinksFlavourIsCleaned) {
  TossNode n;
  ASSERT_NO_FATAL_FAILURE(TossTwoFiles(n, "ATTACHSTYLE LBSO\n"));
  const std::string list = "out/bso/Fidonet.2.5020.4.0.Normal.List";
  ASSERT_TRUE(n.s.Exists(list));
  n.s.Write(list, n.s.Read(list) + "/elsewhere/kept.zip\n");
  SetAge(n.s, "outtics/" + TicketsTo(n, "outtics", "2:5020/4")[0], 9 * kDay);
  RunResult r = OldCheck(n, "PASSIVEKILL Yes\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Status(n, "2:5020/4"), "P");
  EXPECT_EQ(n.s.Read(list), "/elsewhere/kept.zip\n");
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/4"), std::vector<std::string>{});
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/3").size(), 2u);
}

TEST(OldCheck, ArcMailAttachesToAnAddressWithoutLinkRecordAreRemoved) {
  TossNode n;
  ASSERT_NO_FATAL_FAILURE(TossTwoFiles(n, "ATTACHSTYLE AMA\n"));
  std::vector<std::string> letters3 = LettersTo(n, "2:5020/3");
  ASSERT_EQ(letters3.size(), 4u);  // the file and its ticket, twice
  ASSERT_EQ(LettersTo(n, "2:5020/4").size(), 4u);
  std::vector<std::string> to4 = TicketsTo(n, "outtics", "2:5020/4");
  ASSERT_EQ(to4.size(), 2u);
  for (const std::string& t : to4) SetAge(n.s, "outtics/" + t, 10 * kDay);
  // 2:5020/4 leaves the links file.
  n.links =
      "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
      "LINK 2:5020/3 A PASS3 10 No Crash 2:5020/1 Active G\n";
  n.areas = "AREA FILES.A files/a A 0 0 2:5020/1\nLINKS 2:5020/2 3\n";
  const std::string links = n.links;

  RunResult r = OldCheck(n, "PASSIVEDAYS 0\nPASSIVEKILL Yes\n");
  EXPECT_FALSE(Holds(r.Plain(), "Checking for old .TIC files"));
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/4"), to4);

  r = OldCheck(n, "PASSIVEDAYS 7\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Deleting file-attaches for 2:5020/4"));
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/4"), std::vector<std::string>{});
  EXPECT_EQ(TicketsTo(n, "outtics", "2:5020/3").size(), 2u);
  EXPECT_EQ(LettersTo(n, "2:5020/4"), std::vector<std::string>{});
  EXPECT_EQ(LettersTo(n, "2:5020/3"), letters3);
  EXPECT_EQ(n.s.Read("olxlinks.ini"), links);
}

TEST(OldCheck, FileboxesEmptyTheBoxOfTheLinkTurnedPassiveNotTheUplinks) {
  TossNode n;
  ASSERT_NO_FATAL_FAILURE(TossTwoFiles(
      n, "ATTACHSTYLE FILEBOXES\nOUTBOUND boxes\n[UPLINKS]\nUPLINK 2:5020/4 uplink.lst\n"));
  const std::string box3 = "boxes/024SS003.00", box4 = "boxes/024SS004.00";
  ASSERT_EQ(TicketsTo(n, box3, "2:5020/3").size(), 2u);
  for (const std::string& t : TicketsTo(n, box3, "2:5020/3")) SetAge(n.s, box3 + "/" + t, 8 * kDay);
  for (const std::string& t : TicketsTo(n, box4, "2:5020/4")) SetAge(n.s, box4 + "/" + t, 8 * kDay);
  n.s.Write(box3 + "/readme.txt", "not sent with a ticket");
  std::string in_box4 = n.Names(box4);

  RunResult r = OldCheck(n, "[MAIN]\nPASSIVEKILL Yes\n");
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Status(n, "2:5020/3"), "P");
  EXPECT_EQ(Status(n, "2:5020/4"), "A");
  EXPECT_EQ(n.Names(box3), "readme.txt");
  EXPECT_EQ(n.Names(box4), in_box4);
  EXPECT_TRUE(Holds(r.Plain(), "# File " + n.s.dir() + box3 + "/hello.txt was deleted\n"));
}

}  // namespace
}  // namespace olvix::test
