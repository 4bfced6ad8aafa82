// Tickets as a hostile link can send them through a password-protected
// session: nothing they hold forges a line downstream, deletes or hides a
// file here, or reaches outside the node's directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& l : lines)
    if (StartsWithNoCase(l, prefix)) ++n;
  return n;
}

// Tabs and a bare CR in Desc, Path and SeenBy values: the tickets written
// for the links hold each value on its own line, and a second node tossing
// them keeps the files of its fileecho.
TEST(TossHostile, TabsAndCarriageReturnsForgeNoLineDownstream) {
  TossNode a;
  a.AddPair("a.tic",
            Ticket().Extra({"Desc " + std::string(63, '\t') + "Replaces *",
                            "Path 2:5020/2 1 " + std::string(60, '\t') + "Area OTHER",
                            "SeenBy 2:5020/9\rFile ../../etc/passwd", "LDesc a\x1b[2Jb\x0c"}),
            "hello");
  RunResult r = a.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string sent = a.s.Read(a.TicOfFlow("out/bso/139c0004.flo"));
  std::vector<std::string> lines = Lines(sent, "\r\n");
  for (const std::string& l : lines) {
    EXPECT_LE(l.size(), 509u) << l;
    for (char c : l) EXPECT_GE(static_cast<unsigned char>(c), 32u) << l;
  }
  EXPECT_EQ(CountPrefix(lines, "Replaces"), 0u);
  EXPECT_EQ(CountPrefix(lines, "Area "), 1u);
  EXPECT_EQ(CountPrefix(lines, "File "), 1u);
  EXPECT_TRUE(Holds(sent, "\r\nDesc " + std::string(63, ' ') + "Replaces *\r\n"));
  EXPECT_TRUE(Holds(sent, "\r\nSeenBy 2:5020/9 File ../../etc/passwd\r\n"));
  EXPECT_EQ(a.s.Read("files/a/files.bbs"),
            "HELLO.TXT    [00] " + std::string(63, ' ') + "Replaces *\n a [2Jb\n");

  // The next node down the line takes what we sent as its uplink's ticket.
  TossNode b;
  b.links = "LINK 2:5020/1 A PASS4 10 No Hold 2:5020/4 Active\n";
  b.areas = "AREA FILES.A files/a A 0 0 2:5020/4\nLINKS 2:5020/1\n";
  b.s.Write("files/a/keep.zip", "a file of the downstream node");
  b.AddFile("hello.txt", "hello");
  b.s.Write("in/sent.tic", sent);
  RunResult rb = b.Toss();
  ASSERT_EQ(rb.status, 0) << rb.output;
  EXPECT_EQ(b.Names("files/a"), "files.bbs hello.txt keep.zip");
}

// Two nodelist differences in one session, each replacing NODEDIFF.*: the
// older difference goes, both new ones stay and reach the links.
TEST(TossHostile, ReplacesNeverTakesAFileOfTheSameRun) {
  TossNode n;
  n.s.Write("files/a/nodediff.330", "330");
  for (const std::string day : {"331", "332"})
    n.AddPair("d" + day + ".tic", Ticket().File("NODEDIFF." + day).Extra({"Replaces NODEDIFF.*"}),
              day);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("files/a"), "files.bbs nodediff.331 nodediff.332");
  std::string flow = n.s.Read("out/bso/139c0004.flo");
  EXPECT_TRUE(Holds(flow, "files/a/nodediff.331\n"));
  EXPECT_TRUE(Holds(flow, "files/a/nodediff.332\n"));
}

// A ticket with a wrong password sorts before the good ticket for the same
// file: the file stays for the good one and a copy goes to BADPATH, whose
// own x.zip is kept. Names the toss cannot use are refused.
TEST(TossHostile, BadTicketsTakeNothingAwayAndBadpathKeepsWhatItHolds) {
  TossNode n;
  n.s.Write("bad/x.zip", "an earlier rejected x.zip");
  n.AddPair("a.tic", Ticket().File("X.ZIP").Pw("FORGED"), "the good one");
  n.AddTic("b.tic", Ticket().File("X.ZIP"));
  n.AddPair("n1.tic", Ticket().File("A B.ZIP"), "sent to take a name of ours");
  n.AddPair("n2.tic", Ticket().File("FILES.BBS"), "sent to take a name of ours");
  n.AddPair("n3.tic", Ticket().File("files.bbs.$$$"), "sent to take a name of ours");
  n.s.Write("files/a/files.bbs", "OLD.ZIP [00] Kept\n");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/x.zip"), "the good one");
  EXPECT_EQ(n.s.Read("bad/x.zip"), "an earlier rejected x.zip");
  EXPECT_EQ(n.s.Read("bad/x.z~1"), "the good one");
  EXPECT_TRUE(
      Holds(n.s.Read("bad/files.bbs"), "X.ZIP Unexpected password \"FORGED\" for Link 2:5020/2\n"));
  EXPECT_EQ(n.s.Read("files/a/files.bbs"),
            "OLD.ZIP [00] Kept\nX.ZIP        [00] No description found\n");
  EXPECT_EQ(LevelLines(r.Plain(), '!').find("Invalid file name") != std::string::npos, true);
  std::vector<std::string> plain = Lines(r.Plain());
  EXPECT_EQ(std::count(plain.begin(), plain.end(), "! Invalid file name"), 3);
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.s.Read("bad/files.bbs_"), "sent to take a name of ours");
}

// A name longer than the name field of DESCLINE is written whole, and a
// description line that looks like an entry stays a continuation line.
TEST(TossHostile, DescriptionEntriesDescribeTheirOwnFile) {
  TossNode n;
  n.AddPair("a.tic",
            Ticket().File("NODEDIFF.331X").Extra({"Desc First", "LDesc NODEDIFF.331 [00] FAKE"}),
            "x");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/files.bbs"), "NODEDIFF.331X [00] First\n NODEDIFF.331 [00] FAKE\n");
}

// Only plain files leave the inbound: a symbolic link named by a ticket is
// no file, a ticket that is a link is not read, a FIFO never hangs the toss,
// and a ticket of 2 MiB is not read at all.
TEST(TossHostile, LinksFifosAndHugeTicketsAreRefused) {
  TossNode n;
  n.s.Write("secret.txt", "not for the links");
  n.s.MakeDir("in");
  ASSERT_EQ(::symlink(n.s.PathOf("secret.txt").c_str(), n.s.PathOf("in/link.txt").c_str()), 0);
  n.AddTic("a.tic", Ticket().File("LINK.TXT").Crc("-"));
  n.AddTic("b.tic", Ticket().File("LINK.TXT").Pw("FORGED").Crc("-"));
  ASSERT_EQ(::mkfifo(n.s.PathOf("in/fifo.txt").c_str(), 0666), 0);
  n.AddTic("c.tic", Ticket().File("FIFO.TXT").Crc("-"));
  n.s.Write("elsewhere.tic", n.TicText(Ticket{}));
  ASSERT_EQ(::symlink(n.s.PathOf("elsewhere.tic").c_str(), n.s.PathOf("in/d.tic").c_str()), 0);
  n.AddPair("e.tic", Ticket().Extra({"LDesc " + std::string(2 << 20, 'x')}), "hello");
  n.settings = "LOSTTICDAYS 1\n";
  n.WriteConfig();
  RunResult r = n.s.Run({"TOSS"}, {}, 20);
  ASSERT_FALSE(r.timed_out);
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_EQ(n.Names("files/a"), "");
  EXPECT_EQ(n.Names("outtics"), "");
  EXPECT_TRUE(Holds(r.Plain(), "d.tic\n! due to an error: Not a plain file\n"));
  EXPECT_TRUE(Holds(r.Plain(), "File LINK.TXT does not exist"));
  EXPECT_EQ(n.Names("in"), "a.tic b.tic c.tic d.tic e.tic hello.txt link.txt");
  struct stat st;
  EXPECT_EQ(::lstat(n.s.PathOf("in/fifo.txt").c_str(), &st), 0);
}

}  // namespace
}  // namespace olvix::test
