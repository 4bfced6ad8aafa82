// Announcements under kills and full disks (the build with the
// fault-injection seam): a toss killed at any operation and run again
// announces every file exactly once in each report; ANNOUNCE killed and run
// again posts every stored file, at most twice, and keeps no ticket.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ftn_network.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const std::vector<std::string> kFiles = {"A.ZIP", "B.ZIP", "C.ZIP"};

void MakeNode(TossNode& n, const std::string& settings) {
  n.links =
      "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
      "LINK 2:5020/3 A PASS3 10 No Normal 2:5020/1 Active\n";
  n.areas = "AREA FILES.A files/a A 0 0 2:5020/1\nLINKS 2:5020/2 3\n";
  n.settings = settings;
  n.WriteConfig();
  n.s.Write("files.tpl", ">***<\n@F\n");
  for (const std::string& f : kFiles)
    n.AddPair(Lower(f.substr(0, 1)) + ".tic", Ticket().File(f), "contents of " + f);
}

// How often each file stands in the messages of the packets, per area.
std::map<std::string, std::map<std::string, int>> Announced(const TossNode& n) {
  std::map<std::string, std::map<std::string, int>> out;
  for (const ftnnet::Packet& p : Packets(n, "pkt"))
    for (const ftnnet::PackedMessage& m : p.messages)
      for (const std::string& line : m.BodyLines()) out[m.lines.at(0)][line]++;
  return out;
}

// The sweep of the fixture, with no work file left at the end.
void Sweep(const std::vector<std::string>& command, const std::function<void(TossNode&)>& prepare,
           const std::function<void(const TossNode&)>& check) {
  SweepKills(command, 10, prepare, [&](const TossNode& n, bool) {
    check(n);
    ExpectNoWorkFiles(n);
  });
}

const char kReports[] =
    "PACKETDIR pkt\nANNOUNCETEXT ann.txt\nANNTEMPLATE files.tpl\n[ANNOUNCE]\n"
    "ALL 2:5020/1 2:5020/1 PW * files.tpl\nAGAIN 2:5020/1 2:5020/1 PW A files.tpl\n";

void ExpectEachOnce(const TossNode& n) {
  auto announced = Announced(n);
  for (const char* area : {"AREA:ALL", "AREA:AGAIN"})
    for (const std::string& f : kFiles) EXPECT_EQ(1, announced[area][f]) << area << " " << f;
  EXPECT_EQ("A.ZIP\nB.ZIP\nC.ZIP\n", n.s.Read("ann.txt"));
}

TEST(AnnounceCrash, KilledTossAnnouncesEveryFileOnce) {
  Sweep(
      {"TOSS"}, [](TossNode& n) { MakeNode(n, kReports); }, ExpectEachOnce);
  Sweep(
      {"TOSS"}, [](TossNode& n) { MakeNode(n, "ANNOUNCEPATH delayed\n"); },
      [](const TossNode& n) {
        std::map<std::string, int> stored;
        for (const std::string& name : ftnnet::ListNames(n.s.PathOf("delayed"))) {
          std::string text = n.s.Read("delayed/" + name);
          size_t at = text.find("\r\nFile ") + 7;
          stored[text.substr(at, text.find('\r', at) - at)]++;
        }
        EXPECT_EQ((std::map<std::string, int>{{"A.ZIP", 1}, {"B.ZIP", 1}, {"C.ZIP", 1}}), stored);
      });
}

TEST(AnnounceCrash, KilledAnnounceKeepsNoTicketAndLosesNoFile) {
  Sweep(
      {"ANNOUNCE", "-U"},
      [](TossNode& n) {
        MakeNode(n,
                 "ANNOUNCEPATH delayed\nPACKETDIR pkt\n[ANNOUNCE]\n"
                 "ALL 2:5020/1 2:5020/1 PW * files.tpl\n");
        ASSERT_EQ(0, n.s.Run({"TOSS"}).status);
      },
      [](const TossNode& n) {
        EXPECT_EQ("", n.Names("delayed"));
        auto announced = Announced(n);
        for (const std::string& f : kFiles) {
          EXPECT_GE(announced["AREA:ALL"][f], 1) << f;
          EXPECT_LE(announced["AREA:ALL"][f], 2) << f << ": only the step in flight again";
        }
      });
}

TEST(AnnounceCrash, FullDiskStopsTheTossUntilThereIsSpace) {
  for (const char* where : {"/pkt/", "ann.txt", "/delayed/"}) {
    SCOPED_TRACE(where);
    TossNode n;
    bool delayed = std::string(where) == "/delayed/";
    MakeNode(n, delayed ? "ANNOUNCEPATH delayed\n" : kReports);
    n.DiskFull({"TOSS"}, where);
    EXPECT_EQ("a.tic a.zip b.tic b.zip c.tic c.zip", n.Names("in"));
    ASSERT_EQ(0, n.s.Run({"TOSS"}).status);
    if (delayed)
      EXPECT_EQ(3u, ftnnet::ListNames(n.s.PathOf("delayed")).size());
    else
      ExpectEachOnce(n);
    ExpectNoWorkFiles(n);
  }
}

}  // namespace
}  // namespace olvix::test
