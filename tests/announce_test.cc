// Announcements through the built program: the toss posts a packet per
// [ANNOUNCE] definition and the text report; the delayed announce stores
// tickets and ANNOUNCE posts them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ftn_network.h"
#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1\nDESC Files of A\nLINKS 2:5020/2\n\n"
    "AREA FILES.B files/b B 0 0 2:5020/1\nLINKS 2:5020/2\n\n"
    "AREA FILES.C files/c C 0 0 2:5020/1\nLINKS 2:5020/2\n";
const char kLinks[] = "LINK 2:5020/2 ABC SECRET 10 No Hold 2:5020/1 Active\n";
const char kTemplate[] =
    "New files at @STATION\n>---<\n@AREA: @DESC\n>***<\n@F @S @D\n<--->\n@FNUMB\n";

// A node whose inbound holds one file for each of FILES.A, B and C.
void AnnounceNode(TossNode& n, const std::string& settings) {
  n.links = kLinks;
  n.areas = kAreas;
  n.settings = "STATION Test Station\n" + settings;
  n.s.Write("files.tpl", kTemplate);
  for (char a : std::string("ABC"))
    n.AddPair(Format("%c.tic", LowerChar(a)),
              Ticket()
                  .Area(Format("FILES.%c", a))
                  .File(Format("%c.ZIP", a))
                  .Extra({Format("Desc File %c", a)}),
              std::string(100, a));
}

std::string Body(const ftnnet::PackedMessage& m) {
  std::string out;
  for (const std::string& line : m.BodyLines()) out += line + "\n";
  return out;
}

TEST(AnnounceToss, EveryDefinitionGetsItsFileechoesAndTheTextReportGrows) {
  TossNode n;
  AnnounceNode(
      n,
      "PACKETDIR pkt\nECHOMAILFLAG flags/echo.now\nANNOUNCETEXT ann.txt\nANNTEMPLATE files.tpl\n"
      "[ANNOUNCE]\nAB.FILES 2:5020/1 2:5020/1.1 PASSWORD AB files.tpl\n"
      "ALL.FILES 2:5020/1.1 2:5020/1.1 x * files.tpl\nMISSING 2:5020/1 2:5020/1 x * nofile.tpl\n");
  RunResult r = n.Toss();
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Creating announce for echo AB.FILES\n"));
  EXPECT_TRUE(n.s.Exists("flags/echo.now"));
  EXPECT_TRUE(Holds(r.Plain(), "Olvix was not able to open file " + n.s.PathOf("nofile.tpl")))
      << "a missing template only skips its report";
  std::vector<ftnnet::Packet> packets = Packets(n, "pkt");
  ASSERT_EQ(2u, packets.size());
  if (packets[0].messages.at(0).lines.at(0) != "AREA:AB.FILES") std::swap(packets[0], packets[1]);
  const ftnnet::Packet& ab = packets[0];
  EXPECT_EQ("PASSWORD", ab.header.password);
  EXPECT_EQ("2:5020/1.1", FormatAddress(ab.header.origin));
  ASSERT_EQ(1u, ab.messages.size());
  const ftnnet::PackedMessage& m = ab.messages[0];
  EXPECT_EQ("Olvix", m.from_name);
  EXPECT_EQ("All", m.to_name);
  EXPECT_EQ("New file(s) report", m.subject);
  EXPECT_EQ(0x0100, m.attributes);
  const std::string tail = "\n--- Olvix 1.01.08g-" + std::string(platform::PlatformName()) +
                           "\n * Origin: Test node (2:5020/1)\nSEEN-BY: 5020/1\n";
  EXPECT_EQ(
      "AREA:AB.FILES\nNew files at Test Station\nFILES.A: Files of A\nA.ZIP 100 File A\n"
      "FILES.B:      \nB.ZIP 100 File B\n2\n" +
          tail,
      Body(m));
  EXPECT_EQ(
      "AREA:ALL.FILES\nNew files at Test Station\nFILES.A: Files of A\nA.ZIP 100 File A\n"
      "FILES.B:      \nB.ZIP 100 File B\nFILES.C:      \nC.ZIP 100 File C\n3\n\n"
      "--- Olvix 1.01.08g-" +
          std::string(platform::PlatformName()) + "\n * Origin: Test node (2:5020/1.1)\n",
      Body(packets[1].messages.at(0)))
      << "a point origin has no SEEN-BY";
  const std::string text = n.s.Read("ann.txt");
  EXPECT_EQ(0u, text.find("New files at Test Station\nFILES.A: Files of A\n")) << text;

  // The next toss appends its report to the text.
  n.AddPair("d.tic", Ticket().File("D.ZIP"), "d");
  ASSERT_EQ(0, n.Toss().status);
  EXPECT_EQ(text + "New files at Test Station\nFILES.A: Files of A\nD.ZIP 1   \n1\n",
            n.s.Read("ann.txt"));
}

TEST(AnnounceDelayed, StoredUntilEnoughAndPostedWithU) {
  TossNode n;
  AnnounceNode(n,
               "DEBUG AZ\nPACKETDIR pkt\nANNOUNCEPATH delayed\nANNOUNCEMINCOUNT 5\n"
               "[ANNOUNCE]\nALL.FILES 2:5020/1 2:5020/1 x * files.tpl\n");
  ASSERT_EQ(0, n.Toss().status);
  EXPECT_EQ("", n.Names("pkt")) << "the toss posts nothing";
  std::vector<std::string> stored = ftnnet::ListNames(n.s.PathOf("delayed"));
  ASSERT_EQ(3u, stored.size());
  std::string all;
  for (const std::string& name : stored) all += n.s.Read("delayed/" + name);
  EXPECT_TRUE(Holds(all,
                    "From 2:5020/2\r\nArea FILES.B\r\nFile B.ZIP\r\nOrigin 2:5020/2\r\n"
                    "Size 100\r\nCrc "));
  EXPECT_TRUE(Holds(all, "\r\nDesc File B\r\n"));
  // A stored ticket of a fileecho that no longer exists.
  n.s.Write("delayed/olgone01.tic", "From 2:5020/2\r\nArea GONE\r\nFile G.ZIP\r\nSize 5000\r\n");

  RunResult r = n.s.Run({"ANNOUNCE"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "ticnum: 4   ticfsize: 5 kbs\n"));
  EXPECT_TRUE(Holds(r.Plain(), "Announce ignored: too few files or filesizes\n"));
  EXPECT_EQ(4u, ftnnet::ListNames(n.s.PathOf("delayed")).size());
  EXPECT_EQ("", n.Names("pkt"));

  r = n.s.Run({"announce", "-u"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "\"-U\" - ignoring AnnMin*\n"));
  EXPECT_EQ("olgone01.tic", n.Names("delayed")) << "never announced, never deleted";
  std::vector<ftnnet::Packet> packets = Packets(n, "pkt");
  ASSERT_EQ(1u, packets.size());
  EXPECT_TRUE(Holds(Body(packets[0].messages.at(0)),
                    "FILES.A: Files of A\nA.ZIP 100 File A\nFILES.B:      \nB.ZIP 100 File B\n"
                    "FILES.C:      \nC.ZIP 100 File C\n3\n"));
}

}  // namespace
}  // namespace olvix::test
