// The echomail packet writer, byte by byte: header, packed messages, the
// work file that becomes the packet only with its end mark.
#include "announce/packet.h"

#include <gtest/gtest.h>

#include <string>

#include "ftn_network.h"
#include "platform/platform.h"
#include "run/context.h"
#include "test_context.h"
#include "util/address.h"

namespace olvix {
namespace {

uint16_t U16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                               static_cast<unsigned char>(s[at + 1]) << 8);
}

// A literal with its NUL bytes, without the final one.
template <size_t N>
std::string Bytes(const char (&s)[N]) {
  return std::string(s, N - 1);
}

// 5 Jan 2026 10:11:12.
std::tm January5() { return platform::UtcTime(1767607872); }

EchoMessage Message(const char* origin) {
  EchoMessage m;
  m.origin = ParseAddress(origin);
  m.destination = ParseAddress("2:5020/1");
  m.from_name = "Olvix";
  m.to_name = "All";
  m.subject = "New file(s) report";
  m.tear_line = "--- Olvix 1.01.08g-Linux";
  m.pid = "Olvix 1.01.08g-Linux";
  m.origin_text = "Test node";
  m.attributes = 0x0100;
  return m;
}

TEST(PacketTest, HeaderFieldsAndPasswordPadding) {
  std::string h =
      EncodePacketHeader(ParseAddress("2:5030/7.4"), ParseAddress("3:5020/1.2"), "ABC", January5());
  ASSERT_EQ(kPacketHeaderSize, h.size());
  // Offset and value of each 16-bit field: the nodes, the date (January is
  // month 0), the type 2, the nets; the zones, the auxiliary net, the
  // capability word, the zones and points of the 2+ part.
  const int fields[][2] = {{0, 7},     {2, 1},     {4, 2026}, {6, 0},  {8, 5},
                           {10, 10},   {12, 11},   {14, 12},  {16, 0}, {18, 2},
                           {20, 5030}, {22, 5020}, {34, 2},   {36, 3}, {38, 5030},
                           {46, 2},    {48, 3},    {50, 4},   {52, 2}};
  for (const auto& [at, value] : fields) EXPECT_EQ(value, U16(h, at)) << "at " << at;
  EXPECT_EQ(Bytes("\0\0ABC\0\0\0\0\0"), h.substr(24, 10));
  EXPECT_EQ(Bytes("\x00\x01\0\0\x01\x00"), h.substr(40, 6));
  EXPECT_EQ(std::string(4, '\0'), h.substr(54));
  // Eight characters fill the field without a NUL; more are cut.
  h = EncodePacketHeader({}, {}, "ABCDEFGHIJ", January5());
  EXPECT_EQ("ABCDEFGH", h.substr(26, 8));
  EXPECT_EQ(0, h[34]);
}

TEST(PacketTest, MessageLinesOfNodeAndPointOrigins) {
  std::string body = std::string(600, 'x') + "\nshort\n";
  EXPECT_EQ("AREA:NEWFILES\r\x01MSGID: 2:5020/1 1A2B\r\x01PID: Olvix 1.01.08g-Linux\r" +
                std::string(255, 'x') + "\r" + std::string(255, 'x') + "\r" + std::string(90, 'x') +
                "\rshort\r\r--- Olvix 1.01.08g-Linux\r * Origin: Test node (2:5020/1)\r"
                "SEEN-BY: 5020/1\r\x01PATH: 5020/1\r",
            PacketMessageText(Message("2:5020/1"), "NEWFILES", body, 0x1A2B));
  // A point has no SEEN-BY and PATH; an origin line given whole is kept.
  EchoMessage point = Message("2:5020/1.1");
  point.origin_text = " * Origin: Mine";
  EXPECT_EQ(
      "AREA:X\r\x01MSGID: 2:5020/1.1 FF\r\x01PID: Olvix 1.01.08g-Linux\rlast line without end\r"
      "\r--- Olvix 1.01.08g-Linux\r * Origin: Mine (2:5020/1.1)\r",
      PacketMessageText(point, "X", "last line without end", 0xFF));

  EchoMessage m = Message("2:5030/7.4");
  m.to_name = std::string("A\0l", 3);  // a NUL would end the field early
  std::string packed = EncodePackedMessage(m, "X", "", 1, January5());
  EXPECT_EQ(Bytes("\x02\x00\x07\x00\x01\x00\xa6\x13\x9c\x13\x00\x01\x00\x00") +
                Bytes("05 Jan 26  10:11:12\0A l\0Olvix\0New file(s) report\0") +
                PacketMessageText(m, "X", "", 1) + std::string(1, '\0'),
            packed);
}

TEST(PacketTest, PacketAppearsCompleteOnlyWhenClosed) {
  test::TestContext t;
  RunContext& ctx = t.ctx;
  std::string path = t.dir.PathOf("pkt/0000ABCD.pkt");
  t.dir.MakeDir("pkt");
  const std::string work = PacketWorkPath(path);
  EXPECT_EQ(".$$$", work.substr(work.size() - 4)) << "a name no tosser takes";
  EXPECT_NE(0, AppendPacketMessageText(ctx, Message("2:5020/1"), "x", path, "A"))
      << "no message without a header";
  EXPECT_FALSE(t.dir.Exists(work));

  ASSERT_EQ(0, CreatePacketText(ctx, Message("2:5020/1"), "first\n", path, "NEWFILES", "PW",
                                ParseAddress("2:5020/1.1")));
  EXPECT_TRUE(ctx.packet_written);
  ASSERT_EQ(0, AppendPacketMessageText(ctx, Message("2:5020/1"), "second\n", path, "NEWFILES"));
  EXPECT_FALSE(t.dir.Exists("pkt/0000ABCD.pkt")) << "a tosser must not see it yet";
  EXPECT_TRUE(t.dir.Exists(work));
  ASSERT_EQ(0, ClosePacket(ctx, path));
  EXPECT_FALSE(t.dir.Exists(work));

  std::string data = t.dir.Read("pkt/0000ABCD.pkt");
  ftnnet::Packet pkt;
  std::string error;
  ASSERT_EQ(0, ftnnet::ParsePacket(data, &pkt, &error)) << error;
  EXPECT_EQ("2:5020/1.1", FormatAddress(pkt.header.origin));
  EXPECT_EQ("PW", pkt.header.password);
  EXPECT_TRUE(pkt.header.type2plus);
  ASSERT_EQ(2u, pkt.messages.size());
  EXPECT_EQ("second", pkt.messages[1].BodyLines().at(1));
  EXPECT_EQ(std::string(3, '\0'), data.substr(data.size() - 3)) << "message NUL and end mark";

  // A packet that cannot be created leaves nothing.
  std::string missing = t.dir.PathOf("none/0000ABCE.pkt");
  EXPECT_NE(0, CreatePacket(ctx, Message("2:5020/1"), t.dir.PathOf("no-body"), missing, "A", "",
                            ParseAddress("2:5020/1")));
  EXPECT_NE(0, ClosePacket(ctx, missing));
  EXPECT_FALSE(t.dir.Exists("none"));
}

}  // namespace
}  // namespace olvix
