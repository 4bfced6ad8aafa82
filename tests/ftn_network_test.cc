// Self-tests of the loopback FTN network harness: real binkd sessions
// between two nodes on 127.0.0.1 and real crashmail exports, driven by
// hand-written flow files and stored messages. They pin the behaviour of
// those programs that Olvix's outbound and letters must match (see
// ftn_network.h).
#include "ftn_network.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace olvix::ftnnet {
namespace {

using Names = std::vector<std::string>;

// Deterministic file contents of `size` bytes, all byte values included.
std::string Pattern(size_t size, unsigned seed) {
  std::string s(size, '\0');
  uint32_t x = 2463534242u ^ seed;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x & 0xFF);
  }
  return s;
}

std::string Contents(const std::string& path) {
  std::string data;
  if (!ReadFile(path, &data)) return "<unreadable " + path + ">";
  return data;
}

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = MakeTempDir("olvix-net-");
    ASSERT_FALSE(dir_.empty()) << "cannot create a temporary directory";
  }
  void TearDown() override {
    if (dir_.empty()) return;
    if (HasFailure()) {
      std::printf("kept %s for inspection\n", dir_.c_str());
    } else {
      RemoveTree(dir_);
    }
  }
  // A file below the test directory with the given contents.
  std::string MakeFile(const std::string& subdir, const std::string& name,
                       const std::string& data) {
    std::string d = Join(dir_, subdir);
    EXPECT_TRUE(MakeDirs(d));
    std::string path = Join(d, name);
    EXPECT_TRUE(WriteFile(path, data));
    return path;
  }

  std::string dir_;
};

class BinkdTest : public NetworkTest {
 protected:
  void SetUp() override {
    binkd_ = FindProgram("binkd");
    if (binkd_.empty()) {
      GTEST_SKIP() << "binkd is not installed (apt-get install binkd; .ci/run installs it)";
    }
    NetworkTest::SetUp();
  }
  std::string binkd_;
};

class CrashmailTest : public NetworkTest {
 protected:
  void SetUp() override {
    crashmail_ = FindProgram("crashmail");
    if (crashmail_.empty()) {
      GTEST_SKIP() << "crashmail is not installed (apt-get install crashmail; .ci/run installs it)";
    }
    NetworkTest::SetUp();
  }
  std::string crashmail_;
};

// --- Harness pieces that need no other program --------------------------

TEST(FtnNetworkHarness, FlowFileNamesAreLowerCaseHex) {
  EXPECT_EQ("/o/139c0002", BsoBase("/o", 2, ParseAddress("2:5020/2")));
  EXPECT_EQ("/o/139c0064.pnt/00000001", BsoBase("/o", 2, ParseAddress("2:5020/100.1")));
  EXPECT_EQ("/o/139c0abc.pnt/0000001f", BsoBase("/o", 2, ParseAddress("2:5020/2748.31")));
  EXPECT_EQ("/o.003/00010002", BsoBase("/o", 2, ParseAddress("3:1/2")));
  EXPECT_EQ("/o.00a/00010002", BsoBase("/o", 2, ParseAddress("10:1/2")));
}

TEST(FtnNetworkHarness, FreePortsDifferAndAreOnLoopback) {
  std::vector<int> ports = FindFreePorts(3);
  ASSERT_EQ(3u, ports.size());
  EXPECT_NE(ports[0], ports[1]);
  EXPECT_NE(ports[1], ports[2]);
  EXPECT_NE(ports[0], ports[2]);
  for (int p : ports) EXPECT_GT(p, 0);
}

TEST(FtnNetworkHarness, BinkdConfigurationStaysOnLoopback) {
  BinkdNode node;
  node.name = "a";
  node.address = "2:5020/1";
  node.outbound = "/n/a/outbound";
  node.inbound = "/n/a/inbound";
  node.inbound_nonsecure = "/n/a/unsecure";
  node.temp_inbound = "/n/a/temp";
  node.log = "/n/a/binkd.log";
  node.pid_file = "/n/a/binkd.pid";
  node.listens = true;
  node.port = 24601;
  std::string text = BinkdConfigText(node, {{"2:5020/2", 24602, "PwdB"}, {"2:5020/1.1", 0, "P1"}});
  EXPECT_NE(std::string::npos, text.find("domain fidonet /n/a/outbound 2\n"));
  EXPECT_NE(std::string::npos, text.find("address 2:5020/1@fidonet\n"));
  EXPECT_NE(std::string::npos, text.find("inbound /n/a/inbound\n"));
  EXPECT_NE(std::string::npos, text.find("iport 24601\nlisten 127.0.0.1\n"));
  EXPECT_NE(std::string::npos, text.find("node 2:5020/2@fidonet 127.0.0.1:24602 PwdB\n"));
  EXPECT_NE(std::string::npos, text.find("node 2:5020/1.1@fidonet - P1\n"));
  // Nothing that would make binkd resolve names or call unlisted nodes.
  EXPECT_EQ(std::string::npos, text.find("defnode"));
  EXPECT_EQ(std::string::npos, text.find('*'));
}

TEST(FtnNetworkHarness, ChildProcessIsStoppedByItsGuard) {
  std::string sleep = FindProgram("sleep");
  if (sleep.empty()) GTEST_SKIP() << "no sleep program";
  std::string dir = MakeTempDir("olvix-net-");
  ASSERT_FALSE(dir.empty());
  int pid = -1;
  {
    ChildProcess child;
    std::string error;
    ASSERT_TRUE(child.Start({sleep, "60"}, Join(dir, "out"), &error)) << error;
    pid = child.pid();
    ASSERT_GT(pid, 0);
    int status = 0;
    EXPECT_FALSE(child.Wait(50, &status));
  }  // the destructor stops and reaps it
  std::string proc = "/proc/" + std::to_string(pid);
  EXPECT_FALSE(PathExists(proc)) << "process " << pid << " outlived its guard";

  RunResult r = RunProgram({sleep, "60"}, Join(dir, "out2"), 100);
  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.timed_out);
  EXPECT_FALSE(r.ok());
  RemoveTree(dir);
}

// A packet as crashmail writes it: type 2+ header from 2:5020/1 to
// 2:5020/100, one message from the point 2:5020/1.7 to the point
// 2:5020/100.1.
std::string SamplePacket() {
  std::string p;
  auto u16 = [&p](unsigned v) {
    p += static_cast<char>(v & 0xFF);
    p += static_cast<char>(v >> 8);
  };
  u16(1), u16(100), u16(2026), u16(11), u16(8), u16(20), u16(16), u16(15), u16(0), u16(2);
  u16(5020), u16(5020);
  p += '\xfe', p += '\x01';
  p += std::string("pw\0\0\0\0\0\0", 8);
  u16(2), u16(2), u16(0), u16(0x0100);
  p += '\0', p += '\x07';
  u16(0x0001), u16(2), u16(2), u16(0), u16(0);
  p += std::string(4, '\0');
  u16(2), u16(1), u16(100), u16(5020), u16(5020), u16(0x0001), u16(0);
  p += std::string("08 Dec 26  12:00:00\0", 20);
  p += std::string("Sysop\0Olvix\0from point\0", 23);
  p += "\x01MSGID: 2:5020/1.7 1\r\x01"
       "FMPT 7\r\x01TOPT 1\r\x01INTL 2:5020/100 2:5020/1\rBody\r\r";
  p += "Last\r";
  p += '\0';
  u16(0);
  return p;
}

TEST(FtnNetworkHarness, PacketReaderReadsHeaderAndMessage) {
  Packet pkt;
  std::string error;
  ASSERT_EQ(0, ParsePacket(SamplePacket(), &pkt, &error)) << error;
  EXPECT_TRUE(pkt.header.type2plus);
  EXPECT_EQ("2:5020/1", FormatAddress(pkt.header.origin));
  EXPECT_EQ("2:5020/100", FormatAddress(pkt.header.destination));
  EXPECT_EQ("pw", pkt.header.password);
  EXPECT_EQ(0x00fe, pkt.header.product_code);
  ASSERT_EQ(1u, pkt.messages.size());
  const PackedMessage& m = pkt.messages[0];
  EXPECT_EQ("Sysop", m.to_name);
  EXPECT_EQ("Olvix", m.from_name);
  EXPECT_EQ("from point", m.subject);
  EXPECT_EQ("08 Dec 26  12:00:00", m.date);
  EXPECT_EQ("2:5020/1.7", FormatAddress(m.origin));
  EXPECT_EQ("2:5020/100.1", FormatAddress(m.destination));
  std::string value;
  ASSERT_TRUE(m.Kludge("MSGID", &value));
  EXPECT_EQ("2:5020/1.7 1", value);
  EXPECT_FALSE(m.Kludge("MSG", &value));
  EXPECT_EQ((Names{"Body", "", "Last"}), m.BodyLines());
}

TEST(FtnNetworkHarness, PacketReaderRejectsDamagedPackets) {
  const std::string good = SamplePacket();
  Packet pkt;
  std::string error;
  // Every truncation is reported, none reads past the end (ASan checks).
  for (size_t n = 0; n < good.size(); ++n) {
    EXPECT_EQ(4081, ParsePacket(good.substr(0, n), &pkt, &error)) << "truncated to " << n;
  }
  std::string bad_version = good;
  bad_version[18] = 3;
  EXPECT_EQ(4081, ParsePacket(bad_version, &pkt, &error));
  std::string bad_type = good;
  bad_type[58] = 5;
  EXPECT_EQ(4081, ParsePacket(bad_type, &pkt, &error));
  std::string long_name = good;
  long_name.replace(58 + 14 + 20, 5, std::string(40, 'x'));  // to name without a NUL in reach
  EXPECT_EQ(4081, ParsePacket(long_name, &pkt, &error));
}

TEST(FtnNetworkHarness, StoredMessageHeaderRoundTrips) {
  StoredMessage m;
  m.from_name = "Olvix";
  m.to_name = "Sysop";
  m.subject = std::string(80, 's');  // cut to 71
  m.origin = ParseAddress("2:5020/1.7");
  m.destination = ParseAddress("2:5020/100.1");
  m.attributes = kAttrPrivate | kAttrFileAttach | kAttrLocal;
  m.text = "\x01INTL 2:5020/100 2:5020/1\r";
  std::string data = EncodeStoredMessage(m);
  ASSERT_EQ(190u + m.text.size(), data.size());
  EXPECT_EQ('\0', data[72 + 71]);
  StoredMessage back;
  ASSERT_TRUE(DecodeStoredMessage(data, &back));
  EXPECT_EQ(std::string(71, 's'), back.subject);
  EXPECT_EQ(m.origin, back.origin);
  EXPECT_EQ(m.destination, back.destination);
  EXPECT_EQ(m.attributes, back.attributes);
  EXPECT_EQ(m.text, back.text);
  EXPECT_FALSE(DecodeStoredMessage(data.substr(0, 189), &back));
}

// --- binkd --------------------------------------------------------------

// Nodes A (2:5020/1) and B (2:5020/2) on loopback; A's flow file for B
// names a file and a ticket to delete after sending.
TEST_F(BinkdTest, FlowFileCarriesFileAndTicketToTheOtherNode) {
  BinkdNetwork net(binkd_, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/1", false);
  BinkdNode* b = net.AddNode("b", "2:5020/2", true);
  net.Link(a, b, "SecretAB");
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;

  const std::string zip_data = Pattern(100000, 1);
  const std::string tic_data = "Area FILES.TEST\r\nFile test.zip\r\nCrc 12345678\r\n";
  const std::string held_data = Pattern(3000, 2);
  std::string zip = MakeFile("a/files", "test.zip", zip_data);
  std::string tic = MakeFile("a/files", "abcd0001.tic", tic_data);
  std::string held = MakeFile("a/files", "held.zip", held_data);

  // Hold mail alone never makes binkd call.
  std::string base = BsoBase(a->outbound, 2, b->Address());
  ASSERT_EQ(Join(a->outbound, "139c0002"), base);
  ASSERT_TRUE(WriteFile(base + ".hlo", held + "\r\n"));
  ASSERT_TRUE(net.StartServer(b, &error)) << error;
  RunResult r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("the queue is empty")) << r.output;
  EXPECT_EQ(Names{}, ListNames(b->inbound));
  EXPECT_TRUE(PathExists(base + ".hlo"));

  // Normal-flavour mail does, and the session then takes the hold mail
  // along.
  ASSERT_TRUE(WriteFile(base + ".flo", zip + "\r\n^" + tic + "\r\n"));
  r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_NE(std::string::npos, r.output.find("call to 2:5020/2@fidonet")) << r.output;

  EXPECT_EQ((Names{"abcd0001.tic", "held.zip", "test.zip"}), ListNames(b->inbound));
  EXPECT_TRUE(Contents(Join(b->inbound, "test.zip")) == zip_data) << "test.zip changed on the way";
  EXPECT_EQ(tic_data, Contents(Join(b->inbound, "abcd0001.tic")));
  EXPECT_TRUE(Contents(Join(b->inbound, "held.zip")) == held_data);
  EXPECT_EQ(Names{}, ListNames(b->inbound_nonsecure)) << "the session was not password-protected";
  EXPECT_EQ(Names{}, ListNames(a->outbound)) << "flow files and busy flags must be gone";
  EXPECT_FALSE(PathExists(tic)) << "a \"^\" line deletes the file once sent";
  EXPECT_TRUE(Contents(zip) == zip_data) << "a plain line keeps the file";
}

// How binkd treats the prefixes of flow-file lines, and lines that name no
// existing file: the mail is dropped without an error and the flow file
// goes all the same.
TEST_F(BinkdTest, FlowLinePrefixesAndMissingFiles) {
  BinkdNetwork net(binkd_, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/1", false);
  BinkdNode* b = net.AddNode("b", "2:5020/2", true);
  net.Link(a, b, "SecretAB");
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;

  std::string keep = MakeFile("a/files", "keep.dat", "keep\n");
  std::string trunc = MakeFile("a/files", "trunc.dat", "truncate\n");
  std::string skip = MakeFile("a/files", "skip.dat", "skip\n");
  std::string del = MakeFile("a/files", "del.dat", "delete\n");
  std::string dash = MakeFile("a/files", "dash.dat", "dash\n");
  std::string cased = MakeFile("a/files", "case.dat", "case\n");
  std::string missing = Join(Join(dir_, "a/files"), "missing.dat");
  std::string wrong_case = Join(Join(dir_, "a/files"), "CASE.DAT");
  // Upper-case flow-file names are found too.
  std::string flow = Join(a->outbound, "139C0002.FLO");
  ASSERT_TRUE(WriteFile(flow, keep + "\r\n#" + trunc + "\r\n~" + skip + "\r\n^" + del + "\r\n-" +
                                  dash + "\r\n" + missing + "\r\n" + wrong_case + "\n"));

  ASSERT_TRUE(net.StartServer(b, &error)) << error;
  RunResult r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;

  EXPECT_EQ((Names{"del.dat", "keep.dat", "trunc.dat"}), ListNames(b->inbound));
  EXPECT_EQ("keep\n", Contents(keep));
  EXPECT_EQ("", Contents(trunc)) << "\"#\" truncates after sending";
  EXPECT_EQ("skip\n", Contents(skip)) << "\"~\" is skipped and kept";
  EXPECT_FALSE(PathExists(del));
  EXPECT_EQ("dash\n", Contents(dash)) << "\"-\" is no prefix: the line names no file";
  EXPECT_EQ("case\n", Contents(cased)) << "a path in the wrong case is not this file";
  EXPECT_FALSE(PathExists(flow)) << "binkd drops missing files and deletes the flow file";
  EXPECT_NE(std::string::npos, r.output.find("missing.dat: No such file")) << r.output;
}

// A hold-flavour point of a node whose number has hex letters: binkd never
// calls for hold mail, the point polls its boss and gets the file. The
// point directory must be in lower case: binkd does not look for another.
TEST_F(BinkdTest, HoldPointPollsItsBossAndReceivesTheFile) {
  BinkdNetwork net(binkd_, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/100", true);
  BinkdNode* p = net.AddNode("p", "2:5020/100.1", false);
  net.Link(a, p, "PointPwd");
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;

  const std::string data = Pattern(20000, 3);
  std::string file = MakeFile("a/files", "hold.zip", data);
  std::string upper = MakeFile("a/files", "upper.zip", "upper\n");
  std::string base = BsoBase(a->outbound, 2, p->Address());
  ASSERT_EQ(Join(a->outbound, "139c0064.pnt/00000001"), base);
  ASSERT_TRUE(MakeDirs(Join(a->outbound, "139c0064.pnt")));
  ASSERT_TRUE(WriteFile(base + ".hlo", "^" + file + "\r\n"));
  std::string upper_flow = Join(a->outbound, "139C0064.pnt/00000001.hlo");
  ASSERT_TRUE(MakeDirs(Join(a->outbound, "139C0064.pnt")));
  ASSERT_TRUE(WriteFile(upper_flow, upper + "\r\n"));

  ASSERT_TRUE(net.StartServer(a, &error)) << error;
  RunResult r = net.Poll(p, "2:5020/100");
  ASSERT_TRUE(r.ok()) << r.output;

  EXPECT_EQ(Names{"hold.zip"}, ListNames(p->inbound));
  EXPECT_TRUE(Contents(Join(p->inbound, "hold.zip")) == data);
  // The server side finishes its session after the point's client ended.
  EXPECT_TRUE(WaitUntil([&] { return !PathExists(base + ".hlo") && !PathExists(file); }, 10000))
      << "hold flow file or \"^\" file still at the node";
  EXPECT_TRUE(PathExists(upper_flow)) << "binkd looked into the upper-case point directory";
}

// A busy flag for B, in any letter case, makes binkd pass B by silently;
// once it is gone the mail goes.
TEST_F(BinkdTest, BusyFlagMakesBinkdSkipTheNode) {
  BinkdNetwork net(binkd_, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/1", false);
  BinkdNode* b = net.AddNode("b", "2:5020/2", true);
  net.Link(a, b, "SecretAB");
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;

  std::string file = MakeFile("a/files", "busy.zip", "busy\n");
  std::string base = BsoBase(a->outbound, 2, b->Address());
  ASSERT_TRUE(WriteFile(base + ".flo", file + "\r\n"));
  std::string bsy = Join(a->outbound, "139C0002.BSY");
  ASSERT_TRUE(WriteFile(bsy, ""));

  ASSERT_TRUE(net.StartServer(b, &error)) << error;
  RunResult r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_EQ(std::string::npos, r.output.find("call to")) << r.output;
  EXPECT_EQ(Names{}, ListNames(b->inbound));
  EXPECT_EQ(file + "\r\n", Contents(base + ".flo"));
  EXPECT_TRUE(PathExists(bsy));
  EXPECT_EQ(std::string::npos, Contents(b->log).find("incoming session"));

  ASSERT_EQ(0, std::remove(bsy.c_str()));
  r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_EQ(Names{"busy.zip"}, ListNames(b->inbound));
  EXPECT_FALSE(PathExists(base + ".flo"));
}

TEST_F(BinkdTest, PollRefusesAnAddressThatIsNotAPeer) {
  BinkdNetwork net(binkd_, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/1", false);
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;
  RunResult r = net.Poll(a, "2:5020/9");
  EXPECT_FALSE(r.started);
  EXPECT_FALSE(r.ok());
}

// --- crashmail ----------------------------------------------------------

const std::vector<CrashmailRoute> kRoutes = {{"2:5020/100.*", "2:5020/100.0"},
                                             {"2:5020/2.0", "2:5020/2.0"}};

// A letter as Olvix writes one: kludges, text, tear line and origin line,
// CR line ends, no CR after the origin line.
StoredMessage Letter(const std::string& from, const std::string& to, const std::string& subject,
                     const std::string& body) {
  StoredMessage m;
  m.from_name = "Olvix";
  m.to_name = "Sysop";
  m.subject = subject;
  m.origin = ParseAddress(from);
  m.destination = ParseAddress(to);
  m.attributes = kAttrPrivate | kAttrKillSent | kAttrLocal;
  std::string k;
  k += "\x01MSGID: " + from + " 6a1b2c3d\r";
  if (m.origin.point)
    k += "\x01"
         "FMPT " +
         std::to_string(m.origin.point) + "\r";
  if (m.destination.point) k += "\x01TOPT " + std::to_string(m.destination.point) + "\r";
  FtnAddress d = m.destination, o = m.origin;
  d.point = o.point = 0;
  k += "\x01INTL " + FormatAddress(d) + " " + FormatAddress(o) + "\r";
  k += "\x01PID Olvix 1.01.08g-Linux\r";
  m.text = k + body;
  return m;
}

TEST_F(CrashmailTest, ExportsAStoredMessageIntoAPacket) {
  CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(MakeCrashmailSetup(Join(dir_, "a"), "2:5020/1", kRoutes, "", "", &cm, &error))
      << error;
  StoredMessage m = Letter("2:5020/1.7", "2:5020/100.1", "Status of FILES.TEST",
                           "Line one\rLine two\r\r  indented line\r\r--- Olvix 1.01.08g-Linux\r"
                           " * Origin: Test node (2:5020/1.7)");
  std::string msg = Join(cm.netmail, "2.msg");
  ASSERT_TRUE(WriteFile(msg, EncodeStoredMessage(m)));

  RunResult r = RunCrashmail(crashmail_, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;

  // Routed through the point's boss as unpacked normal-flavour netmail.
  EXPECT_EQ(Names{"139c0064.out"}, ListNames(cm.outbound)) << r.output;
  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0064.out")), &pkt, &error)) << error;
  EXPECT_TRUE(pkt.header.type2plus);
  EXPECT_EQ("2:5020/1", FormatAddress(pkt.header.origin));
  EXPECT_EQ("2:5020/100", FormatAddress(pkt.header.destination));
  ASSERT_EQ(1u, pkt.messages.size());
  const PackedMessage& p = pkt.messages[0];
  EXPECT_EQ("Olvix", p.from_name);
  EXPECT_EQ("Sysop", p.to_name);
  EXPECT_EQ("Status of FILES.TEST", p.subject);
  EXPECT_EQ("2:5020/1.7", FormatAddress(p.origin));
  EXPECT_EQ("2:5020/100.1", FormatAddress(p.destination));
  EXPECT_EQ(kAttrPrivate, p.attributes & (kAttrPrivate | kAttrLocal | kAttrSent));
  std::string value;
  EXPECT_TRUE(p.Kludge("INTL", &value));
  EXPECT_EQ("2:5020/100 2:5020/1", value);
  EXPECT_TRUE(p.Kludge("FMPT", &value));
  EXPECT_EQ("7", value);
  EXPECT_TRUE(p.Kludge("TOPT", &value));
  EXPECT_EQ("1", value);
  EXPECT_TRUE(p.Kludge("MSGID", &value));
  EXPECT_EQ("2:5020/1.7 6a1b2c3d", value);
  EXPECT_TRUE(p.Kludge("Via", &value)) << "crashmail adds its Via line";
  EXPECT_EQ((Names{"Line one", "Line two", "", "  indented line", "", "--- Olvix 1.01.08g-Linux",
                   " * Origin: Test node (2:5020/1.7)"}),
            p.BodyLines());

  // The stored message stays, marked Sent; a second scan exports nothing.
  StoredMessage after;
  ASSERT_TRUE(DecodeStoredMessage(Contents(msg), &after));
  EXPECT_EQ(m.attributes | kAttrSent, after.attributes);
  r = RunCrashmail(crashmail_, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0064.out")), &pkt, &error)) << error;
  EXPECT_EQ(1u, pkt.messages.size());
}

// Which stored messages crashmail takes: Local set, Sent clear, a
// lower-case name other than 1.msg; zone and point come from the kludges,
// not from the header.
TEST_F(CrashmailTest, ExportsOnlyLocalUnsentLowerCaseMessages) {
  CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(MakeCrashmailSetup(Join(dir_, "a"), "2:5020/1", kRoutes, "", "", &cm, &error))
      << error;
  struct Case {
    const char* name;
    const char* subject;
    uint16_t attributes;
    bool exported;
  };
  const Case cases[] = {
      {"1.msg", "one", kAttrPrivate | kAttrLocal, false},
      {"3.MSG", "upper", kAttrPrivate | kAttrLocal, false},
      {"4.msg", "not local", kAttrPrivate, false},
      {"5.msg", "sent", kAttrPrivate | kAttrLocal | kAttrSent, false},
      {"6.msg", "good", kAttrPrivate | kAttrLocal, true},
  };
  for (const Case& c : cases) {
    StoredMessage m = Letter("2:5020/1", "2:5020/2", c.subject, "Body\r");
    m.attributes = c.attributes;
    ASSERT_TRUE(WriteFile(Join(cm.netmail, c.name), EncodeStoredMessage(m)));
  }
  // The header names zone 3 and point 1; the kludges say 2:5020/100, node.
  StoredMessage header_only = Letter("2:5020/1", "2:5020/100", "header only", "Body\r");
  header_only.destination = ParseAddress("3:5020/100.1");
  ASSERT_TRUE(WriteFile(Join(cm.netmail, "7.msg"), EncodeStoredMessage(header_only)));

  RunResult r = RunCrashmail(crashmail_, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;
  EXPECT_EQ((Names{"139c0002.out", "139c0064.out"}), ListNames(cm.outbound)) << r.output;

  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0002.out")), &pkt, &error)) << error;
  ASSERT_EQ(1u, pkt.messages.size());
  EXPECT_EQ("good", pkt.messages[0].subject);
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0064.out")), &pkt, &error)) << error;
  ASSERT_EQ(1u, pkt.messages.size());
  EXPECT_EQ("header only", pkt.messages[0].subject);
  EXPECT_EQ("2:5020/100", FormatAddress(pkt.messages[0].destination));
  EXPECT_EQ("2:5020/100", FormatAddress(pkt.header.destination));

  for (const Case& c : cases) {
    StoredMessage after;
    ASSERT_TRUE(DecodeStoredMessage(Contents(Join(cm.netmail, c.name)), &after)) << c.name;
    EXPECT_EQ(c.exported ? (c.attributes | kAttrSent) : c.attributes, after.attributes) << c.name;
  }
}

// File-attach letters as the AMA outbound style writes them: no text, the
// subject is the full path of the file.
TEST_F(CrashmailTest, ExportsFileAttachesWithFlowFiles) {
  CrashmailSetup cm;
  std::string error;
  ASSERT_TRUE(MakeCrashmailSetup(Join(dir_, "a"), "2:5020/1", kRoutes, "", "", &cm, &error))
      << error;
  const std::string data = Pattern(4000, 4);
  std::string report = MakeFile("a/files", "report.zip", data);
  std::string held = MakeFile("a/files", "held.zip", "held\n");
  std::string missing = Join(Join(dir_, "a/files"), "missing.zip");

  // Kill-file-sent asked for, as the AMA style does for tickets.
  StoredMessage m = Letter("2:5020/1", "2:5020/2", report,
                           "\x01"
                           "FLAGS KFS\r");
  m.attributes = kAttrPrivate | kAttrFileAttach | kAttrKillSent | kAttrLocal;  // 0x0191
  ASSERT_TRUE(WriteFile(Join(cm.netmail, "2.msg"), EncodeStoredMessage(m)));
  StoredMessage h = Letter("2:5020/1", "2:5020/100.1", held, "");
  h.attributes = kAttrPrivate | kAttrFileAttach | kAttrKillSent | kAttrLocal | kAttrHold;  // 0x0391
  ASSERT_TRUE(WriteFile(Join(cm.netmail, "3.msg"), EncodeStoredMessage(h)));
  StoredMessage x = Letter("2:5020/1", "2:5020/2", missing, "");
  x.attributes = m.attributes;
  ASSERT_TRUE(WriteFile(Join(cm.netmail, "4.msg"), EncodeStoredMessage(x)));

  RunResult r = RunCrashmail(crashmail_, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;

  // Attaches go direct (".dlo"/".dut"), or on hold for the held letter; the
  // file is copied into PACKETDIR and the copy is sent and deleted; a
  // missing file keeps its plain path, which binkd then drops.
  EXPECT_EQ((Names{"139c0002.dlo", "139c0002.dut", "139c0064.pnt"}), ListNames(cm.outbound));
  EXPECT_EQ("^" + Join(cm.packets, "report.zip") + "\n" + missing + "\n",
            Contents(Join(cm.outbound, "139c0002.dlo")));
  EXPECT_EQ((Names{"00000001.hlo", "00000001.hut"}), ListNames(Join(cm.outbound, "139c0064.pnt")));
  EXPECT_EQ("^" + Join(cm.packets, "held.zip") + "\n",
            Contents(Join(cm.outbound, "139c0064.pnt/00000001.hlo")));
  EXPECT_TRUE(Contents(Join(cm.packets, "report.zip")) == data);
  EXPECT_TRUE(Contents(report) == data) << "the original file stays, KFS or not";

  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0002.dut")), &pkt, &error)) << error;
  ASSERT_EQ(2u, pkt.messages.size());
  EXPECT_EQ("report.zip", pkt.messages[0].subject) << "the packet carries the bare name";
  EXPECT_EQ("missing.zip", pkt.messages[1].subject);
  EXPECT_EQ(kAttrFileAttach, pkt.messages[0].attributes & kAttrFileAttach);
  EXPECT_EQ("2:5020/2", FormatAddress(pkt.messages[0].destination));
  ASSERT_EQ(0, ParsePacket(Contents(Join(cm.outbound, "139c0064.pnt/00000001.hut")), &pkt, &error))
      << error;
  ASSERT_EQ(1u, pkt.messages.size());
  EXPECT_EQ("held.zip", pkt.messages[0].subject);
  EXPECT_EQ("2:5020/100.1", FormatAddress(pkt.messages[0].destination));
}

// --- crashmail and binkd together ---------------------------------------

// What crashmail exports from a file-attach letter, binkd carries: the
// file and the packet arrive at the other node.
TEST_F(CrashmailTest, BinkdCarriesWhatCrashmailExported) {
  std::string binkd = FindProgram("binkd");
  if (binkd.empty()) GTEST_SKIP() << "binkd is not installed (.ci/run installs it)";
  BinkdNetwork net(binkd, dir_);
  BinkdNode* a = net.AddNode("a", "2:5020/1", false);
  BinkdNode* b = net.AddNode("b", "2:5020/2", true);
  net.Link(a, b, "SecretAB");
  std::string error;
  ASSERT_TRUE(net.WriteConfigs(&error)) << error;
  CrashmailSetup cm;
  ASSERT_TRUE(MakeCrashmailSetup(Join(a->root, "crashmail"), a->address, kRoutes,
                                 Join(a->root, "outmail"), a->outbound, &cm, &error))
      << error;

  const std::string data = Pattern(30000, 5);
  std::string file = MakeFile("a/files", "attach.zip", data);
  StoredMessage m = Letter(a->address, b->address, file, "");
  m.attributes = kAttrPrivate | kAttrFileAttach | kAttrKillSent | kAttrLocal;
  ASSERT_TRUE(WriteFile(Join(cm.netmail, "2.msg"), EncodeStoredMessage(m)));
  RunResult r = RunCrashmail(crashmail_, cm, {"SCAN"});
  ASSERT_TRUE(r.ok()) << r.output;

  ASSERT_TRUE(net.StartServer(b, &error)) << error;
  r = net.Poll(a, "");
  ASSERT_TRUE(r.ok()) << r.output;

  // Unpacked netmail (.dut) arrives under a fresh name "xxxxxxxx.pkt".
  Names got = ListNames(b->inbound);
  ASSERT_EQ(2u, got.size()) << r.output;
  std::erase(got, "attach.zip");
  ASSERT_EQ(1u, got.size()) << "attach.zip did not arrive";
  EXPECT_TRUE(Contents(Join(b->inbound, "attach.zip")) == data);
  ASSERT_EQ(12u, got[0].size()) << got[0];
  ASSERT_EQ(".pkt", got[0].substr(8)) << got[0];
  Packet pkt;
  ASSERT_EQ(0, ParsePacket(Contents(Join(b->inbound, got[0])), &pkt, &error)) << error;
  EXPECT_EQ("2:5020/2", FormatAddress(pkt.header.destination));
  ASSERT_EQ(1u, pkt.messages.size());
  EXPECT_EQ("attach.zip", pkt.messages[0].subject);
  EXPECT_EQ(Names{}, ListNames(a->outbound));
  EXPECT_EQ(Names{}, ListNames(cm.packets)) << "the \"^\" copy is deleted once sent";
}

}  // namespace
}  // namespace olvix::ftnnet
