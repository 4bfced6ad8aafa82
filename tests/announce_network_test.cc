// Every kind of packet the announcements write, tossed by crashmail into a
// *.msg echomail area: the stored messages carry the names, the subject and
// every line as written.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "announce/announce.h"
#include "config/records.h"
#include "ftn_network.h"
#include "manager/letter.h"
#include "test_context.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

using LineList = std::vector<std::string>;

// The lines of a stored message's text (up to its NUL) that are not kludges.
LineList TextLines(const std::string& text) {
  LineList out;
  for (const std::string& line : Lines(text.substr(0, text.find('\0')), "\r"))
    if (line.empty() || line[0] != '\x01') out.push_back(line);
  return out;
}

TEST(AnnounceCrashmail, TossedIntoAnEchomailArea) {
  std::string crashmail = ftnnet::FindProgram("crashmail");
  if (crashmail.empty()) GTEST_SKIP() << "crashmail is not installed (.ci/run installs it)";
  TossNode n;
  n.settings =
      "PACKETDIR pkt\nSTATION Test Station\nANNOUNCESPLIT 4\n[ANNOUNCE]\n"
      "NEWFILES 2:5020/1 2:5020/1.1 PKTPW * files.tpl newecho.tpl delecho.tpl\n";
  n.s.Write("files.tpl", "New files at @STATION\n>---<\nArea @AREA\n>***<\n@F @D\n<--->\nEnd\n");
  n.s.Write("newecho.tpl", "New fileecho @A at @STATION\nby @F: @D\n");
  n.s.Write("delecho.tpl", "Fileecho @A is gone (@D)\nuplink [@@@@@@@@@F]\n");
  for (const char* name : {"A.ZIP", "B.ZIP", "C.ZIP"}) {
    n.AddFile(Lower(name), name);
    Ticket t;
    t.file = name;
    t.extra = {std::string("Desc First of ") + name, "LDesc second line"};
    n.AddTic(Lower(name) + ".tic", t);
  }
  RunResult r = n.Toss();
  ASSERT_EQ(0, r.status) << r.output;

  // The fileecho reports, as the automatic creation and the manager post them.
  TestContext t;
  RunContext& ctx = t.ctx;
  ctx.cfg.packet_dir = n.s.PathOf("pkt/");
  ctx.cfg.origin = "Test node";
  ctx.cfg.station = "Test Station";
  AnnounceDefinition def;
  def.echo_tag = "NEWFILES";
  def.address1 = ParseAddress("2:5020/1");
  def.address2 = ParseAddress("2:5020/1.1");
  def.password = "PKTPW";
  def.groups = "*";
  def.new_echo_template = n.s.PathOf("newecho.tpl");
  def.deleted_echo_template = n.s.PathOf("delecho.tpl");
  LinkRecord* uplink = ctx.links.Add(LinkRecord{});
  uplink->address = ParseAddress("2:5020/100");
  AreaRecord area;
  area.tag = "NEW.ECHO";
  area.group = "A";
  area.description = "Old description";
  area.subscribers.push_back({uplink, kModeFull});
  const AreaRecord* added = ctx.areas.Add(std::move(area));
  NewEchoReport(ctx, "new.echo", ParseAddress("2:5020/2"), "Brand new", def);
  DeleteEchoReport(ctx, *added, def);
  EXPECT_TRUE(Holds(t.Output(), "# Announcing new fileecho NEW.ECHO in NEWFILES\n"));

  ftnnet::CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(ftnnet::MakeCrashmailSetup(n.s.PathOf("cm"), "2:5020/1", {}, "", "", &cm, &error))
      << error;
  std::string area_dir = n.s.PathOf("cm/newfiles");
  ASSERT_TRUE(ftnnet::MakeDirs(area_dir));
  ASSERT_TRUE(ftnnet::WriteFile(cm.config, ftnnet::CrashmailConfigText(cm) +
                                               "NODE 2:5020/1.1 \"\" \"PKTPW\"\nAREA \"NEWFILES\" "
                                               "2:5020/1.0 MSG \"" +
                                               area_dir + "\"\nEXPORT 2:5020/1.1\n"));
  std::vector<std::string> packets = ftnnet::ListNames(n.s.PathOf("pkt"));
  ASSERT_EQ(3u, packets.size());
  for (const std::string& p : packets)
    ASSERT_TRUE(ftnnet::WriteFile(ftnnet::Join(cm.inbound, p), n.s.Read("pkt/" + p)));
  ftnnet::RunResult toss = ftnnet::RunCrashmail(crashmail, cm, {"TOSS"});
  ASSERT_TRUE(toss.ok()) << toss.output;
  EXPECT_TRUE(Holds(toss.output, "Area NEWFILES -- 5 messages")) << "none went to BAD";

  std::map<std::string, std::vector<LineList>> by_subject;
  for (int number = 2; number <= 6; ++number) {
    std::string data = n.s.Read(area_dir + "/" + std::to_string(number) + ".msg");
    ftnnet::StoredMessage m;
    ASSERT_TRUE(ftnnet::DecodeStoredMessage(data, &m)) << number;
    EXPECT_EQ("Olvix", m.from_name);
    EXPECT_EQ("All", m.to_name);
    by_subject[m.subject].push_back(TextLines(m.text));
  }
  const LineList tail = {"", LetterTearLine(), " * Origin: Test node (2:5020/1)"};
  auto with_tail = [&tail](LineList body) {
    body.insert(body.end(), tail.begin(), tail.end());
    return body;
  };
  const std::vector<LineList> parts = by_subject["New file(s) report"];
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ(with_tail({"New files at Test Station", "Area FILES.A", "A.ZIP First of A.ZIP",
                       "   second line", "", " *** Continued on next page ***"}),
            parts[0]);
  EXPECT_EQ(with_tail({"", " *** Continued from previous page ***", " *** Part 2",
                       "B.ZIP First of B.ZIP", "   second line", "C.ZIP First of C.ZIP",
                       "   second line", "", " *** Continued on next page ***"}),
            parts[1]);
  EXPECT_EQ(with_tail({"", " *** Continued from previous page ***", " *** Part 3", "End"}),
            parts[2]);
  EXPECT_EQ(std::vector<LineList>{with_tail(
                {"New fileecho NEW.ECHO at Test Station", "by 2:5020/2: Brand new"})},
            by_subject["New fileecho report"]);
  EXPECT_EQ(std::vector<LineList>{with_tail(
                {"Fileecho NEW.ECHO is gone (Old description)", "uplink [2:5020/100]"})},
            by_subject["Delete fileecho report"]);
}

}  // namespace
}  // namespace olvix::test
