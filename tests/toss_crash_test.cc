// TOSS killed at every operation that changes a file, or stopped by a full
// disk, and then run again as cron would: every file reaches its fileecho
// and every link exactly once (the one attach in flight may come twice),
// and nothing is left behind. The runs to be killed use the build with the
// fault-injection seam (OLVIX_FAULT).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tic/tic.h"
#include "toss_fixture.h"
#include "util/address.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kLinks[] =
    "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
    "LINK 2:5020/3 A PASS3 10 No Normal 2:5020/1 Active\n"
    "LINK 2:5020/4 A PASS4 10 No Normal 2:5020/1 Active\n";
const char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1 ~K900\n"
    "LINKS 2:5020/2 3 4\n";
const std::vector<std::string> kFiles = {"A.ZIP", "B.ZIP", "C.ZIP"};

std::string Contents(const std::string& f) { return "contents of " + f + std::string(3000, 'x'); }

// A node with three good tickets (B replaces an older file of its
// fileecho), one with a wrong password, DUPESDIR and descriptions that are
// only ever appended to.
void CrashNode(TossNode& n, const std::string& style) {
  n.links = kLinks;
  n.areas = kAreas;
  n.settings = "DUPESDIR dupes\nREWRITEDESC No\n" + style;
  n.WriteConfig();
  n.s.Write("files/a/b.old", "older B");
  n.s.Write("files/a/files.bbs", "B.OLD [00] The older B\n");
  for (const std::string& f : kFiles) {
    Ticket t = Ticket().File(f).Extra({"Desc File " + f});
    if (f == "B.ZIP") t.extra.push_back("Replaces B.*");
    n.AddPair(Lower(f.substr(0, 1)) + ".tic", t, Contents(f));
  }
  n.AddPair("d.tic", Ticket().File("D.ZIP").Pw("WRONG"), "rejected");
}

// What one link received: file name -> times, and the tickets by file.
struct Received {
  std::map<std::string, int> files;
  std::map<std::string, int> tickets;
};

void CheckTicket(const std::string& text, const std::string& link, const std::string& pw,
                 Received* got) {
  TicRecord t;
  ASSERT_EQ(ParseTic(text, &t), 0) << text;
  EXPECT_EQ(FormatAddress(t.to), link);
  EXPECT_EQ(t.password, pw);
  got->tickets[t.file]++;
}

// The invariants after the second run.
void CheckNode(const TossNode& n, bool boxes, size_t more = 0) {
  const Scenario& s = n.s;
  EXPECT_EQ(n.Names("in"), "");
  for (const std::string& f : kFiles) EXPECT_EQ(s.Read("files/a/" + Lower(f)), Contents(f));
  EXPECT_FALSE(s.Exists("files/a/b.old"));
  std::string desc = s.Read("files/a/files.bbs");
  for (const std::string& f : kFiles) {
    int entries = 0;
    for (const std::string& line : Lines(desc))
      if (line.compare(0, f.size() + 1, f + " ") == 0) ++entries;
    EXPECT_EQ(entries, 1) << f << " in\n" << desc;
  }
  EXPECT_EQ(Lines(s.Read("olxprg.idx")).size(), kFiles.size() + more);
  std::vector<std::string> bad = n.Files("bad");
  EXPECT_GE(bad.size(), 3u);  // d.zip, d.tic, files.bbs; a copy may repeat
  EXPECT_LE(bad.size(), 5u);
  EXPECT_EQ(n.Files("dupes"), std::vector<std::string>{});
  ExpectNoWorkFiles(n);
  for (const std::string& f : n.Files()) {
    EXPECT_FALSE(f.size() > 4 && f.compare(f.size() - 4, 4, ".bsy") == 0) << f;
    EXPECT_NE(f, "olxtoss.jnl");
  }
  std::map<std::string, std::string> passwords = {{"2:5020/3", "PASS3"}, {"2:5020/4", "PASS4"}};
  std::map<std::string, Received> got;
  std::set<std::string> referenced;
  if (!boxes) {
    for (const auto& [link, flow] : std::map<std::string, std::string>{
             {"2:5020/3", "out/bso/139c0003.flo"}, {"2:5020/4", "out/bso/139c0004.flo"}}) {
      for (const std::string& line : Lines(s.Read(flow))) {
        if (line.empty()) continue;
        if (line[0] != '^') {
          got[link].files[Upper(line.substr(line.rfind('/') + 1))]++;
          continue;
        }
        referenced.insert(line.substr(1));
        CheckTicket(s.Read(line.substr(1)), link, passwords[link], &got[link]);
      }
    }
    for (const std::string& t : n.Files("outtics"))
      EXPECT_TRUE(referenced.count(s.PathOf(t))) << "orphan ticket " << t;
  } else {
    EXPECT_EQ(n.Files("outtics"), std::vector<std::string>{});
    for (const std::string& f : n.Files("out/boxes")) {
      std::string link = Lower(f).find("024ss003") != std::string::npos ? "2:5020/3" : "2:5020/4";
      std::string name = f.substr(f.rfind('/') + 1);
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tic") == 0)
        CheckTicket(s.Read(f), link, passwords[link], &got[link]);
      else
        got[link].files[Upper(name)]++;
    }
  }
  for (const char* link : {"2:5020/3", "2:5020/4"}) {
    int twice = 0;
    for (const std::string& f : kFiles) {
      EXPECT_GE(got[link].files[f], 1) << link << " " << f;
      EXPECT_GE(got[link].tickets[f], 1) << link << " " << f;
      EXPECT_LE(got[link].tickets[f], 2) << link << " " << f;
      if (!boxes) {
        EXPECT_EQ(got[link].files[f], got[link].tickets[f]) << link << " " << f;
      }
      if (got[link].tickets[f] == 2) ++twice;
    }
    EXPECT_LE(twice, 1) << link;  // only the attach in flight
  }
}

void SweepToss(const std::string& style, bool boxes) {
  SweepKills(
      {"TOSS"}, 20, [&](TossNode& n) { CrashNode(n, style); },
      [&](const TossNode& n, bool) { CheckNode(n, boxes); });
}

TEST(TossCrash, KilledAtAnyOperationThenRunAgainBink) { SweepToss("", false); }

TEST(TossCrash, KilledAtAnyOperationThenRunAgainFileboxes) {
  SweepToss("ATTACHSTYLE FILEBOXES\nOUTBOUND out/boxes\n", true);
}

// A full disk in each directory the toss writes: the toss stops with
// status 1 and the path and the reason in the log, the inbound intact;
// with space again, the next run completes the work.
TEST(TossCrash, DiskFullStopsBeforeAnythingIsDeleted) {
  for (const char* where :
       {"/outtics/", "/out/bso/", "/files/a/", "/bad/", "olxtoss.jnl", "olxprg.idx"}) {
    SCOPED_TRACE(std::string("disk full in ") + where);
    TossNode n;
    CrashNode(n, "");
    n.DiskFull({"TOSS"}, where);
    EXPECT_EQ(n.Names("in"), "a.tic a.zip b.tic b.zip c.tic c.zip d.tic d.zip");
    RunResult again = n.s.Run({"TOSS"});
    ASSERT_EQ(again.status, 0) << again.output;
    CheckNode(n, false);
  }
}

// Two copies at once (as a negative BUSYWAIT lets them run): the second finds the
// first's toss going on and leaves the inbound to it; no ticket goes to a
// link it is not meant for.
TEST(TossCrash, TwoCopiesAtOnceNeverMixTheirWork) {
  // No busy flag at all, so that the two runs surely overlap.
  TossNode n;
  CrashNode(n, "");
  // More tickets, so that the runs overlap.
  for (int i = 0; i < 40; ++i) {
    std::string f = Format("E%02d.ZIP", i);
    n.AddPair(Format("e%02d.tic", i), Ticket().File(f), "more " + f);
  }
  pid_t other = ::fork();
  if (other == 0) {
    RunResult r = n.s.Run({"TOSS"});
    ::_exit(r.status == 0 ? 0 : 1);
  }
  RunResult mine = n.s.Run({"TOSS"});
  int status = 0;
  ::waitpid(other, &status, 0);
  EXPECT_EQ(mine.status, 0) << mine.output;
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  CheckNode(n, false, 40);
  for (const char* flow : {"out/bso/139c0003.flo", "out/bso/139c0004.flo"}) {
    int tickets = 0;
    for (const std::string& line : Lines(n.s.Read(flow)))
      if (!line.empty() && line[0] == '^') ++tickets;
    EXPECT_EQ(tickets, 43) << flow;
  }
}

// A node whose one ticket creates a fileecho, with a magic name, an
// [AUTOSTART] command and a link that [UPLINKS] subscribes.
void CreatingNode(TossNode& n) {
  n.links = std::string(kLinks) + "LINK 2:5020/5 A PASS5 10 Yes Hold 2:5020/1 Passive\n";
  n.areas = kAreas;
  n.settings =
      "FREQLIST freq.lst\nNEWECHODESC Yes\nBLSTBBS blst.cfg\nNEWDESC From @LINK\n"
      "MAGICFILE magic/names.txt\n"
      "[AUTOSTART]\n* NEW.ECHO echo @FILE >>\"$OLVIXPATH/ran.txt\"\n"
      "[UPLINKS]\nUPLINK 2:5020/5\nLINKS 2:5020/4\n";
  n.WriteConfig();
  n.AddPair(
      "n.tic",
      Ticket().Area("NEW.ECHO").File("N.ZIP").From("2:5020/5", "PASS5").Extra({"Magic NEWMAGIC"}),
      "new fileecho");
}

// After the run that completed the work: the fileecho exists once with its
// lines once each, the magic name once, the file reached the link, and only
// the command in flight may have run twice.
void CheckCreated(const TossNode& n) {
  const Scenario& s = n.s;
  const std::string dir = s.dir() + "new/NEW_ECHO";
  std::string areas = s.Read("olxareas.ini");
  size_t at = areas.find("Area    NEW.ECHO " + dir + "/ A 0 0 2:5020/1\nDesc    From 2:5020/5\n");
  EXPECT_NE(at, std::string::npos) << areas;
  EXPECT_EQ(areas.find("NEW.ECHO", at + 20), std::string::npos) << areas;
  EXPECT_EQ(s.Read("new/NEW_ECHO/n.zip"), "new fileecho");
  EXPECT_EQ(n.Names("new"), "NEW_ECHO/ files.bbs");
  EXPECT_EQ(s.Read("freq.lst"), dir + "\n");
  EXPECT_EQ(s.Read("new/files.bbs"), "NEW_ECHO NEW.ECHO From 2:5020/5\n");
  EXPECT_EQ(s.Read("blst.cfg"), "\nName From 2:5020/5\nPath " + dir + "\n");
  EXPECT_EQ(s.Read("magic/names.txt"),
            ";\n; Automaticaly created file by Olvix\n;\nNEWMAGIC      " + dir + "/n.zip\n");
  std::string ran = s.Read("ran.txt");
  EXPECT_TRUE(ran == "n.zip\n" || ran == "n.zip\nn.zip\n") << ran;
  std::vector<std::string> flow = Lines(s.Read("out/bso/139c0004.flo"));
  EXPECT_TRUE(flow.size() == 2 || flow.size() == 4) << s.Read("out/bso/139c0004.flo");
  EXPECT_EQ(n.Names("in"), "");
  ExpectNoWorkFiles(n);
  for (const std::string& f : n.Files()) EXPECT_NE(f, "olxtoss.jnl");
}

TEST(TossCrash, KilledAtAnyOperationWhileAFileechoIsCreated) {
  SweepKills({"TOSS"}, 20, CreatingNode, [](const TossNode& n, bool whole) {
    CheckCreated(n);
    if (whole) {
      EXPECT_EQ(n.s.Read("ran.txt"), "n.zip\n");
    }
  });
}

// A full disk where the new fileecho's files go stops the toss before
// anything leaves the inbound; the next run creates the fileecho once.
TEST(TossCrash, DiskFullWhileAFileechoIsCreated) {
  for (const char* where : {"freq.lst", "blst.cfg", "/new/", "areatemp", "/magic/"}) {
    SCOPED_TRACE(std::string("disk full in ") + where);
    TossNode n;
    CreatingNode(n);
    n.DiskFull({"TOSS"}, where);
    EXPECT_EQ(n.Names("in"), "n.tic n.zip");
    RunResult again = n.s.Run({"TOSS"});
    ASSERT_EQ(again.status, 0) << again.output;
    CheckCreated(n);
  }
}

}  // namespace
}  // namespace olvix::test
