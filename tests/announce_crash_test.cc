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
#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

constexpr int kKilled = 128 + 9;
const std::vector<std::string> kFiles = {"A.ZIP", "B.ZIP", "C.ZIP"};

void MakeNode(TossNode& n, const std::string& settings) {
  n.links =
      "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
      "LINK 2:5020/3 A PASS3 10 No Normal 2:5020/1 Active\n";
  n.areas = "AREA FILES.A files/a A 0 0 2:5020/1\nLINKS 2:5020/2 3\n";
  n.settings = settings;
  n.WriteConfig();
  n.s.Write("files.tpl", ">***<\n@F\n");
  for (const std::string& f : kFiles) {
    n.AddFile(Lower(f), "contents of " + f);
    Ticket t;
    t.file = f;
    n.AddTic(Lower(f.substr(0, 1)) + ".tic", t);
  }
}

// How often each file stands in the messages of the packets, per area.
std::map<std::string, std::map<std::string, int>> Announced(const TossNode& n) {
  std::map<std::string, std::map<std::string, int>> out;
  for (const std::string& name : ftnnet::ListNames(n.s.PathOf("pkt"))) {
    ftnnet::Packet p;
    std::string error;
    EXPECT_EQ(0, ftnnet::ParsePacket(n.s.Read("pkt/" + name), &p, &error)) << name << error;
    for (const ftnnet::PackedMessage& m : p.messages)
      for (const std::string& line : m.BodyLines()) out[m.lines.at(0)][line]++;
  }
  return out;
}

// No work file anywhere in the node (directories are not looked at).
void ExpectNoWorkFiles(const TossNode& n, const std::string& dir = "") {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(n.s.PathOf(dir), "*", true, &entries);  // missing: nothing
  for (const platform::DirEntry& e : entries) {
    std::string rel = dir.empty() ? e.name : dir + "/" + e.name;
    if (e.is_dir)
      ExpectNoWorkFiles(n, rel);
    else
      EXPECT_FALSE(platform::IsWorkFileName(e.name)) << rel;
  }
}

// Runs `command` killed before operation 1, 2, ... of the faulty build,
// each time followed by the same command run normally, until a run is not
// killed; `prepare` makes a fresh node, `check` looks at it afterwards.
void Sweep(const std::vector<std::string>& command, const std::function<void(TossNode&)>& prepare,
           const std::function<void(TossNode&)>& check) {
  for (int k = 1;; ++k) {
    SCOPED_TRACE("killed before operation " + std::to_string(k));
    TossNode n;
    prepare(n);
    n.s.program = OLVIX_FAULTY_BINARY;
    RunResult first = n.s.Run(command, {{"OLVIX_FAULT", "kill:" + std::to_string(k)}});
    n.s.program.clear();
    RunResult second = n.s.Run(command);
    ASSERT_EQ(0, second.status) << second.output;
    check(n);
    ExpectNoWorkFiles(n);
    if (::testing::Test::HasFailure()) FAIL() << first.output << "\n" << second.output;
    if (first.status != kKilled) {
      ASSERT_EQ(0, first.status) << first.output;
      EXPECT_GT(k, 10) << "the sweep did reach into the run";
      break;
    }
  }
}

const char kReports[] =
    "PACKETDIR pkt\nANNOUNCETEXT ann.txt\nANNTEMPLATE files.tpl\n[ANNOUNCE]\n"
    "ALL 2:5020/1 2:5020/1 PW * files.tpl\nAGAIN 2:5020/1 2:5020/1 PW A files.tpl\n";

void ExpectEachOnce(TossNode& n) {
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
      [](TossNode& n) {
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
      [](TossNode& n) {
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
    n.s.program = OLVIX_FAULTY_BINARY;
    RunResult full = n.s.Run({"TOSS"}, {{"OLVIX_FAULT", std::string("enospc:1:") + where}});
    n.s.program.clear();
    EXPECT_EQ(1, full.status) << full.output;
    EXPECT_TRUE(Holds(full.Plain(), "No space left on device"));
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
