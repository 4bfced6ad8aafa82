// TOSS through the built program: the exact tickets and flow-file lines
// written for the links that receive a tossed file.
#include <gtest/gtest.h>

#include <string>

#include "toss_fixture.h"
#include "util/crc32.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";

std::string CrcOf(const std::string& data) { return Format("%08X", Crc32(data)); }

const char kIncomingDesc[] =
    "desc First line\r\n"
    "LDESC   indented\r\n";

Ticket ForwardedTicket() {
  Ticket t;
  t.extra = {"Areadesc From the ticket, not passed on",
             "desc First line",
             "LDESC   indented",
             "Path 2:5020/2 1700000000 Tue Nov 14 2023 22:13:20 UTC+0100",
             "Seenby 2:5020/2",
             "SEENBY 2:5020/1"};
  return t;
}

std::string Expected(const std::string& to, const std::string& pw, const std::string& desc) {
  return "Created by Olvix 1.01.08g-Linux\r\n"
         "From 2:5020/1\r\n"
         "Origin 2:5020/2\r\n"
         "To " +
         to +
         "\r\n"
         "Area FILES.A\r\n"
         "File HELLO.TXT\r\n"
         "Pw " +
         pw +
         "\r\n"
         "Size 12\r\n"
         "Crc " +
         CrcOf(kHello) +
         "\r\n"
         "AreaDesc Files of A\r\n" +
         desc +
         "Path 2:5020/2 1700000000 Tue Nov 14 2023 22:13:20 UTC+0100\r\n"
         "Path 2:5020/1 <t> UTC+0300\r\n"
         "SeenBy 2:5020/2\r\n"
         "SeenBy 2:5020/1\r\n"
         "SeenBy 2:5020/3\r\n"
         "SeenBy 2:5020/4\r\n";
}

TEST(TossSend, TicketForALinkWithOptionGIsExact) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", ForwardedTicket());
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string tic = n.TicOfFlow("out/bso/139c0003.clo");
  ASSERT_FALSE(tic.empty());
  EXPECT_EQ(MaskPathTime(n.s.Read(tic)),
            Expected("2:5020/3", "PASS3", "LDesc First line\r\nLDesc   indented\r\n"));
}

TEST(TossSend, TicketForALinkWithoutOptionGPassesTheLinesAsReceived) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", ForwardedTicket());
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string tic = n.TicOfFlow("out/bso/139c0004.flo");
  ASSERT_FALSE(tic.empty());
  EXPECT_EQ(MaskPathTime(n.s.Read(tic)), Expected("2:5020/4", "PASS4", kIncomingDesc));
}

TEST(TossSend, TicketWithMagicAndReplacesInAnAreaWithoutDescriptionIsExact) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.area = "LIMITED";
  t.extra = {"Magic hello", "Replaces hello.*"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(MaskPathTime(n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"))),
            "Created by Olvix 1.01.08g-Linux\r\n"
            "From 2:5020/1\r\n"
            "Origin 2:5020/2\r\n"
            "To 2:5020/4\r\n"
            "Area LIMITED\r\n"
            "File HELLO.TXT\r\n"
            "Pw PASS4\r\n"
            "Size 12\r\n"
            "Crc " +
                CrcOf(kHello) +
                "\r\n"
                "Magic HELLO\r\n"
                "Replaces HELLO.*\r\n"
                "Path 2:5020/1 <t> UTC+0300\r\n"
                "SeenBy 2:5020/4\r\n"
                "SeenBy 2:5020/1\r\n");
}

TEST(TossSend, OneDescriptionLineGoesToALinkWithOptionGAsDesc) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.extra = {"LDesc only one"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(n.s.Read(n.TicOfFlow("out/bso/139c0003.clo")), "\r\nDesc only one\r\n"));
  EXPECT_TRUE(Holds(n.s.Read(n.TicOfFlow("out/bso/139c0004.flo")), "\r\nLDesc only one\r\n"));
}

TEST(TossSend, FlowFilesHoldTheFileAndThenTheTicketToKill) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  for (const char* flow : {"out/bso/139c0003.clo", "out/bso/139c0004.flo"}) {
    SCOPED_TRACE(flow);
    std::string tic = n.TicOfFlow(flow);
    ASSERT_EQ(tic.size(), std::string("outtics/ol000000.tic").size()) << tic;
    EXPECT_EQ(tic.compare(0, 10, "outtics/ol"), 0) << tic;
    EXPECT_EQ(n.s.Read(flow), n.s.dir() + "files/a/hello.txt\n^" + n.s.dir() + tic + "\n");
  }
  EXPECT_NE(n.TicOfFlow("out/bso/139c0003.clo"), n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_EQ(n.Names("outtics").size(), std::string("ol000000.tic ol000000.tic").size());
}

TEST(TossSend, TheSenderAndLinksInSeenByGetNothing) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.extra = {"SeenBy 2:5020/3"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("out/bso"), "139c0004.flo");
}

}  // namespace
}  // namespace olvix::test
