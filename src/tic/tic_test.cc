#include "tic/tic.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "config/records.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/test_dir.h"
#include "util/msgnum.h"
#include "util/random.h"

namespace olvix {
namespace {

const char kGoodTic[] =
    "Area my.echo\r\n"
    "File foo.zip\r\n"
    "From 2:5020/1\r\n";

TEST(ParseTicTest, KeywordsInAnyCaseAndValuesUpperCased) {
  TicRecord t;
  ASSERT_EQ(ParseTic("aReA my.echo\nFILE foo.zip\nfrom 2:5020/1.3\nOrigin 2:5020/9\nto 2:5020/2\n"
                     "Replaces foo*.zip\nMagic latest\nPwd secret\nAreaDesc Mixed Case\n"
                     "Path 2:5020/9 123 Mon\nSeenBy 2:5020/9\nFrobnicate something\n",
                     &t),
            0);
  EXPECT_FALSE(t.bad);
  EXPECT_EQ(t.area, "MY.ECHO");
  EXPECT_EQ(t.file, "FOO.ZIP");
  EXPECT_EQ(t.from, (FtnAddress{2, 5020, 1, 3}));
  EXPECT_EQ(t.origin, (FtnAddress{2, 5020, 9, 0}));
  EXPECT_EQ(t.to, (FtnAddress{2, 5020, 2, 0}));
  EXPECT_EQ(t.replaces, "FOO*.ZIP");
  EXPECT_EQ(t.magic, "LATEST");
  EXPECT_EQ(t.password, "SECRET");
  EXPECT_EQ(t.area_desc, "Mixed Case");
  EXPECT_EQ(t.path_list, std::vector<std::string>{"2:5020/9 123 Mon"});
  EXPECT_EQ(t.seen_by_list, std::vector<std::string>{"2:5020/9"});
}

TEST(ParseTicTest, LaterLinesWin) {
  TicRecord t;
  ASSERT_EQ(ParseTic("Area ONE\nArea TWO\nPw first\nPWD second\nFile a\nFrom 1:1/1\n", &t), 0);
  EXPECT_EQ(t.area, "TWO");
  EXPECT_EQ(t.password, "SECOND");
}

TEST(ParseTicTest, DescriptionLines) {
  TicRecord t;
  ASSERT_EQ(ParseTic(std::string(kGoodTic) + "Desc\n"   // no blank: ignored
                                             "Desc \n"  // empty value: nothing
                                             "Desc   indented  \n"
                                             "LDESC Second Line\n"
                                             "desc third\n",
                     &t),
            0);
  EXPECT_EQ(t.desc_list, (std::vector<std::string>{"  indented", "Second Line", "third"}));
  EXPECT_EQ(t.desc_lines,
            (std::vector<std::string>{"Desc   indented", "LDESC Second Line", "desc third"}));
}

TEST(ParseTicTest, TabSeparatesLikeABlank) {
  TicRecord t;
  ASSERT_EQ(ParseTic("Area\tTABBED\nFile a\nFrom 1:1/1\n", &t), 0);
  EXPECT_EQ(t.area, "TABBED");
}

TEST(ParseTicTest, CrcAndSizeConversion) {
  struct Case {
    const char* line;
    uint32_t crc;
  } cases[] = {
      {"Crc 1A2B3C4D", 0x1A2B3C4D},
      {"CRC 0x1a2b3c4d", 0x1A2B3C4D},
      {"crc 1a2b3c4d", 0x1A2B3C4D},
      {"Crc 00ABCDEF", 0xABCDEF},
      {"Crc zz12", 0},
      {"Crc 12G4", 0x12},
      {"Crc 123456789AB", 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    TicRecord t;
    ASSERT_EQ(ParseTic(std::string(kGoodTic) + c.line + "\n", &t), 0) << c.line;
    EXPECT_EQ(t.crc, c.crc) << c.line;
  }
  TicRecord t;
  ASSERT_EQ(ParseTic(std::string(kGoodTic) + "Size 12345abc\n", &t), 0);
  EXPECT_EQ(t.size, 12345u);
  EXPECT_EQ(t.crc, 0u);  // a missing CRC line is no error for the reader
  ASSERT_EQ(ParseTic(std::string(kGoodTic) + "Size 99999999999\n", &t), 0);
  EXPECT_EQ(t.size, 0xFFFFFFFFu);
}

TEST(ParseTicTest, Validity) {
  TicRecord t;
  EXPECT_EQ(ParseTic("Area A\nFile f\n", &t), kTicInvalid);
  EXPECT_TRUE(t.bad);
  EXPECT_EQ(t.area, "A");  // what was read stays
  EXPECT_EQ(ParseTic("Area A\nFile f\nFrom 0:0/5\n", &t), kTicInvalid);
  EXPECT_EQ(ParseTic("Area A\nFile f\nFrom 0:5/1\n", &t), 0);
  EXPECT_FALSE(t.bad);
  EXPECT_EQ(ParseTic("File f\nFrom 2:5/1\n", &t), kTicInvalid);
  EXPECT_EQ(ParseTic("Area A\nFrom 2:5/1\n", &t), kTicInvalid);
  EXPECT_EQ(ParseTic("Area A\nFile \nFrom 2:5/1\n", &t), kTicInvalid);
  // A file name with a path is read as it stands; the toss refuses it.
  EXPECT_EQ(ParseTic("Area A\nFile ../../etc/passwd\nFrom 2:5/1\n", &t), 0);
  EXPECT_EQ(t.file, "../../ETC/PASSWD");
  EXPECT_EQ(ParseTic("", &t), kTicInvalid);
}

TEST(ParseTicTest, LongLineIsCutAndItsRestReadAsTheNextLine) {
  std::string desc(504, 'x');  // "Desc " + 504 = 509 characters
  TicRecord t;
  ASSERT_EQ(ParseTic(std::string(kGoodTic) + "Desc " + desc + "Magic tail\n", &t), 0);
  ASSERT_EQ(t.desc_list.size(), 1u);
  EXPECT_EQ(t.desc_list[0], desc);
  EXPECT_EQ(t.magic, "TAIL");
  // A line of many kilobytes without a blank after the first piece.
  ASSERT_EQ(ParseTic(std::string(kGoodTic) + "Desc " + std::string(5000, 'y') + "\n", &t), 0);
  ASSERT_EQ(t.desc_list.size(), 1u);
  EXPECT_EQ(t.desc_list[0].size(), 504u);
}

TEST(ParseTicTest, ControlCharactersAreBlanks) {
  // A NUL hides nothing and a bare CR, ESC or form feed ends no line: each
  // is one blank, as a tab is (never the eight of an expansion).
  const char raw[] =
      "Area FOO\0BAR EVIL\nFile a.zip\0../x\nFrom 2:1/1\n"
      "Desc one\rReplaces *\nLDesc \t\x1b[2J\x0c\tx\n";
  std::string text(raw, sizeof raw - 1);
  TicRecord t;
  ASSERT_EQ(ParseTic(text, &t), 0);
  EXPECT_EQ(t.area, "FOO BAR EVIL");
  EXPECT_EQ(t.file, "A.ZIP ../X");
  EXPECT_EQ(t.replaces, "");
  EXPECT_EQ(t.desc_list, (std::vector<std::string>{"one Replaces *", "  [2J  x"}));
}

TEST(ParseTicTest, BinaryGarbageIsInvalidNotACrash) {
  std::string garbage;
  uint32_t x = 12345;
  for (int i = 0; i < 20000; ++i) {
    x = x * 1664525u + 1013904223u;
    garbage += static_cast<char>(x >> 24);
  }
  TicRecord t;
  EXPECT_EQ(ParseTic(garbage, &t), kTicInvalid);
  EXPECT_EQ(ParseTic(garbage + "\nArea X\nFile y\nFrom 1:2/3\n", &t), 0);
}

class TicFileTest : public testing_dir::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ctx_.log.logchars = "";
    ctx_.cfg.utc = 3;
    link_.address = {2, 5020, 2, 0};
    link_.aka = {2, 5020, 1, 0};
    link_.password = "LINKPW";
    AreaRecord area;
    area.tag = "MY.ECHO";
    area.description = "My echo";
    area.has_description = true;
    ctx_.areas.Add(std::move(area));
    tic_.area = "MY.ECHO";
    tic_.file = "FOO.ZIP";
    tic_.origin = {2, 5020, 9, 0};
    tic_.password = "INCOMING";
    tic_.area_desc = "Not passed on";
    tic_.size = 1234;
    tic_.crc = 0xABCDEF;
    tic_.desc_list = {"first", "  second", "third"};
    tic_.desc_lines = {"DESC first", "ldesc   second", "LDesc third"};
    tic_.path_list = {"2:5020/9 1000000000 Sun Sep 09 2001 01:46:40 UTC+0000"};
    tic_.seen_by_list = {"2:5020/9", "2:5020/2"};
  }

  std::string Expected(const std::string& desc_part, const std::string& seen_by_tail) {
    std::string when = platform::FormatTime("%a %b %d %Y %T", platform::LocalTime(kNow));
    return "Created by Olvix 1.01.08g-" + std::string(platform::PlatformName()) +
           "\r\n"
           "From 2:5020/1\r\n"
           "Origin 2:5020/9\r\n"
           "To 2:5020/2\r\n"
           "Area MY.ECHO\r\n"
           "File FOO.ZIP\r\n"
           "Pw LINKPW\r\n"
           "Size 1234\r\n"
           "Crc 00ABCDEF\r\n"
           "AreaDesc My echo\r\n" +
           desc_part +
           "Path 2:5020/9 1000000000 Sun Sep 09 2001 01:46:40 UTC+0000\r\n"
           "Path 2:5020/1 1700000000 " +
           when +
           " UTC+0300\r\n"
           "SeenBy 2:5020/9\r\n"
           "SeenBy 2:5020/2\r\n" +
           seen_by_tail;
  }

  static constexpr int64_t kNow = 1700000000;
  RunContext ctx_;
  LinkRecord link_;
  TicRecord tic_;
};

TEST_F(TicFileTest, TicTextPassesIncomingDescLinesToPlainLinks) {
  EXPECT_EQ(TicText(ctx_, tic_, link_, kNow),
            Expected("DESC first\r\nldesc   second\r\nLDesc third\r\n", "SeenBy 2:5020/1\r\n"));
}

TEST_F(TicFileTest, TicTextForGLinks) {
  link_.options = "G";
  EXPECT_EQ(TicText(ctx_, tic_, link_, kNow),
            Expected("LDesc first\r\nLDesc   second\r\nLDesc third\r\n", "SeenBy 2:5020/1\r\n"));
  tic_.desc_list = {"only"};
  tic_.desc_lines = {"LDESC only"};
  EXPECT_EQ(TicText(ctx_, tic_, link_, kNow), Expected("Desc only\r\n", "SeenBy 2:5020/1\r\n"));
}

TEST_F(TicFileTest, TicTextForALocallyBuiltRecord) {
  tic_.desc_lines.clear();
  tic_.magic = "LATEST";
  tic_.replaces = "FOO*.ZIP";
  std::string text = TicText(ctx_, tic_, link_, kNow);
  EXPECT_NE(text.find("AreaDesc My echo\r\nMagic LATEST\r\nReplaces FOO*.ZIP\r\n"
                      "Desc first\r\nLDesc   second\r\nLDesc third\r\nPath "),
            std::string::npos)
      << text;
}

TEST_F(TicFileTest, OurSeenByIsNotRepeated) {
  tic_.seen_by_list.push_back("2:5020/1.0");
  std::string text = TicText(ctx_, tic_, link_, kNow);
  EXPECT_TRUE(text.ends_with("SeenBy 2:5020/2\r\nSeenBy 2:5020/1.0\r\n")) << text;
}

TEST_F(TicFileTest, NegativeOffsetAndNoAreaDescription) {
  ctx_.cfg.utc = -5;
  tic_.area = "UNKNOWN";
  tic_.desc_list.clear();
  std::string text = TicText(ctx_, tic_, link_, kNow);
  EXPECT_NE(text.find(" UTC-0500\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("AreaDesc"), std::string::npos) << text;
  EXPECT_EQ(text.find("Desc"), std::string::npos) << text;
}

TEST_F(TicFileTest, WriteThenReadBack) {
  ASSERT_EQ(WriteTic(ctx_, Path("out.tic"), tic_, link_), 0);
  EXPECT_EQ(Names(), std::vector<std::string>{"out.tic"});
  std::string data = Read("out.tic");
  EXPECT_TRUE(data.starts_with("Created by Olvix 1.01.08g-")) << data;
  EXPECT_TRUE(data.ends_with("SeenBy 2:5020/1\r\n")) << data;

  TicRecord back;
  ASSERT_EQ(ReadTic(ctx_, Path("out.tic"), &back), 0);
  EXPECT_EQ(back.tic_name, Path("out.tic"));
  EXPECT_EQ(back.area, "MY.ECHO");
  EXPECT_EQ(back.file, "FOO.ZIP");
  EXPECT_EQ(back.from, link_.aka);
  EXPECT_EQ(back.password, "LINKPW");
  EXPECT_EQ(back.crc, 0xABCDEFu);
  EXPECT_EQ(back.size, 1234u);
  EXPECT_EQ(back.desc_list, tic_.desc_list);
  EXPECT_EQ(back.seen_by_list.size(), 3u);
  EXPECT_EQ(ctx_.files.open_count(), 0u);
}

TEST_F(TicFileTest, FailedWriteLeavesNoFile) {
  // The directory does not exist: the create fails.
  EXPECT_EQ(WriteTic(ctx_, Path("missing/out.tic"), tic_, link_), platform::NotFoundCode());
  // The name is taken by a directory: the final rename fails, and the
  // temporary file must not stay behind for a mailer to find.
  ASSERT_EQ(platform::MakeDir(Path("taken.tic")), 0);
  EXPECT_NE(WriteTic(ctx_, Path("taken.tic"), tic_, link_), 0);
  EXPECT_EQ(Names(), std::vector<std::string>{"taken.tic"});
}

TEST_F(TicFileTest, DiskFullLeavesNoTicket) {
  platform::SetFaultPlan("enospc:1:full.tic");
  EXPECT_EQ(WriteTic(ctx_, Path("full.tic"), tic_, link_), platform::NoSpaceCode());
  platform::SetFaultPlan("");
  EXPECT_TRUE(Names().empty());
}

TEST_F(TicFileTest, ReadTicFileEdgeCases) {
  TicRecord t;
  EXPECT_EQ(ReadTic(ctx_, Path("absent.tic"), &t), platform::NotFoundCode());
  EXPECT_EQ(t.tic_name, Path("absent.tic"));
  Write("empty.tic", "");
  EXPECT_EQ(ReadTic(ctx_, Path("empty.tic"), &t), kTicInvalid);
  EXPECT_TRUE(t.bad);
  const char nul[] = "Area A\0\0\0\r\nFile b.zip\r\n\0\0From 2:1/1\r\nFrom 3:2/1\r\n";
  Write("nul.tic", std::string(nul, sizeof nul - 1));
  ASSERT_EQ(ReadTic(ctx_, Path("nul.tic"), &t), 0);
  EXPECT_EQ(t.area, "A");
  EXPECT_EQ(t.from, (FtnAddress{3, 2, 1, 0}));
  // Lines far longer than the read buffer, CR LF split over a piece border.
  Write("long.tic", std::string(kGoodTic) + "Desc " + std::string(503, 'z') + "\r\n" + "Desc " +
                        std::string(3000, 'w') + "\r\nSize 7\r\n");
  ASSERT_EQ(ReadTic(ctx_, Path("long.tic"), &t), 0);
  ASSERT_EQ(t.desc_list.size(), 2u);
  EXPECT_EQ(t.desc_list[0], std::string(503, 'z'));
  EXPECT_EQ(t.size, 7u);
  EXPECT_EQ(ctx_.files.open_count(), 0u);
}

TEST(RandomTest, SameSequenceInEveryRun) {
  RunContext a, b;
  const int expected[] = {16838, 5758, 10113, 17515, 31051, 5627};
  for (int e : expected) {
    EXPECT_EQ(NextRandom(a), e);
    EXPECT_EQ(NextRandom(b), e);
  }
}

TEST(RandomTest, SerialsStrictlyIncrease) {
  RunContext ctx;
  std::tm tm{};
  tm.tm_year = 2024 - 1900;  // 2024 % 3 == 2
  tm.tm_mon = 11;
  tm.tm_mday = 7;
  tm.tm_hour = 23;
  tm.tm_min = 59;
  tm.tm_sec = 59;
  uint32_t packed =
      (2u << 30) | (12u << 26) | (7u << 21) | (23u << 16) | (59u << 10) | (59u << 4) | (17 % 15);
  uint32_t first = NextMsgidSerialAt(ctx, tm, 17);
  EXPECT_EQ(first, packed + 16838 % 100);
  EXPECT_EQ(NextMsgidSerialAt(ctx, tm, 17), packed + 5758 % 100);
  // 10113 % 100 would give a smaller serial than the last one.
  EXPECT_EQ(NextMsgidSerialAt(ctx, tm, 17), packed + 5758 % 100 + 1);
  EXPECT_GT(NextMsgidSerial(ctx), packed + 5758 % 100 + 1);
}

class NewTicNameTest : public testing_dir::TempDirTest {};

TEST_F(NewTicNameTest, NamesFollowTheGeneratorAndSkipExistingFiles) {
  RunContext ctx;
  // A last serial above any clock value makes the serials 0xF0000001,
  // 0xF0000002, ... and the names depend on the generator alone.
  ctx.last_msgid = 0xF0000000u;
  EXPECT_EQ(NewTicName(ctx, dir_), "oll2glfj.tic");

  RunContext again;
  again.last_msgid = 0xF0000000u;
  Write("OLL2GLFJ.TIC", "");  // taken, whatever the case on disk
  EXPECT_EQ(NewTicName(again, dir_), "oll2gu0b.tic");
}

TEST_F(NewTicNameTest, NamesHaveTheTicketForm) {
  RunContext ctx;
  for (int i = 0; i < 200; ++i) {
    std::string name = NewTicName(ctx, dir_);
    ASSERT_EQ(name.size(), 12u) << name;
    EXPECT_TRUE(name.starts_with("ol") && name.ends_with(".tic")) << name;
    for (size_t k = 2; k < 8; ++k)
      EXPECT_TRUE((name[k] >= '0' && name[k] <= '9') || (name[k] >= 'a' && name[k] <= 'z') ||
                  name[k] == '_')
          << name;
  }
}

TEST(SeenByHasTest, ComparesParsedAddresses) {
  std::vector<std::string> list = {"2:5020/9", "2:5020/1.0", "garbage"};
  EXPECT_TRUE(SeenByHas(list, {2, 5020, 1, 0}));
  EXPECT_TRUE(SeenByHas(list, {2, 5020, 9, 0}));
  EXPECT_FALSE(SeenByHas(list, {2, 5020, 1, 1}));
  EXPECT_FALSE(SeenByHas({}, {2, 5020, 1, 0}));
}

// Whatever bytes a ticket holds, the ticket written for a link from it
// reads back with the same values and as many description, path and
// SEEN-BY lines: no value can split into a line of its own downstream.
TEST_F(TicFileTest, WrittenTicketsReadBackLineForLine) {
  std::mt19937 rng(20261209);
  const std::string pieces[] = {
      "Area ",  "File ",         "Desc ", "LDesc ", "Path ", "SeenBy ", "Replaces ",
      "Magic ", "From 2:5020/2", "\t",    "\r",     "\n",    "\r\n",    std::string(1, '\0'),
      "x",      "\x1b",          "Area X"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int n = static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i) {
      text += pieces[rng() % std::size(pieces)];
      if (rng() % 8 == 0) text += std::string(rng() % 600, rng() % 2 ? '\t' : 'y');
    }
    TicRecord tic;
    (void)ParseTic(text, &tic);
    for (const char* options : {"", "G"}) {
      link_.options = options;
      TicRecord back;
      (void)ParseTic(TicText(ctx_, tic, link_, kNow), &back);
      ASSERT_EQ(back.area, tic.area) << text;
      ASSERT_EQ(back.file, tic.file) << text;
      ASSERT_EQ(back.replaces, tic.replaces) << text;
      ASSERT_EQ(back.magic, tic.magic) << text;
      ASSERT_EQ(back.password, "LINKPW");
      ASSERT_EQ(back.desc_list.size(), tic.desc_list.size()) << text;
      ASSERT_EQ(back.path_list.size(), tic.path_list.size() + 1) << text;
      ASSERT_GE(back.seen_by_list.size(), tic.seen_by_list.size()) << text;
      ASSERT_LE(back.seen_by_list.size(), tic.seen_by_list.size() + 1) << text;
    }
  }
}

}  // namespace
}  // namespace olvix
