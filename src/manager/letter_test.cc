#include "manager/letter.h"

#include <gtest/gtest.h>

#include "config/records.h"
#include "run/context.h"
#include "testing/samples.h"
#include "testing/temp_dir.h"
#include "util/coding.h"
#include "util/msgnum.h"
#include "util/random.h"

namespace olvix {
namespace {

using testing::ListNames;
using testing::ReadFile;
using testing::SampleMessage;
using testing::ScopedTempDir;
using testing::TestContext;
using testing::WriteFile;

const std::tm kSampleTime = testing::TimeOf(2002, 3, 5, 9, 37, 4);

std::string Field(const std::string& text, size_t width) {
  std::string f = text;
  f.resize(width, '\0');
  return f;
}

std::string U16(uint16_t v) {
  return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

TEST(LetterFormat, HeaderIsByteExact) {
  std::string expected = Field("Olvix", 36) + Field("Sysop", 36) + Field("Status changes", 72) +
                         Field("05 Mar 02  09:37:04", 20) + U16(0) /*times read*/ +
                         U16(1) /*dest node*/ + U16(10) /*orig node*/ + U16(0) /*cost*/ +
                         U16(100) /*orig net*/ + U16(100) /*dest net*/ + U16(2) /*dest zone*/ +
                         U16(2) /*orig zone*/ + U16(3) /*dest point*/ + U16(0) /*orig point*/ +
                         U16(0) /*reply*/ + U16(0x0181) + U16(0) /*next reply*/;
  std::string header = EncodeMessageHeader(HeaderFor(SampleMessage(), kSampleTime));
  ASSERT_EQ(header.size(), kMessageHeaderSize);
  EXPECT_EQ(header, expected);

  MessageHeader back;
  ASSERT_TRUE(DecodeMessageHeader(header, &back));
  EXPECT_EQ(back.to_name, "Sysop");
  EXPECT_EQ(back.date, "05 Mar 02  09:37:04");
  EXPECT_EQ(back.dest_point, 3);
  EXPECT_EQ(back.attributes, 0x0181);
  EXPECT_FALSE(DecodeMessageHeader(header.substr(0, 189), &back));
}

TEST(LetterFormat, LongNamesAreCutToTheirFieldsAndReadBackCut) {
  EchoMessage m = SampleMessage();
  m.from_name = std::string(50, 'F');
  m.subject = std::string(100, 'S');
  std::string header = EncodeMessageHeader(HeaderFor(m, kSampleTime));
  ASSERT_EQ(header.size(), kMessageHeaderSize);
  EXPECT_EQ(header[35], '\0');
  EXPECT_EQ(header[143], '\0');
  // A foreign header whose fields have no NUL at all still gives texts no
  // longer than the field less one.
  std::string full(kMessageHeaderSize, 'X');
  MessageHeader h;
  ASSERT_TRUE(DecodeMessageHeader(full, &h));
  EXPECT_EQ(h.from_name.size(), 35u);
  EXPECT_EQ(h.subject.size(), 71u);
}

TEST(LetterFormat, KludgesForALetterToAPoint) {
  EXPECT_EQ(BuildKludges(SampleMessage(), 0x1234ABCD),
            "\x01MSGID: 2:100/10 1234ABCD\r"
            "\x01TOPT 3\r"
            "\x01INTL 2:100/1 2:100/10\r"
            "\x01PID Olvix 1.01.08g-Linux\r");
  EchoMessage m = SampleMessage();
  m.origin.point = 7;
  m.destination.point = 0;
  m.flags = "DIR KFS";
  EXPECT_EQ(BuildKludges(m, 0xA),
            "\x01MSGID: 2:100/10.7 A\r"
            "\001FMPT 7\r"
            "\x01INTL 2:100/1 2:100/10\r"
            "\001FLAGS: DIR KFS\r"
            "\x01PID Olvix 1.01.08g-Linux\r");
}

TEST(LetterFormat, TextPiecesTearAndOrigin) {
  EchoMessage m = SampleMessage();
  std::string long_line(500, 'x');
  EXPECT_EQ(BuildMessageText("one\ntwo\n" + long_line + "\nlast", m),
            "one\rtwo\r" + std::string(381, 'x') + "\r" + std::string(119, 'x') +
                "\rlast\r\r--- Olvix 1.01.08g-Linux\r * Origin: My station (2:100/10)");
  m.origin_text = " * Origin: Already prefixed";
  EXPECT_EQ(BuildMessageText("", m),
            "\r--- Olvix 1.01.08g-Linux\r * Origin: Already prefixed (2:100/10)");
}

std::string WithHeader(const std::string& body, uint16_t orig_net = 300, uint16_t orig_node = 7,
                       uint16_t dest_net = 100, uint16_t dest_node = 1) {
  MessageHeader h;
  h.from_name = "Link";
  h.to_name = "Olvix";
  h.subject = "PASSWORD";
  h.orig_net = orig_net;
  h.orig_node = orig_node;
  h.dest_net = dest_net;
  h.dest_node = dest_node;
  h.orig_zone = 9;  // zones of the header are never read
  h.dest_zone = 9;
  return EncodeMessageHeader(h) + body;
}

TEST(ReadLetterRules, KludgesSetZonesAndPoints) {
  NetmailLetter l;
  ASSERT_EQ(ParseLetter(WithHeader("\x01INTL 2:100/1 2:300/7\r\x01"
                                   "FMPT 4\rHello\r\r"),
                        &l),
            0);
  EXPECT_EQ(FormatAddress(l.origin), "2:300/7.4");
  EXPECT_EQ(FormatAddress(l.destination), "2:100/1");
  ASSERT_EQ(l.lines.size(), 3u);
  EXPECT_EQ(l.lines[2], "Hello");
  EXPECT_EQ(l.subject, "PASSWORD");

  ASSERT_EQ(ParseLetter(WithHeader("Hello\r"), &l), 0);
  EXPECT_EQ(l.origin.zone, 0u);
  EXPECT_EQ(l.destination.zone, 0u);
  EXPECT_EQ(l.origin.net, 300u);

  // MSGID sets the whole origin (cut at "@"); a later INTL overrides zone,
  // net and node but keeps the point; the destination zone follows.
  ASSERT_EQ(ParseLetter(WithHeader("\x01MSGID: 3:50/5.2@fidonet 1234\r\x01TOPT 6\r"), &l), 0);
  EXPECT_EQ(FormatAddress(l.origin), "3:50/5.2");
  EXPECT_EQ(FormatAddress(l.destination), "3:100/1.6");
}

TEST(ReadLetterRules, UnusableKludgesChangeNothing) {
  NetmailLetter l;
  ASSERT_EQ(ParseLetter(WithHeader("\x01INTL\r\x01INTL 2:100/1\r\x01INTL 0:0/1 2:0/7\r"
                                   "\x01MSGID: 0:5/5 1\r\x01MSGID:nospace\rtext\r"),
                        &l),
            0);
  EXPECT_EQ(FormatAddress(l.origin), "0:300/7");
  EXPECT_EQ(FormatAddress(l.destination), "0:100/1");
  EXPECT_EQ(l.lines.size(), 6u);
}

TEST(ReadLetterRules, LineEndsLengthsAndUnfinishedLastLine) {
  NetmailLetter l;
  std::string body = std::string("a\r\nb\n\n\0c", 8) + std::string(2500, 'z') + "\rtail";
  ASSERT_EQ(ParseLetter(WithHeader(body), &l), 0);
  ASSERT_EQ(l.lines.size(), 5u);
  EXPECT_EQ(l.lines[0], "a");
  EXPECT_EQ(l.lines[1], "b");
  EXPECT_EQ(l.lines[2], "c" + std::string(1019, 'z'));
  EXPECT_EQ(l.lines[3], std::string(1020, 'z'));
  EXPECT_EQ(l.lines[4], std::string(461, 'z'));
  // "tail" has no line end and is dropped; a kludge line longer than 1000
  // characters is not looked at.
  ASSERT_EQ(ParseLetter(WithHeader("\x01INTL 2:100/1 2:300/7" + std::string(990, ' ') + "\r"), &l),
            0);
  EXPECT_EQ(l.origin.zone, 0u);
}

TEST(ReadLetterRules, GarbageAfterTheHeaderNeverCrashes) {
  std::mt19937 gen(42);
  for (int round = 0; round < 200; ++round) {
    std::string body;
    size_t n = gen() % 3000;
    for (size_t i = 0; i < n; ++i) {
      unsigned r = gen() % 10;
      body += r == 0 ? '\x01' : r == 1 ? '\r' : r == 2 ? ' ' : static_cast<char>(gen() & 0xFF);
    }
    NetmailLetter l;
    ASSERT_EQ(ParseLetter(WithHeader(body), &l), 0);
    for (const std::string& line : l.lines) {
      EXPECT_FALSE(line.empty());
      EXPECT_LE(line.size(), 1020u);
    }
  }
}

TEST(MessageNumbers, NumberOfAName) {
  struct Case {
    const char* name;
    uint32_t number;
  } cases[] = {
      {"7.msg", 7},   {"  12.msg", 12}, {"+5.msg", 5},          {"-3.msg", 0},
      {"abc.msg", 0}, {"0042.MSG", 42}, {"99999999999.msg", 0}, {"4294967294.msg", 4294967294u}};
  for (const Case& c : cases) EXPECT_EQ(MessageNumberOf(c.name), c.number) << c.name;
  EXPECT_EQ(NextMessageNumber({}), 2u);
  EXPECT_EQ(NextMessageNumber({"1.msg", "7.msg"}), 8u);
  EXPECT_EQ(NextMessageNumber({"abc.msg"}), 2u);
  EXPECT_EQ(MessageFileName(8), "8.msg");
}

TEST(MessageNumbers, SerialsPackTheTimeAndOnlyGrow) {
  const std::tm& tm = kSampleTime;  // 2002: 2002 % 3 == 1
  uint32_t packed =
      (1u << 30) | (3u << 26) | (5u << 21) | (9u << 16) | (37u << 10) | (4u << 4) | (20u % 15);
  EXPECT_EQ(MsgidSerial(tm, 20, 123, 0), packed + 23);
  EXPECT_EQ(MsgidSerial(tm, 20, 0, packed + 50), packed + 51);

  RunContext ctx;
  uint32_t a = NextMsgidSerial(ctx);
  uint32_t b = NextMsgidSerial(ctx);
  EXPECT_GT(b, a);
  EXPECT_EQ(ctx.last_msgid, b);
}

TEST(MessageNumbers, RandomSequenceIsTheUnseededOne) {
  RunContext ctx;
  EXPECT_EQ(NextRandom(ctx), 16838);
  EXPECT_EQ(NextRandom(ctx), 5758);
  EXPECT_EQ(NextRandom(ctx), 10113);
}

class LetterFiles : public ::testing::Test {
 protected:
  LetterFiles() : ctx_(tmp_.path(), tmp_ / "log/") {
    ctx_->cfg.outmail = tmp_ / "outmail/";
    ctx_->cfg.origin = "My station";
    CreatePath(ctx_->cfg.outmail);
  }
  LinkRecord Link(const std::string& flavour) {
    LinkRecord link;
    link.address = {2, 100, 1, 3};
    link.aka = {2, 100, 10, 0};
    link.flavour = flavour;
    return link;
  }
  ScopedTempDir tmp_;
  TestContext ctx_;
};

TEST_F(LetterFiles, NextNumberSkipsOtherFilesAndIsCountedOn) {
  const std::string dir = ctx_->cfg.outmail;
  WriteFile(dir + "1.msg", "x");
  WriteFile(dir + "7.msg", "x");
  WriteFile(dir + "notes.txt", "x");
  EXPECT_EQ(NextMessageName(*ctx_, dir), "8.msg");

  WriteFile(tmp_ / "text.txt", "line\n");
  SendLetter(*ctx_, "Olvix", "Sysop", "Status", Link("NN"), tmp_ / "text.txt", 0x0181);
  EXPECT_NE(ReadFile(dir + "8.msg"), "<missing>");
  // Another program took 9 meanwhile: the next letter passes over it.
  WriteFile(dir + "9.msg", "foreign");
  WriteFile(tmp_ / "text.txt", "line\n");
  SendLetter(*ctx_, "Olvix", "Sysop", "Status", Link("NN"), tmp_ / "text.txt", 0x0181);
  EXPECT_EQ(ReadFile(dir + "9.msg"), "foreign");
  EXPECT_EQ(ListNames(dir),
            (std::vector<std::string>{"1.msg", "10.msg", "7.msg", "8.msg", "9.msg", "notes.txt"}));

  const std::string empty = tmp_ / "empty/";
  CreatePath(empty);
  EXPECT_EQ(NextMessageName(*ctx_, empty), "2.msg");
}

TEST_F(LetterFiles, WrittenLetterReadsBackWithItsText) {
  WriteFile(tmp_ / "report.$$$", "first line\r\nsecond\r\n");
  SendLetter(*ctx_, "Olvix", "Sysop", "Status changes", Link("NN"), tmp_ / "report.$$$", 0x0181);
  EXPECT_TRUE(ctx_->netmail_written);
  EXPECT_EQ(ReadFile(tmp_ / "report.$$$"), "<missing>");  // consumed
  std::string bytes = ReadFile(ctx_->cfg.outmail + "2.msg");
  ASSERT_GT(bytes.size(), kMessageHeaderSize);
  std::string text = bytes.substr(kMessageHeaderSize);
  size_t body = text.find("first line");
  ASSERT_NE(body, std::string::npos);
  EXPECT_EQ(text.substr(body),
            "first line\rsecond\r\r" + LetterTearLine() + "\r * Origin: My station (2:100/10)");
  EXPECT_EQ(text.find("\x01MSGID: 2:100/10 "), 0u);

  NetmailLetter l;
  ASSERT_EQ(ReadLetter(*ctx_, ctx_->cfg.outmail + "2.msg", &l), 0);
  EXPECT_EQ(FormatAddress(l.origin), "2:100/10");
  EXPECT_EQ(FormatAddress(l.destination), "2:100/1.3");
  EXPECT_EQ(l.subject, "Status changes");
  ASSERT_EQ(l.lines.size(), 7u);  // MSGID TOPT INTL PID, two lines, tear (origin has no CR)
  EXPECT_EQ(l.lines[4], "first line");
}

TEST_F(LetterFiles, FlavourModifiersGiveFlagsAndAttributes) {
  struct Case {
    const char* flavour;
    uint16_t attributes;
    const char* flags;
  } cases[] = {{"HH", 0x0381, nullptr},
               {"DD", 0x0181, "\001FLAGS: DIR\r"},
               {"CI", 0x0181, "\001FLAGS: IMM\r"},
               {"NC", 0x0183, nullptr},
               {"N", 0x0181, nullptr}};
  uint32_t number = 2;  // the outbound netmail directory starts empty
  for (const Case& c : cases) {
    SendLetter(*ctx_, "Olvix", "Sysop", "s", Link(c.flavour), "", 0x0181);
    std::string bytes = ReadFile(ctx_->cfg.outmail + MessageFileName(number++));
    MessageHeader h;
    ASSERT_TRUE(DecodeMessageHeader(bytes, &h)) << c.flavour;
    EXPECT_EQ(h.attributes, c.attributes) << c.flavour;
    bool has_flags = bytes.find("FLAGS") != std::string::npos;
    EXPECT_EQ(has_flags, c.flags != nullptr) << c.flavour;
    if (c.flags) {
      EXPECT_NE(bytes.find(c.flags), std::string::npos) << c.flavour;
    }
    // Without a text file the message ends right after the PID kludge.
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "Linux\r") << c.flavour;
  }
}

TEST_F(LetterFiles, FailedWritesLeaveNoMessage) {
  const std::string dir = ctx_->cfg.outmail;
  EchoMessage m = SampleMessage();
  int rc = WriteMessageFile(*ctx_, m, tmp_ / "no-such-text.txt", TextFileAfter::kDelete, dir);
  EXPECT_NE(rc, 0);
  EXPECT_TRUE(ListNames(dir).empty());

  rc = WriteMessageFile(*ctx_, m, "", TextFileAfter::kKeep, tmp_ / "no/such/dir/");
  EXPECT_NE(rc, 0);

  // SendLetter reports the failure with message 89 and keeps the text.
  ctx_->cfg.outmail = tmp_ / "missing/";
  WriteFile(tmp_ / "report.$$$", "text\n");
  SendLetter(*ctx_, "Olvix", "Sysop", "s", Link("NN"), tmp_ / "report.$$$", 0x0181);
  EXPECT_NE(ctx_.LogText().find("There was an error while creating message to 2:100/1.3"),
            std::string::npos);
  EXPECT_EQ(ReadFile(tmp_ / "report.$$$"), "text\n");
}

TEST_F(LetterFiles, ShortMessageFilesAreUnreadableAndStay) {
  const std::string path = tmp_ / "netmail/5.msg";
  for (size_t size : {size_t{0}, size_t{100}, kMessageHeaderSize - 1}) {
    WriteFile(path, std::string(size, 'A'));
    NetmailLetter l;
    l.lines = {"stale"};
    EXPECT_EQ(ReadLetter(*ctx_, path, &l), kInvalidContent) << size;
    EXPECT_TRUE(l.lines.empty());
    EXPECT_EQ(ReadFile(path).size(), size);
  }
  EXPECT_NE(ctx_.LogText().find("contents invalid information"), std::string::npos);

  NetmailLetter l;
  EXPECT_EQ(ReadLetter(*ctx_, tmp_ / "netmail/none.msg", &l), platform::NotFoundCode());
  EXPECT_EQ(ReadLetter(*ctx_, "", &l), 0);
  // A bare header is a letter without lines.
  WriteFile(path, std::string(kMessageHeaderSize, '\0'));
  EXPECT_EQ(ReadLetter(*ctx_, path, &l), 0);
  EXPECT_TRUE(l.lines.empty());
}

TEST_F(LetterFiles, CopiesTakeTheNextNumberOfTheirDirectory) {
  const std::string copies = tmp_ / "copies/";
  WriteFile(copies + "3.msg", "old");
  WriteFile(tmp_ / "in.msg", "letter");
  std::string placed;
  ASSERT_EQ(CopyMessageInto(*ctx_, tmp_ / "in.msg", copies, &placed), 0);
  EXPECT_EQ(placed, copies + "4.msg");
  EXPECT_EQ(ReadFile(placed), "letter");
  EXPECT_EQ(ListNames(copies), (std::vector<std::string>{"3.msg", "4.msg"}));
}

}  // namespace
}  // namespace olvix
