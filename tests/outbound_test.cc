// TOSS from the inbound to the outbound, driven through the built program:
// what each of the six outbound styles leaves for the mailer, which
// subscribers receive a file, attaches delayed by a busy flow file, and the
// numbering of file-attach letters.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ftn_network.h"
#include "manager/letter.h"
#include "platform/platform.h"
#include "run/context.h"
#include "run/version.h"
#include "scenario.h"
#include "util/text.h"

namespace olvix::test {
namespace {

using Names = std::vector<std::string>;

constexpr char kFeed[] = "2:5020/3";  // the link the file comes from

const char kData[] = "PK\x03\x04 the archive of this month";

// A node 2:5020/1 with the fileecho FILES.TEST fed by 2:5020/3.
class Node {
 public:
  // `links` are LINK lines after the feed's; `subscribers` follow the feed
  // in the LINKS line of the fileecho.
  Node(const std::string& style, const std::string& links, const std::string& subscribers,
       const std::string& extra_settings = "") {
    s.Write("olvix.ini",
            "ADDRESS 2:5020/1\n"
            "ORIGIN Test node\n"
            "ROBOTNAMES Olvix\n"
            "LOGNAME olvix.log\n"
            "BADPWD badpwd.tpl\n"
            "INBOUND in\n"
            "OUTBOUND out\n"
            "OUTMAIL outmail\n"
            "NETMAIL netmail\n"
            "OUTTICS outtics\n"
            "BADPATH bad\n"
            "NEWECHOPATH new\n"
            "ATTACHSTYLE " +
                style + "\n" + extra_settings);
    s.Write("olxlinks.ini",
            std::string("LINK ") + kFeed + " A PWC 10 No Hold 2:5020/1 Active\n" + links);
    s.Write("olxareas.ini", "AREA FILES.TEST " + s.PathOf("files/test") +
                                "/ A 0 0 2:5020/1\n"
                                "DESC Test files\n"
                                "LINKS " +
                                kFeed + " " + subscribers + "\n");
    s.Write("badpwd.tpl", "Your password is wrong.\n");
    for (const char* d : {"in", "out", "outmail", "netmail", "outtics", "bad", "new", "files/test"})
      s.MakeDir(d);
  }

  // The feed's ticket for report.zip with the given SEEN-BY addresses.
  void DropIncoming(const std::vector<std::string>& seen_by = {kFeed}) {
    std::string data = kData;
    s.Write("in/report.zip", data);
    ftnnet::TicketSpec t;
    t.from = t.origin = kFeed;
    t.to = "2:5020/1";
    t.area = "FILES.TEST";
    t.file = "report.zip";
    t.password = "PWC";
    t.desc = "Monthly report";
    t.size = static_cast<uint32_t>(data.size());
    t.crc = ftnnet::ContentCrc32(data);
    t.path = {std::string(kFeed) + " 1796760000 Tue Dec 08 2026 12:00:00 UTC+0000"};
    t.seen_by = seen_by;
    s.Write("in/ct000001.tic", ftnnet::TicketText(t));
  }

  RunResult Toss() {
    RunResult r = s.Run({"TOSS"});
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(s.Read("files/test/report.zip"), kData) << r.output;
    return r;
  }

  // The placed file as the mailer must be given it.
  std::string Placed() const { return s.PathOf("files/test/report.zip"); }

  Scenario s;
};

Names List(const Scenario& s, const std::string& relative) {
  Names names;
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(s.PathOf(relative), "*", true, &entries);  // empty when missing
  for (const platform::DirEntry& e : entries) names.push_back(e.name);
  std::sort(names.begin(), names.end());
  return names;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

bool IsTicketName(const std::string& name) {
  if (name.size() != 12 || name.compare(0, 2, "ol") != 0 || name.compare(8, 4, ".tic") != 0)
    return false;
  return std::all_of(name.begin() + 2, name.begin() + 8, [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || c == '_';
  });
}

// The ticket named by the second line of a flow or list file that holds
// the file's line followed by the ticket's "^" line; "" when the text has
// another shape. `text` must then equal `file` LF "^" outtics/ticket LF.
std::string TicketOf(const Node& n, const std::string& text) {
  std::string prefix = n.Placed() + "\n^" + n.s.PathOf("outtics/");
  if (text.compare(0, prefix.size(), prefix) != 0) return "";
  std::string rest = text.substr(prefix.size());
  if (rest.size() != 13 || rest.back() != '\n') return "";
  rest.pop_back();
  return IsTicketName(rest) ? rest : "";
}

// Checks that `flow` (relative to the node) holds exactly the placed file
// and a "^" ticket line, and that the ticket exists and is addressed to
// `to`. Returns the ticket's name.
std::string ExpectFileThenTicket(const Node& n, const std::string& flow, const std::string& to) {
  std::string text = n.s.Read(flow);
  std::string ticket = TicketOf(n, text);
  EXPECT_NE(ticket, "") << flow << " holds:\n" << text;
  if (ticket.empty()) return "";
  std::string tic_text = n.s.Read("outtics/" + ticket);
  EXPECT_NE(tic_text.find("\r\nTo " + to + "\r\n"), std::string::npos) << tic_text;
  return ticket;
}

// The SeenBy lines of a ticket, in order.
Names SeenBy(const std::string& tic_text) {
  Names out;
  size_t pos = 0;
  while (pos < tic_text.size()) {
    size_t end = tic_text.find("\r\n", pos);
    if (end == std::string::npos) end = tic_text.size();
    std::string line = tic_text.substr(pos, end - pos);
    if (line.compare(0, 7, "SeenBy ") == 0) out.push_back(line.substr(7));
    pos = end + 2;
  }
  return out;
}

const char kFlowLinks[] =
    "LINK 2:5020/2 A PW2 10 No Normal 2:5020/1 Active\n"
    "LINK 3:100/1 A PW3 10 No Crash 2:5020/1 Active\n"
    "LINK 2:5020/100.1 A PW4 10 No Hold 2:5020/1 Active\n"
    "LINK 2:5020/4 A PW5 10 No Immediate 2:5020/1 Active\n"
    "LINK 2:5020/5 A PW6 10 No Direct 2:5020/1 Active\n"
    "LINK 2:5020/6 A PW7 10 No Xmodem 2:5020/1 Active\n";
const char kFlowSubscribers[] = "2:5020/2 3:100/1 2:5020/100.1 2:5020/4 2:5020/5 2:5020/6";

TEST(OutboundScenario, BinkFlowFilesForZonesPointsAndFlavours) {
  Node n("BINK", kFlowLinks, kFlowSubscribers);
  n.DropIncoming();
  RunResult r = n.Toss();

  // Lower-case names: zone and point directories as binkd builds them.
  EXPECT_EQ(List(n.s, ""),
            (Names{"bad", "badpwd.tpl", "files", "in", "netmail", "new", "olvix.ini", "olvix.log",
                   "olxareas.ini", "olxlinks.ini", "out", "out.003", "outmail", "outtics"}));
  EXPECT_EQ(List(n.s, "out"), (Names{"139c0002.flo", "139c0004.ilo", "139c0005.dlo", "139c0006.hlo",
                                     "139c0064.pnt"}));
  EXPECT_EQ(List(n.s, "out/139c0064.pnt"), (Names{"00000001.hlo"}));
  EXPECT_EQ(List(n.s, "out.003"), (Names{"00640001.clo"}));
  Names tickets = {
      ExpectFileThenTicket(n, "out/139c0002.flo", "2:5020/2"),
      ExpectFileThenTicket(n, "out.003/00640001.clo", "3:100/1"),
      ExpectFileThenTicket(n, "out/139c0064.pnt/00000001.hlo", "2:5020/100.1"),
      ExpectFileThenTicket(n, "out/139c0004.ilo", "2:5020/4"),
      ExpectFileThenTicket(n, "out/139c0005.dlo", "2:5020/5"),
      ExpectFileThenTicket(n, "out/139c0006.hlo", "2:5020/6"),
  };
  std::sort(tickets.begin(), tickets.end());
  EXPECT_EQ(List(n.s, "outtics"), tickets) << "one ticket per link, each attached";
  EXPECT_EQ(List(n.s, "in"), Names{});
  EXPECT_TRUE(r.Contains("Sending file REPORT.ZIP to 3:100/1")) << r.output;
}

TEST(OutboundScenario, LbsoListFiles) {
  Node n("LBSO", kFlowLinks, kFlowSubscribers);
  n.DropIncoming();
  n.Toss();

  EXPECT_EQ(List(n.s, "out"),
            (Names{"Fidonet.2.5020.100.1.Hold.List", "Fidonet.2.5020.2.0.Normal.List",
                   "Fidonet.2.5020.4.0.Immediate.List", "Fidonet.2.5020.5.0.Direct.List",
                   "Fidonet.2.5020.6.0.Hold.List", "Fidonet.3.100.1.0.Crash.List"}));
  ExpectFileThenTicket(n, "out/Fidonet.2.5020.2.0.Normal.List", "2:5020/2");
  ExpectFileThenTicket(n, "out/Fidonet.3.100.1.0.Crash.List", "3:100/1");
  ExpectFileThenTicket(n, "out/Fidonet.2.5020.100.1.Hold.List", "2:5020/100.1");
  ExpectFileThenTicket(n, "out/Fidonet.2.5020.6.0.Hold.List", "2:5020/6");
  EXPECT_EQ(List(n.s, "outtics").size(), 6u);
}

struct FileId {
  bool exists = false;
  ino_t inode = 0;
  nlink_t links = 0;
};

FileId Identify(const std::string& path) {
  FileId id;
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return id;
  id.exists = true;
  id.inode = st.st_ino;
  id.links = st.st_nlink;
  return id;
}

// The ticket in a filebox; "" when there is not exactly one.
std::string BoxTicket(const Node& n, const std::string& box) {
  std::string found;
  for (const std::string& name : List(n.s, "out/" + box)) {
    if (!IsTicketName(name)) continue;
    if (!found.empty()) return "";
    found = name;
  }
  return found;
}

// Two links, one of them a hold point; each box holds the file and its
// ticket, and the tickets are gone from OUTTICS.
void ExpectBoxes(const Node& n, const std::string& normal_box, const std::string& hold_box,
                 const std::string& file_name) {
  EXPECT_EQ(List(n.s, "out"), (Names{normal_box, hold_box}));
  for (const std::string& box : {normal_box, hold_box}) {
    std::string ticket = BoxTicket(n, box);
    EXPECT_EQ(List(n.s, "out/" + box), Sorted({ticket, file_name}));
    EXPECT_EQ(n.s.Read("out/" + box + "/" + file_name), kData);
    std::string tic = n.s.Read("out/" + box + "/" + ticket);
    EXPECT_NE(tic.find("\r\nFile REPORT.ZIP\r\n"), std::string::npos) << tic;
  }
  EXPECT_EQ(List(n.s, "outtics"), Names{}) << "tickets are moved into the boxes";
  EXPECT_EQ(List(n.s, "in"), Names{});
}

const char kBoxLinks[] =
    "LINK 2:5020/2 A PW2 10 No Normal 2:5020/1 Active\n"
    "LINK 2:5020/100.1 A PW4 10 No Hold 2:5020/1 Active\n";

TEST(OutboundScenario, FileboxesCopyWithoutHardLinks) {
  Node n("FILEBOXES", kBoxLinks, "2:5020/2 2:5020/100.1");
  n.DropIncoming();
  n.Toss();
  ExpectBoxes(n, "024SS002.00", "024SS034.01h", "report.zip");
  FileId placed = Identify(n.Placed());
  FileId a = Identify(n.s.PathOf("out/024SS002.00/report.zip"));
  FileId b = Identify(n.s.PathOf("out/024SS034.01h/report.zip"));
  ASSERT_TRUE(placed.exists && a.exists && b.exists);
  EXPECT_EQ(a.links, 1u);
  EXPECT_EQ(b.links, 1u);
  EXPECT_NE(a.inode, b.inode);
  EXPECT_NE(a.inode, placed.inode);
}

// With HARDLINKS the boxes get links of the received file instead of
// copies: both boxes name one inode, which outlives the inbound entry and
// is not the fileecho's own copy. Tickets are always copied.
TEST(OutboundScenario, FileboxesWithHardLinks) {
  Node n("FILEBOXES", kBoxLinks, "2:5020/2 2:5020/100.1", "HARDLINKS Yes\n");
  n.DropIncoming();
  n.Toss();
  ExpectBoxes(n, "024SS002.00", "024SS034.01h", "REPORT.ZIP");
  FileId placed = Identify(n.Placed());
  FileId a = Identify(n.s.PathOf("out/024SS002.00/REPORT.ZIP"));
  FileId b = Identify(n.s.PathOf("out/024SS034.01h/REPORT.ZIP"));
  ASSERT_TRUE(placed.exists && a.exists && b.exists);
  EXPECT_EQ(a.inode, b.inode);
  EXPECT_EQ(a.links, 2u);
  EXPECT_NE(a.inode, placed.inode);
  EXPECT_EQ(placed.links, 1u);
  for (std::string box : {"024SS002.00", "024SS034.01h"})
    EXPECT_EQ(Identify(n.s.PathOf("out/" + box + "/" + BoxTicket(n, box))).links, 1u);
}

TEST(OutboundScenario, LongFileboxes) {
  Node n("LONGFILEBOXES", kBoxLinks, "2:5020/2 2:5020/100.1");
  n.DropIncoming();
  n.Toss();
  ExpectBoxes(n, "2.5020.100.1.h", "2.5020.2.0", "report.zip");
}

TEST(OutboundScenario, BrakeFileboxesWithFlavourSuffixes) {
  Node n("BRAKEFILEBOXES",
         std::string(kBoxLinks) + "LINK 3:100/1 A PW3 10 No Crash 2:5020/1 Active\n" +
             "LINK 2:5020/4 A PW5 10 No Immediate 2:5020/1 Active\n" +
             "LINK 2:5020/5 A PW6 10 No Direct 2:5020/1 Active\n" +
             "LINK 2:5020/6 A PW7 10 No Xmodem 2:5020/1 Active\n",
         "2:5020/2 2:5020/100.1 3:100/1 2:5020/4 2:5020/5 2:5020/6", "HARDLINKS Yes\n");
  n.DropIncoming();
  n.Toss();
  Names boxes = {"Fidonet.2.5020.100.1.Hold",    "Fidonet.2.5020.2.0.Normal",
                 "Fidonet.2.5020.4.0.Immediate", "Fidonet.2.5020.5.0.Direct",
                 "Fidonet.2.5020.6.0.Hold",      "Fidonet.3.100.1.0.Crash"};
  EXPECT_EQ(List(n.s, "out"), boxes);
  FileId first = Identify(n.s.PathOf("out/" + boxes[0] + "/REPORT.ZIP"));
  EXPECT_EQ(first.links, boxes.size());
  for (const std::string& box : boxes) {
    EXPECT_EQ(List(n.s, "out/" + box), Sorted({"REPORT.ZIP", BoxTicket(n, box)}));
    EXPECT_EQ(Identify(n.s.PathOf("out/" + box + "/REPORT.ZIP")).inode, first.inode) << box;
  }
  EXPECT_EQ(List(n.s, "outtics"), Names{});
}

// --- File-attach letters -------------------------------------------------

struct Letter {
  MessageHeader header;
  std::string text;  // everything after the header
};

Letter ReadMessage(const Scenario& s, const std::string& relative) {
  Letter l;
  std::string bytes = s.Read(relative);
  EXPECT_TRUE(DecodeMessageHeader(bytes, &l.header)) << relative << " is too short";
  if (bytes.size() >= kMessageHeaderSize) l.text = bytes.substr(kMessageHeaderSize);
  return l;
}

// The kludge block of an attach letter; the MSGID serial is taken from
// `text` itself (it is checked for its form only).
std::string ExpectedKludges(const std::string& text, const std::string& topt,
                            const std::string& intl, const std::string& flags) {
  const std::string msgid = "\x01MSGID: 2:5020/1 ";
  if (text.compare(0, msgid.size(), msgid) != 0) return "<no MSGID first>";
  size_t cr = text.find('\r');
  std::string serial = text.substr(msgid.size(), cr - msgid.size());
  if (serial.empty() || serial.size() > 8 ||
      serial.find_first_not_of("0123456789ABCDEF") != std::string::npos || serial[0] == '0')
    return "<bad MSGID serial " + serial + ">";
  std::string k = msgid + serial + "\r";
  if (!topt.empty()) k += "\x01TOPT " + topt + "\r";
  k += "\x01INTL " + intl + "\r";
  if (!flags.empty())
    k += "\x01"
         "FLAGS: " +
         flags + "\r";
  k += std::string("\x01PID Olvix ") + kVersion + " (" + platform::PlatformName() + ")\r";
  return k;
}

void ExpectAttach(const Scenario& s, const std::string& name, const std::string& subject,
                  const FtnAddress& to, uint16_t attributes, const std::string& flags) {
  SCOPED_TRACE(name);
  Letter l = ReadMessage(s, "outmail/" + name);
  EXPECT_EQ(l.header.from_name, "Olvix");
  EXPECT_EQ(l.header.to_name, "Sysop");
  EXPECT_EQ(l.header.subject, subject);
  EXPECT_EQ(l.header.attributes, attributes);
  EXPECT_EQ(l.header.orig_node, 1);
  EXPECT_EQ(l.header.orig_net, 5020);
  EXPECT_EQ(l.header.orig_zone, 2);
  EXPECT_EQ(l.header.orig_point, 0);
  EXPECT_EQ(l.header.dest_zone, to.zone);
  EXPECT_EQ(l.header.dest_net, to.net);
  EXPECT_EQ(l.header.dest_node, to.node);
  EXPECT_EQ(l.header.dest_point, to.point);
  std::string intl = Format("%u:%u/%u 2:5020/1", to.zone, to.net, to.node);
  std::string topt = to.point ? std::to_string(to.point) : "";
  EXPECT_EQ(l.text, ExpectedKludges(l.text, topt, intl, flags)) << "the letter ends after PID";

  NetmailLetter read;
  RunContext ctx;
  ASSERT_EQ(ReadLetter(ctx, s.PathOf("outmail/" + name), &read), 0);
  EXPECT_EQ(read.destination, to);
  EXPECT_EQ(read.origin, ParseAddress("2:5020/1"));
  EXPECT_EQ(read.subject, subject);
}

// A normal node and a hold point with the direct modifier ("Yes" is hold,
// option D adds the modifier).
const char kAttachLinks[] =
    "LINK 2:5020/2 A PW2 10 No Normal 2:5020/1 Active\n"
    "LINK 2:5020/100.1 A PW4 10 No Yes 2:5020/1 Active D\n";

TEST(OutboundScenario, AmaAttachLettersNumberedAfterTheHighest) {
  Node n("AMA", kAttachLinks, "2:5020/2 2:5020/100.1");
  n.s.Write("outmail/1.msg", "one");
  n.s.Write("outmail/7.msg", "seven");
  n.s.Write("outmail/notes.txt", "99 balloons");
  n.DropIncoming();
  n.Toss();

  Names names = List(n.s, "outmail");
  EXPECT_EQ(names, (Names{"1.msg", "10.msg", "11.msg", "7.msg", "8.msg", "9.msg", "notes.txt"}));
  EXPECT_EQ(n.s.Read("outmail/7.msg"), "seven");
  Names tickets = List(n.s, "outtics");
  ASSERT_EQ(tickets.size(), 2u) << "the tickets stay for the mailer to send and kill";
  // Link order: the file, then its ticket, for each link.
  const uint16_t plain = 0x0191, hold = 0x0391;
  FtnAddress node = ParseAddress("2:5020/2"), point = ParseAddress("2:5020/100.1");
  ExpectAttach(n.s, "8.msg", n.Placed(), node, plain, "");
  ExpectAttach(n.s, "10.msg", n.Placed(), point, hold, "DIR");
  std::string to_node = ReadMessage(n.s, "outmail/9.msg").header.subject;
  std::string to_point = ReadMessage(n.s, "outmail/11.msg").header.subject;
  ExpectAttach(n.s, "9.msg", to_node, node, plain, "KFS");
  ExpectAttach(n.s, "11.msg", to_point, point, hold, "DIR KFS");
  for (const std::string& t : {to_node, to_point}) {
    EXPECT_EQ(t.compare(0, n.s.PathOf("outtics/").size(), n.s.PathOf("outtics/")), 0) << t;
    EXPECT_NE(std::find(tickets.begin(), tickets.end(), t.substr(t.rfind('/') + 1)), tickets.end())
        << t;
  }
  EXPECT_NE(n.s.Read(to_point.substr(n.s.dir().size())).find("\r\nTo 2:5020/100.1\r\n"),
            std::string::npos);
}

TEST(OutboundScenario, AmaFirstLetterInAnEmptyDirectoryIsTwo) {
  Node n("AMA", "LINK 2:5020/2 A PW2 10 No Crash 2:5020/1 Active\n", "2:5020/2");
  n.DropIncoming();
  n.Toss();
  EXPECT_EQ(List(n.s, "outmail"), (Names{"2.msg", "3.msg"}));
  // The crash flavour sets no attribute in this style.
  ExpectAttach(n.s, "2.msg", n.Placed(), ParseAddress("2:5020/2"), 0x0191, "");
}

// --- Receivers -----------------------------------------------------------

TEST(ReceiverScenario, OnlyTheLinksThatMayReceiveGetTheFileAndAllStandInEachTicket) {
  // A, B and C receive (C through a read-only subscription); the others
  // each meet one of the rules that keep a file back.
  Node n("BINK",
         "LINK 2:5020/10 A PWA 10 No Normal 2:5020/1 Active\n"    // A
         "LINK 2:5020/40 A PWD 10 No Normal 2:5020/1 Active\n"    // in SEEN-BY
         "LINK 2:5020/50 A PWE 10 No Normal 2:5020/1 Passive\n"   // passive
         "LINK 2:5020/60 A PWF 10 No Normal 2:5020/1 Active\n"    // write-only
         "LINK 2:5020/70 A PWG 10 No Normal 2:5020/1 Active W\n"  // option W
         "LINK 2:5020/20 A PWB 10 No Normal 2:5020/1 Active\n"    // B
         "LINK 2:5020/30 A PWC3 10 No Normal 2:5020/1 Active\n",  // C
         "2:5020/10 2:5020/40 2:5020/50 ~2:5020/60 2:5020/70 2:5020/20 !2:5020/30");
  // The sender is subscribed but not in the ticket's SEEN-BY.
  n.DropIncoming({"2:5020/40"});
  RunResult r = n.Toss();

  EXPECT_EQ(List(n.s, "out"), (Names{"139c000a.flo", "139c0014.flo", "139c001e.flo"})) << r.output;
  const Names expected_seen_by = {"2:5020/40", "2:5020/10", "2:5020/20", "2:5020/30", "2:5020/1"};
  for (const auto& [flow, to] : {std::pair<std::string, std::string>{"139c000a.flo", "2:5020/10"},
                                 {"139c0014.flo", "2:5020/20"},
                                 {"139c001e.flo", "2:5020/30"}}) {
    std::string ticket = ExpectFileThenTicket(n, "out/" + flow, to);
    if (ticket.empty()) continue;
    EXPECT_EQ(SeenBy(n.s.Read("outtics/" + ticket)), expected_seen_by) << to;
  }
  EXPECT_EQ(List(n.s, "outtics").size(), 3u);
  EXPECT_FALSE(r.Contains("to 2:5020/3\n")) << "the sender got its own file back";
}

TEST(ReceiverScenario, NoReceiversWritesNoTicket) {
  Node n("BINK", "LINK 2:5020/2 A PW2 10 No Normal 2:5020/1 Passive\n", "2:5020/2");
  n.DropIncoming();
  n.Toss();
  EXPECT_EQ(List(n.s, "out"), Names{});
  EXPECT_EQ(List(n.s, "outtics"), Names{});
  EXPECT_EQ(List(n.s, "in"), Names{});
}

// --- Delayed attaches ----------------------------------------------------

TEST(DelayedAttachScenario, BusyFlowFileWaitsUntilTheMailerIsDone) {
  Node n("BINK", "LINK 2:5020/2 A PW2 10 No Normal 2:5020/1 Active\n", "2:5020/2");
  n.s.Write("out/139c0002.bsy", "mailer\n");
  n.DropIncoming();
  RunResult r = n.Toss();

  EXPECT_EQ(List(n.s, "out"), (Names{"139c0002.bsy", "139c0002.olx"}));
  EXPECT_EQ(n.s.Read("out/139c0002.bsy"), "mailer\n") << "the mailer's flag is left alone";
  std::string waiting = n.s.Read("out/139c0002.olx");
  EXPECT_NE(TicketOf(n, waiting), "") << waiting;
  EXPECT_EQ(n.s.Read("delayed.att"), "2:5020/2\n");
  EXPECT_TRUE(
      r.Contains("File " + n.s.PathOf("out/139c0002.flo") + " cannot be opened. Attach delayed"))
      << r.output;

  // Still busy: the lines keep waiting, and so does the mark.
  r = n.s.Run({"2:5020/2"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.Contains("Trying to write delayed attach(es)")) << r.output;
  EXPECT_EQ(List(n.s, "out"), (Names{"139c0002.bsy", "139c0002.olx"}));
  EXPECT_EQ(n.s.Read("out/139c0002.olx"), waiting);
  EXPECT_EQ(n.s.Read("delayed.att"), "2:5020/2\n");

  // The session is over: any command moves the lines into the flow file.
  ASSERT_EQ(std::remove(n.s.PathOf("out/139c0002.bsy").c_str()), 0);
  r = n.s.Run({"2:5020/2"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(List(n.s, "out"), Names{"139c0002.flo"});
  EXPECT_EQ(n.s.Read("out/139c0002.flo"), waiting);
  EXPECT_FALSE(n.s.Exists("delayed.att"));

  // Nothing is left to do at the next start.
  r = n.s.Run({"2:5020/2"});
  EXPECT_FALSE(r.Contains("Trying to write delayed attach(es)")) << r.output;
  EXPECT_EQ(n.s.Read("out/139c0002.flo"), waiting);
}

TEST(DelayedAttachScenario, BusyListFileOfTheLongNameStyle) {
  Node n("LBSO", "LINK 2:5020/2 A PW2 10 No Crash 2:5020/1 Active\n", "2:5020/2");
  n.s.Write("out/Fidonet.2.5020.2.0.bsy", "");
  n.DropIncoming();
  n.Toss();
  EXPECT_EQ(List(n.s, "out"), (Names{"Fidonet.2.5020.2.0.bsy", "Fidonet.2.5020.2.0.olx"}));
  std::string waiting = n.s.Read("out/Fidonet.2.5020.2.0.olx");
  ASSERT_EQ(std::remove(n.s.PathOf("out/Fidonet.2.5020.2.0.bsy").c_str()), 0);
  EXPECT_EQ(n.s.Run({"FILES.TEST"}).status, 0);
  EXPECT_EQ(List(n.s, "out"), Names{"Fidonet.2.5020.2.0.Crash.List"});
  EXPECT_EQ(n.s.Read("out/Fidonet.2.5020.2.0.Crash.List"), waiting);
  EXPECT_NE(TicketOf(n, waiting), "");
}

}  // namespace
}  // namespace olvix::test
