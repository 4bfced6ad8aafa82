// TOSS through the built program: loading and checking inbound tickets,
// rejection to the bad files directory, missing files, duplicates and
// unsafe names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/crc32.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";

std::string CrcOf(const std::string& data) { return Format("%08X", Crc32(data)); }

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++n;
  return n;
}

// --- Accepted tickets ---------------------------------------------------

TEST(TossAccept, PlacesTheFileSendsItAndCleansTheInbound) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.pw = "sEcReT";  // passwords compare without regard to case
  t.extra = {"Desc A greeting"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
  EXPECT_EQ(n.s.Read("files/a/files.bbs"), "HELLO.TXT    [00] A greeting\n");
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_EQ(n.Names("out/bso"), "139c0003.clo 139c0004.flo");
  EXPECT_EQ(LevelLines(r.Plain(), ':'),
            "Loading .TIC files\n"
            "Checking .TIC file info\n"
            "a.tic loaded succesfully:\n"
            "\xc3 File      : HELLO.TXT\n"
            "\xc3 Desc      : A greeting\n"
            "\xc3 Size      : 12\n"
            "\xc3 Area      : FILES.A\n"
            "\xc3 Origin    : 2:5020/2\n"
            "\xc0 From      : 2:5020/2\n");
}

TEST(TossAccept, MissingCrcTakesTheComputedOneAndSizeIsTheRealSize) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.crc = "-";
  t.extra = {"Size 99999"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string out = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(Holds(out, "\r\nSize 12\r\nCrc " + CrcOf(kHello) + "\r\n"));
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
}

TEST(TossAccept, WithoutVerifyCrcAWrongCrcIsPassedOn) {
  TossNode n;
  n.settings = "VERIFYCRC No\n";
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.crc = "0xdeadbeef";
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_TRUE(Holds(n.s.Read(n.TicOfFlow("out/bso/139c0004.flo")), "\r\nCrc DEADBEEF\r\n"));
}

// --- Rejections ---------------------------------------------------------

struct RejectCase {
  const char* what;
  Ticket ticket;
  std::string reason;
};

std::vector<RejectCase> RejectCases() {
  std::vector<RejectCase> cases;
  auto add = [&cases](const char* what, const std::string& reason, auto change) {
    RejectCase c{what, Ticket{}, reason};
    change(c.ticket);
    cases.push_back(c);
  };
  add("1 unknown link", "Link 2:5020/99 unknown", [](Ticket& t) { t.from = "2:5020/99"; });
  add("2 unknown fileecho", "Link 2:5020/2 cannot create fechos",
      [](Ticket& t) { t.area = "NO.SUCH.ECHO"; });
  add("3 other group", "Link 2:5020/8 is not in the same group with fileecho FILES.A",
      [](Ticket& t) {
        t.from = "2:5020/8";
        t.pw = "PASS8";
      });
  add("4 low level", "Link 2:5020/9 has not enough security for FILES.A", [](Ticket& t) {
    t.from = "2:5020/9";
    t.pw = "PASS9";
  });
  add("5 read-only subscription", "Link 2:5020/10 cannot write to fileecho FILES.A", [](Ticket& t) {
    t.from = "2:5020/10";
    t.pw = "PASS10";
  });
  add("5 not subscribed", "Link 2:5020/3 cannot write to fileecho FILES.R", [](Ticket& t) {
    t.area = "files.r";
    t.from = "2:5020/3";
    t.pw = "PASS3";
  });
  add("6 read-only link", "Link 2:5020/6 is in Read-Only status", [](Ticket& t) {
    t.from = "2:5020/6";
    t.pw = "PASS6";
  });
  add("7 wrong password", "Unexpected password \"WRONG\" for Link 2:5020/2",
      [](Ticket& t) { t.pw = "wrong"; });
  add("7 no password", "Unexpected password \"\" for Link 2:5020/2", [](Ticket& t) { t.pw = ""; });
  add("8 wrong crc", "Invalid CRC-32", [](Ticket& t) { t.crc = "12345678"; });
  return cases;
}

TEST(TossReject, EachReasonMovesBothFilesToBadWithTwoDescriptionLines) {
  for (const RejectCase& c : RejectCases()) {
    SCOPED_TRACE(c.what);
    TossNode n;
    n.AddFile("hello.txt", kHello);
    n.AddTic("a.tic", c.ticket);
    std::string tic_text = n.s.Read("in/a.tic");
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Holds(r.Plain(),
                      "! File a.tic contents invalid information:\n"
                      "! " +
                          c.reason + "\n"));
    EXPECT_EQ(n.Names("in"), "");
    EXPECT_EQ(n.Names("bad"), "a.tic files.bbs hello.txt");
    EXPECT_EQ(n.s.Read("bad/hello.txt"), kHello);
    EXPECT_EQ(n.s.Read("bad/a.tic"), tic_text);
    EXPECT_EQ(n.s.Read("bad/files.bbs"),
              "HELLO.TXT " + c.reason + "\na.tic " + c.reason + " for file HELLO.TXT\n");
    EXPECT_EQ(n.Names("files/a"), "");
    EXPECT_EQ(n.Names("outtics"), "");
    EXPECT_EQ(n.Names("out/bso"), "");
  }
}

TEST(TossReject, WithoutUpdateDescTheBadDirectoryGetsNoDescriptionFile) {
  TossNode n;
  n.settings = "UPDATEDESC No\n";
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.pw = "WRONG";
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "a.tic hello.txt");
}

TEST(TossReject, ABadTicketDoesNotStopTheGoodOnes) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddFile("other.txt", "other\n");
  Ticket bad;
  bad.pw = "WRONG";
  n.AddTic("a.tic", bad);
  Ticket good;
  good.file = "OTHER.TXT";
  n.AddTic("b.tic", good);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "a.tic files.bbs hello.txt");
  EXPECT_EQ(n.Names("files/a"), "files.bbs other.txt");
  EXPECT_EQ(n.Names("in"), "");
}

// A link that may create fileechoes creates the one its ticket names, and
// the ticket goes on through the checks into it. Without a list naming the
// fileecho, the ticket's own area description is taken, made one line.
TEST(TossReject, AnUnknownFileechoFromALinkThatMayCreateCreatesIt) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket t;
  t.area = "NEW.ECHO";
  t.from = "2:5020/5";
  t.pw = "PASS5";
  t.extra = {"Areadesc Ticket\x01text\rmore"};
  n.AddTic("a.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Creating new fileecho NEW.ECHO\n"));
  EXPECT_FALSE(Holds(r.Plain(), "There is no such area"));
  EXPECT_TRUE(Holds(n.s.Read("olxareas.ini"), "Area    NEW.ECHO " + n.s.dir() +
                                                  "new/NEW_ECHO/ A 0 0 2:5020/1\n"
                                                  "Desc    Ticket text more\n"
                                                  "Links   2:5020/5\n"));
  EXPECT_EQ(n.s.Read("new/NEW_ECHO/hello.txt"), kHello);
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.Names("bad"), "");
}

// A ticket that cannot be read as one stays where it is, untouched.
TEST(TossReject, UnreadableTicketsStayInTheInbound) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.s.Write("in/empty.tic", "");
  n.s.Write("in/nofrom.tic", "Area FILES.A\r\nFile HELLO.TXT\r\nPw SECRET\r\n");
  n.s.Write("in/garbage.tic",
            std::string("\0\x01\xff Area\0 FILES.A\n\n\0", 19) + std::string(3000, 'x') + "\n");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("in"), "empty.tic garbage.tic hello.txt nofrom.tic");
  EXPECT_EQ(n.Names("bad"), "");
}

// --- Unsafe names ---------------------------------------------------------

TEST(TossReject, FileNamesWithAPathGoToBadAloneAndTheNamedFileIsUntouched) {
  const char* names[] = {
      "../outside.txt", "..\\outside.txt", "c:outside.txt", "/tmp/x", "sub/inner.txt", ".", ".."};
  for (const char* name : names) {
    SCOPED_TRACE(name);
    TossNode n;
    n.s.Write("outside.txt", "precious\n");
    n.s.Write("in/sub/inner.txt", "inner\n");
    Ticket t;
    t.file = name;
    t.crc = "-";
    n.AddTic("a.tic", t);
    std::string tic_text = n.s.Read("in/a.tic");
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    std::string upper = Upper(name);
    EXPECT_TRUE(Holds(r.Plain(),
                      "! File a.tic contents invalid information:\n"
                      "! Invalid file name\n"));
    EXPECT_EQ(n.Names("bad"), "a.tic files.bbs");
    EXPECT_EQ(n.s.Read("bad/a.tic"), tic_text);
    EXPECT_EQ(n.s.Read("bad/files.bbs"),
              upper + " Invalid file name\na.tic Invalid file name for file " + upper + "\n");
    EXPECT_EQ(n.s.Read("outside.txt"), "precious\n");
    EXPECT_EQ(n.s.Read("in/sub/inner.txt"), "inner\n");
    EXPECT_EQ(n.Names("in"), "sub/");
    EXPECT_EQ(n.Names("files/a"), "");
    EXPECT_EQ(n.Names("outtics"), "");
  }
}

// REPLACES and MAGIC may not name anything outside the directory either;
// the ticket's own file is a plain inbound file and goes to bad with it.
TEST(TossReject, ReplacesOrMagicWithAPathIsRejected) {
  const char* lines[] = {"Replaces ../*", "Replaces ..\\A\\*.TXT", "Replaces C:*",
                         "Magic ../../OUTSIDE", "Magic SUB/X"};
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    TossNode n;
    n.s.Write("outside.txt", "precious\n");
    n.s.Write("files/a/old.txt", "old\n");
    n.AddFile("hello.txt", kHello);
    Ticket t;
    t.extra = {line};
    n.AddTic("a.tic", t);
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Holds(r.Plain(), "! Invalid file name\n"));
    EXPECT_EQ(n.Names("bad"), "a.tic files.bbs hello.txt");
    EXPECT_EQ(n.s.Read("outside.txt"), "precious\n");
    EXPECT_EQ(n.Names("files/a"), "old.txt");
    EXPECT_EQ(n.Names("in"), "");
  }
}

// --- Missing files ------------------------------------------------------

TEST(TossMissing, LostTicDaysZeroDeletesATicketWithoutItsFile) {
  TossNode n;
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(),
                    "! File HELLO.TXT does not exist or wasn't\n"
                    "! completely received.\n"));
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.Names("bad"), "");
}

TEST(TossMissing, APositiveLostTicDaysKeepsAYoungTicketAndDeletesAnOldOne) {
  TossNode n;
  n.settings = "LOSTTICDAYS 3\n";
  n.AddTic("young.tic", Ticket{});
  n.AddTic("old.tic", Ticket{});
  ASSERT_EQ(platform::SetModTime(n.s.PathOf("in/young.tic"), platform::Now() - 2 * 86400 - 3600),
            0);
  ASSERT_EQ(platform::SetModTime(n.s.PathOf("in/old.tic"), platform::Now() - 3 * 86400 - 60), 0);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("in"), "young.tic");

  // The file arrives: the kept ticket is tossed.
  n.AddFile("hello.txt", kHello);
  n.AddTic("young.tic", Ticket{});
  r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
}

TEST(TossMissing, SearchBadsFetchesTheFileFromTheBadDirectory) {
  TossNode n;
  n.settings = "SEARCHBADS Yes\n";
  n.s.Write("bad/hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), ". Trying to find HELLO.TXT in bads\n"));
  EXPECT_EQ(n.Names("bad"), "");
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
  EXPECT_EQ(n.Names("in"), "");
}

TEST(TossMissing, WithoutSearchBadsTheBadDirectoryIsNotLookedAt) {
  TossNode n;
  n.s.Write("bad/hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(r.Contains("Trying to find"));
  EXPECT_EQ(n.Names("bad"), "hello.txt");
  EXPECT_EQ(n.Names("files/a"), "");
}

// --- Kept tickets and duplicates ------------------------------------------

TEST(TossKeep, KeepTicsGetsACopyOfEveryAcceptedTicketOnly) {
  TossNode n;
  n.settings = "KEEPTICS keep\n";
  n.AddFile("hello.txt", kHello);
  n.AddFile("other.txt", "other\n");
  n.AddTic("a.tic", Ticket{});
  Ticket bad;
  bad.file = "OTHER.TXT";
  bad.pw = "WRONG";
  n.AddTic("b.tic", bad);
  std::string a_text = n.s.Read("in/a.tic");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("keep"), "a.tic");
  EXPECT_EQ(n.s.Read("keep/a.tic"), a_text);
}

TEST(TossDupes, ASecondTicketForTheSameFileWithTheSameCrcIsDropped) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  Ticket first;
  first.extra = {"Desc first"};
  n.AddTic("a.tic", first);
  Ticket second;
  second.extra = {"Desc second"};
  n.AddTic("b.tic", second);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.Contains("a.tic loaded succesfully:"));
  EXPECT_FALSE(r.Contains("b.tic loaded succesfully:"));
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.Names("outtics").size(), std::string("ol000000.tic ol000000.tic").size());
  EXPECT_EQ(n.s.Read("files/a/files.bbs"), "HELLO.TXT    [00] first\n");
}

TEST(TossDupes, ASecondTicketWithAnotherCrcReplacesTheFirst) {
  TossNode n;
  n.settings = "VERIFYCRC No\n";
  n.AddFile("hello.txt", kHello);
  Ticket first;
  first.crc = "11111111";  // describes an earlier version of the file
  first.extra = {"Desc first"};
  n.AddTic("a.tic", first);
  Ticket second;
  second.extra = {"Desc second"};
  n.AddTic("b.tic", second);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.Contains("a.tic loaded succesfully:"));
  EXPECT_FALSE(r.Contains("b.tic loaded succesfully:"));  // no summary for the winner
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.s.Read("files/a/files.bbs"), "HELLO.TXT    [00] second\n");
  std::string out = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(Holds(out, "\r\nCrc " + CrcOf(kHello) + "\r\n"));
  EXPECT_TRUE(Holds(out, "\r\nDesc second\r\n"));
  EXPECT_EQ(n.Names("outtics").size(), std::string("ol000000.tic ol000000.tic").size());
}

TEST(TossDupes, SameNamesInDifferentFileechoesAreNoDuplicates) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  Ticket other;
  other.area = "LIMITED";
  n.AddTic("b.tic", other);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
  EXPECT_EQ(n.s.Read("files/lim/hello.txt"), kHello);
}

TEST(TossDupes, DupeCheckMovesAKnownFileToTheDupesDirectory) {
  TossNode n;
  n.settings = "DUPESDIR dupes\n";
  n.s.Write("files/a/hello.txt", kHello);
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  n.AddFile("other.txt", "new\n");
  n.s.Write("files/a/other.txt", "old\n");  // same name, other contents
  Ticket other;
  other.file = "OTHER.TXT";
  n.AddTic("b.tic", other);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(LevelLines(r.Plain(), '#').find("Dupe file OTHER.TXT"), std::string::npos);
  EXPECT_TRUE(Holds(r.Plain(), "# Dupe file HELLO.TXT in fileecho FILES.A\n"));
  EXPECT_EQ(n.Names("dupes"), "a.tic hello.txt");
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.s.Read("files/a/other.txt"), "new\n");
  EXPECT_EQ(n.s.Read("files/a/files.bbs"), "OTHER.TXT    [00] No description found\n");
  // Only the new file went out.
  EXPECT_EQ(n.s.Read("out/bso/139c0004.flo").find("hello.txt"), std::string::npos);
  EXPECT_NE(n.s.Read("out/bso/139c0004.flo").find("other.txt"), std::string::npos);
}

TEST(TossDupes, DupeWideLooksInEveryLocalFileechoAndAutocopyDirectory) {
  struct Case {
    const char* what;
    const char* settings;
    const char* copy_in;  // where an equal file lies already
    int hits;
  };
  const Case cases[] = {
      {"other area, narrow", "DUPESDIR dupes\n", "files/r/hello.txt", 0},
      {"other area, wide", "DUPESDIR dupes\nDUPEWIDE Yes\n", "files/r/hello.txt", 1},
      {"passthrough area, wide", "DUPESDIR dupes\nDUPEWIDE Yes\n", "pass/a/hello.txt", 0},
      {"autocopy directory, wide", "DUPESDIR dupes\nDUPEWIDE Yes\n[AUTOCOPY]\nNONE.* * copies\n",
       "copies/hello.txt", 1},
      {"skipped", "DUPESDIR dupes\nDUPEWIDE Yes\n[SKIPDUPECHECK]\nFILES.A HEL*.TXT\n",
       "files/r/hello.txt", 0},
      {"skip entry of another area", "DUPESDIR dupes\n[SKIPDUPECHECK]\nFILES.R *\n",
       "files/a/hello.txt", 1},
      {"skip entry for every area", "DUPESDIR dupes\n[SKIPDUPECHECK]\n* HELLO.TXT\n",
       "files/a/hello.txt", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TossNode n;
    n.settings = c.settings;
    n.s.Write(c.copy_in, kHello);
    n.AddFile("hello.txt", kHello);
    n.AddTic("a.tic", Ticket{});
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    if (c.hits > 0) {
      EXPECT_TRUE(Holds(r.Plain(), "# Dupe file HELLO.TXT in fileecho FILES.A\n"));
      EXPECT_EQ(n.Names("dupes"), "a.tic hello.txt");
      EXPECT_FALSE(n.s.Exists("files/a/files.bbs"));
    } else {
      EXPECT_FALSE(r.Contains("Dupe file"));
      EXPECT_EQ(n.Names("dupes"), "");
      EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
    }
    EXPECT_EQ(n.Names("in"), "");
  }
}

// Each directory holding the file is a hit and logged; the first moves it.
TEST(TossDupes, SeveralHitsLogSeveralLines) {
  TossNode n;
  n.settings = "DUPESDIR dupes\nDUPEWIDE Yes\n[AUTOCOPY]\nNONE.* * copies\n";
  n.s.Write("files/r/hello.txt", kHello);
  n.s.Write("copies/hello.txt", kHello);
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  std::string main_lines = LevelLines(r.Plain(), '#');
  EXPECT_EQ(Count(main_lines, "Dupe file HELLO.TXT in fileecho FILES.A\n"), 2) << main_lines;
  EXPECT_EQ(n.Names("dupes"), "a.tic hello.txt");
}

}  // namespace
}  // namespace olvix::test
