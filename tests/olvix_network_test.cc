// End-to-end scenarios: Olvix tosses at node A, binkd carries what the toss
// wrote to node B over loopback, Olvix tosses at B; crashmail exports the
// attach letters of the AMA style. Each scenario is skipped while the
// command it needs is not built, or binkd or crashmail is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/records.h"
#include "ftn_network.h"
#include "manager/letter.h"
#include "run/commands.h"
#include "run/context.h"
#include "util/text.h"

namespace olvix::ftnnet {
namespace {

using Names = std::vector<std::string>;

bool CommandBuilt(const std::string& name) {
  for (const CommandEntry& c : Commands()) {
    if (name == c.name) return c.run != nullptr;
  }
  return false;
}

std::string Contents(const std::string& path) {
  std::string data;
  if (!ReadFile(path, &data)) return "<unreadable " + path + ">";
  return data;
}

std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = 0x9E3779B9u ^ seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1664525u + 1013904223u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

// The entry of `dir` named `name` without regard to case; "" when none.
// Olvix may write outbound names in either case; binkd finds both.
std::string FindNoCase(const std::string& dir, const std::string& name) {
  for (const std::string& n : ListNames(dir)) {
    if (EqualsNoCase(n, name)) return Join(dir, n);
  }
  return "";
}

// Lines of a text file without their CR LF or LF ends.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

constexpr char kArea[] = "FILES.TEST";
constexpr char kThird[] = "2:5020/3";  // the system where the file comes from

class OlvixNetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!CommandBuilt("TOSS")) GTEST_SKIP() << "olvix TOSS is not built yet";
    binkd_ = FindProgram("binkd");
    if (binkd_.empty()) GTEST_SKIP() << "binkd is not installed (.ci/run installs it)";
    dir_ = MakeTempDir("olvix-e2e-");
    ASSERT_FALSE(dir_.empty());
    net_ = std::make_unique<BinkdNetwork>(binkd_, dir_);
  }
  void TearDown() override {
    net_.reset();  // stops the binkd servers first
    if (dir_.empty()) return;
    if (HasFailure()) {
      std::printf("kept %s for inspection\n", dir_.c_str());
    } else {
      RemoveTree(dir_);
    }
  }

  // Nodes A and B (B a node or a point of A), the fileecho FILES.TEST at
  // both, B subscribed at A, A's feed the third system.
  void BuildNetwork(const std::string& a_address, const std::string& b_address,
                    const std::string& b_flavour, const std::string& style) {
    bool b_is_point = ParseAddress(b_address).point != 0;
    a_ = net_->AddNode("a", a_address, /*listens=*/b_is_point);
    b_ = net_->AddNode("b", b_address, /*listens=*/!b_is_point);
    net_->Link(a_, b_, "SessionAB");
    std::string error;
    ASSERT_TRUE(net_->WriteConfigs(&error)) << error;

    oa_ = MakeOlvixNode(*a_, style);
    ob_ = MakeOlvixNode(*b_, "BINK");
    auto link = [](const std::string& address, const std::string& password,
                   const std::string& flavour, const std::string& aka) {
      OlvixLink l;
      l.address = address;
      l.password = password;
      l.flavour = flavour;
      l.aka = aka;
      return l;
    };
    auto area = [](const std::string& dir, const std::string& address,
                   std::vector<std::string> links) {
      OlvixArea a;
      a.tag = kArea;
      a.dir = dir;
      a.address = address;
      a.desc = "Test files";
      a.links = std::move(links);
      return a;
    };
    OlvixLink third = link(kThird, "PWC", "Hold", a_address);
    OlvixLink to_b = link(b_address, "PWAB", b_flavour, a_address);
    OlvixLink to_a = link(a_address, "PWAB", "Normal", b_address);
    OlvixArea area_a = area(Join(a_->root, "files/test"), a_address, {kThird, b_address});
    OlvixArea area_b = area(Join(b_->root, "files/test"), b_address, {a_address});
    ASSERT_TRUE(WriteOlvixNode(oa_, {third, to_b}, {area_a}, &error)) << error;
    ASSERT_TRUE(WriteOlvixNode(ob_, {to_a}, {area_b}, &error)) << error;
  }

  // The third system's file and ticket in A's inbound.
  void DropIncoming() {
    data_ = Pattern(50000, 7);
    ASSERT_TRUE(WriteFile(Join(oa_.inbound, "report.zip"), data_));
    TicketSpec t;
    t.from = t.origin = kThird;
    t.to = a_->address;
    t.area = kArea;
    t.file = "report.zip";
    t.password = "PWC";
    t.desc = "Monthly report";
    t.size = static_cast<uint32_t>(data_.size());
    t.crc = ContentCrc32(data_);
    t.path = {std::string(kThird) + " 1796760000 Tue Dec 08 2026 12:00:00 UTC+0000"};
    t.seen_by = {kThird};
    ASSERT_TRUE(WriteFile(Join(oa_.inbound, "ct000001.tic"), TicketText(t)));
  }

  void Toss(const OlvixNode& node) {
    RunResult r = RunOlvix(OLVIX_BINARY, node, {"TOSS"});
    ASSERT_TRUE(r.ok()) << r.output;
  }

  // B's toss accepted the ticket A wrote and placed the file with its
  // description; nothing was rejected on either side.
  void ExpectArrivedAtB() {
    Toss(ob_);
    std::string placed = Join(b_->root, "files/test/report.zip");
    EXPECT_TRUE(Contents(placed) == data_) << "report.zip is missing or changed at B";
    EXPECT_NE(std::string::npos,
              Contents(Join(b_->root, "files/test/files.bbs")).find("Monthly report"));
    Names left = ListNames(ob_.inbound);
    std::erase_if(left, [](const std::string& n) { return n.ends_with(".pkt"); });
    EXPECT_EQ(Names{}, left) << "B's toss left files in its inbound";
    EXPECT_EQ(Names{}, ListNames(ob_.bad)) << Contents(ob_.log);
    for (const OlvixNode* n : {&oa_, &ob_}) {
      EXPECT_EQ(std::string::npos, Contents(n->log).find("contents invalid information"))
          << Contents(n->log);
    }
  }

  std::string binkd_, dir_;
  std::unique_ptr<BinkdNetwork> net_;
  BinkdNode* a_ = nullptr;
  BinkdNode* b_ = nullptr;
  OlvixNode oa_, ob_;
  std::string data_;
};

TEST_F(OlvixNetworkTest, TwoNodesOneFileecho) {
  ASSERT_NO_FATAL_FAILURE(BuildNetwork("2:5020/1", "2:5020/2", "Normal", "BINK"));
  ASSERT_NO_FATAL_FAILURE(DropIncoming());
  ASSERT_NO_FATAL_FAILURE(Toss(oa_));

  EXPECT_TRUE(Contents(Join(a_->root, "files/test/report.zip")) == data_);
  std::string flow = FindNoCase(a_->outbound, "139c0002.flo");
  ASSERT_FALSE(flow.empty()) << "no flow file for B in " << a_->outbound;
  std::vector<std::string> lines = Lines(Contents(flow));
  ASSERT_EQ(2u, lines.size()) << Contents(flow);
  EXPECT_TRUE(PathExists(lines[0])) << "binkd would drop " << lines[0];
  ASSERT_EQ('^', lines[1][0]) << "the ticket goes with ^";
  std::string ticket = lines[1].substr(1);
  EXPECT_TRUE(PathExists(ticket)) << "binkd would drop " << ticket;

  std::string error;
  ASSERT_TRUE(net_->StartServer(b_, &error)) << error;
  RunResult r = net_->Poll(a_, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_FALSE(PathExists(flow));
  EXPECT_FALSE(PathExists(ticket)) << "the ^ ticket must be gone once sent";
  ASSERT_NO_FATAL_FAILURE(ExpectArrivedAtB());
}

// B is a hold point of A whose node number has hex letters: binkd does not
// call it, the point polls and gets the file.
TEST_F(OlvixNetworkTest, HoldPointPollsForTheFile) {
  ASSERT_NO_FATAL_FAILURE(BuildNetwork("2:5020/100", "2:5020/100.1", "Hold", "BINK"));
  ASSERT_NO_FATAL_FAILURE(DropIncoming());
  ASSERT_NO_FATAL_FAILURE(Toss(oa_));

  // binkd looks for the point directory in lower case only.
  std::string point_dir = Join(a_->outbound, "139c0064.pnt");
  std::string flow = FindNoCase(point_dir, "00000001.hlo");
  ASSERT_FALSE(flow.empty()) << "no hold flow file in " << point_dir;

  RunResult r = net_->Poll(a_, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_TRUE(PathExists(flow)) << "binkd called a hold point";

  std::string error;
  ASSERT_TRUE(net_->StartServer(a_, &error)) << error;
  r = net_->Poll(b_, a_->address);
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(flow); }, 10000)) << "flow file still there";
  ASSERT_NO_FATAL_FAILURE(ExpectArrivedAtB());
}

// While binkd holds B's busy flag the toss writes the delayed flow file;
// the next run moves its lines into the flow file, and binkd delivers.
TEST_F(OlvixNetworkTest, LockedFlowFileWaitsInTheDelayedFile) {
  ASSERT_NO_FATAL_FAILURE(BuildNetwork("2:5020/1", "2:5020/2", "Normal", "BINK"));
  ASSERT_NO_FATAL_FAILURE(DropIncoming());
  std::string bsy = Join(a_->outbound, "139c0002.bsy");
  ASSERT_TRUE(WriteFile(bsy, ""));
  ASSERT_NO_FATAL_FAILURE(Toss(oa_));

  EXPECT_EQ("", FindNoCase(a_->outbound, "139c0002.flo")) << "flow file written while busy";
  std::string olx = FindNoCase(a_->outbound, "139c0002.olx");
  ASSERT_FALSE(olx.empty()) << "no delayed flow file";
  std::vector<std::string> waiting = Lines(Contents(olx));
  ASSERT_EQ(2u, waiting.size());

  ASSERT_EQ(0, std::remove(bsy.c_str()));
  ASSERT_NO_FATAL_FAILURE(Toss(oa_));  // start-up retries the delayed attaches
  EXPECT_EQ("", FindNoCase(a_->outbound, "139c0002.olx"));
  std::string flow = FindNoCase(a_->outbound, "139c0002.flo");
  ASSERT_FALSE(flow.empty());
  EXPECT_EQ(waiting, Lines(Contents(flow)));

  std::string error;
  ASSERT_TRUE(net_->StartServer(b_, &error)) << error;
  RunResult r = net_->Poll(a_, "");
  ASSERT_TRUE(r.ok()) << r.output;
  ASSERT_NO_FATAL_FAILURE(ExpectArrivedAtB());
}

// ATTACHSTYLE AMA: crashmail exports the attach letters from OUTMAIL into
// A's outbound, binkd carries file, ticket and packet.
TEST_F(OlvixNetworkTest, AttachLettersGoThroughCrashmail) {
  std::string crashmail = FindProgram("crashmail");
  if (crashmail.empty()) GTEST_SKIP() << "crashmail is not installed (.ci/run installs it)";
  ASSERT_NO_FATAL_FAILURE(BuildNetwork("2:5020/1", "2:5020/2", "Normal", "AMA"));
  ASSERT_NO_FATAL_FAILURE(DropIncoming());
  ASSERT_NO_FATAL_FAILURE(Toss(oa_));

  Names letters = ListNames(oa_.outmail);
  ASSERT_EQ(2u, letters.size()) << "one letter for the file, one for the ticket";
  CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(MakeCrashmailSetup(Join(a_->root, "crashmail"), a_->address,
                                 {{"2:5020/2.0", "2:5020/2.0"}}, oa_.outmail, a_->outbound, &cm,
                                 &error))
      << error;
  RunResult r = RunCrashmail(crashmail, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("2 messages exported")) << r.output;

  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(a_->outbound, "139c0002.dut")), &pkt, &error)) << error;
  ASSERT_EQ(2u, pkt.messages.size());
  Names subjects;
  for (const PackedMessage& m : pkt.messages) {
    EXPECT_EQ("2:5020/2", FormatAddress(m.destination));
    EXPECT_EQ("2:5020/1", FormatAddress(m.origin));
    EXPECT_EQ(kAttrFileAttach, m.attributes & kAttrFileAttach);
    subjects.push_back(m.subject);
  }
  EXPECT_NE(subjects.end(), std::find(subjects.begin(), subjects.end(), "report.zip"));

  ASSERT_TRUE(net_->StartServer(b_, &error)) << error;
  r = net_->Poll(a_, "");
  ASSERT_TRUE(r.ok()) << r.output;
  ASSERT_NO_FATAL_FAILURE(ExpectArrivedAtB());
}

// A letter written by SendLetter, as the manager writes its answers,
// exported by crashmail: names, subject, addresses, kludges and every text
// line arrive in the packet as written.
TEST(OlvixLetters, LettersAreReadByOthersUnchanged) {
  std::string crashmail = FindProgram("crashmail");
  if (crashmail.empty()) GTEST_SKIP() << "crashmail is not installed (.ci/run installs it)";
  std::string dir = MakeTempDir("olvix-letter-");
  ASSERT_FALSE(dir.empty());
  struct Cleanup {
    std::string dir;
    ~Cleanup() {
      if (::testing::Test::HasFailure())
        std::printf("kept %s for inspection\n", dir.c_str());
      else
        RemoveTree(dir);
    }
  } cleanup{dir};

  CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(MakeCrashmailSetup(Join(dir, "crashmail"), "2:5020/1",
                                 {{"2:5020/100.*", "2:5020/100.0"}}, Join(dir, "outmail"),
                                 Join(dir, "outbound"), &cm, &error))
      << error;

  RunContext ctx;
  ctx.home = dir + "/";
  ctx.cfg.addresses = {ParseAddress("2:5020/1")};
  ctx.cfg.outmail = cm.netmail + "/";
  ctx.cfg.origin = "Olvix test node";
  LinkRecord link;
  link.address = ParseAddress("2:5020/100.1");
  link.aka = ParseAddress("2:5020/1");
  link.flavour = "N";
  link.active = true;
  // Blank and indented lines, 8-bit text (CP866), a tab, CR LF and LF ends.
  const Names text = {"Dear sysop,",
                      "",
                      "   FILES.TEST     Test files",
                      "\x8f\xe0\xa8\xa2\xa5\xe2, \xac\xa8\xe0!",
                      "tab\there; 100% done",
                      "",
                      "Olvix"};
  std::string body;
  for (size_t i = 0; i < text.size(); ++i) body += text[i] + (i % 2 ? "\r\n" : "\n");
  std::string text_path = Join(dir, "answer.txt");
  ASSERT_TRUE(WriteFile(text_path, body));
  SendLetter(ctx, "Olvix Robot", "Ivan Petrov", "Status of FILES.TEST", link, text_path,
             kLetterAttributes);
  EXPECT_FALSE(PathExists(text_path)) << "the letter consumes its text file";
  ASSERT_EQ(Names{"2.msg"}, ListNames(cm.netmail));
  NetmailLetter written;
  ASSERT_EQ(0, ReadLetter(ctx, Join(cm.netmail, "2.msg"), &written));
  ASSERT_FALSE(written.lines.empty());
  const std::string msgid = written.lines[0];

  RunResult r = RunCrashmail(crashmail, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("1 message exported")) << r.output;
  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0064.out")), &pkt, &error)) << error;
  ASSERT_EQ(1u, pkt.messages.size());
  const PackedMessage& m = pkt.messages[0];
  EXPECT_EQ("Olvix Robot", m.from_name);
  EXPECT_EQ("Ivan Petrov", m.to_name);
  EXPECT_EQ("Status of FILES.TEST", m.subject);
  EXPECT_EQ("2:5020/1", FormatAddress(m.origin));
  EXPECT_EQ("2:5020/100.1", FormatAddress(m.destination));
  EXPECT_EQ(kAttrPrivate, m.attributes & (kAttrPrivate | kAttrCrash | kAttrHold));
  std::string value;
  EXPECT_TRUE(m.Kludge("MSGID", &value));
  EXPECT_EQ(msgid, "\x01MSGID: " + value);
  EXPECT_TRUE(m.Kludge("INTL", &value));
  EXPECT_EQ("2:5020/100 2:5020/1", value);
  EXPECT_TRUE(m.Kludge("TOPT", &value));
  EXPECT_EQ("1", value);
  EXPECT_FALSE(m.Kludge("FMPT", &value));
  EXPECT_TRUE(m.Kludge("PID", &value));
  EXPECT_EQ(LetterTearLine().substr(4), value);
  Names expected = text;
  expected.push_back("");
  expected.push_back(LetterTearLine());
  expected.push_back(" * Origin: Olvix test node (2:5020/1)");
  EXPECT_EQ(expected, m.BodyLines());
}

}  // namespace
}  // namespace olvix::ftnnet
