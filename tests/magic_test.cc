// The magic names file and the [AUTOSTART] commands through a TOSS of the
// built program.
#include "tic/magic.h"

#include <gtest/gtest.h>

#include <string>

#include "config/records.h"
#include "platform/fault.h"
#include "test_context.h"
#include "tic/tic.h"
#include "toss_fixture.h"
#include "util/crc32.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";

TEST(MagicToss, OneEntryPerMagicNameTheLastFileWinsAndFlagsMKeepItOut) {
  TossNode n;
  n.settings = "MAGICFILE magic/names.txt\nMAGICEXTRA X\n";
  n.links += "LINK 2:5020/11 A PASS11 10 No Hold 2:5020/1 Passive M\n";
  n.areas +=
      "AREA NOMAGIC files/nm A 0 0 2:5020/1 M\n"
      "LINKS 2:5020/2\n"
      "AREA FROMM files/fm A 0 0 2:5020/1\n"
      "LINKS 2:5020/11\n";
  auto add = [&n](const char* tic, const char* area, const char* file, const char* from,
                  const std::string& magic) {
    Ticket t = Ticket().Area(area).File(file).Extra({"Magic " + magic});
    n.AddPair(tic, t.From(from, std::string(from) == "2:5020/11" ? "PASS11" : "SECRET"), kHello);
  };
  add("a.tic", "FILES.A", "ZED.TXT", "2:5020/2", "Hello");
  add("b.tic", "FILES.A", "HELLO.TXT", "2:5020/2", "Hello");
  add("c.tic", "NOMAGIC", "NM.TXT", "2:5020/2", "Hello");
  add("d.tic", "PASS.A", "PT.TXT", "2:5020/2", "Hello");
  add("e.tic", "FROMM", "FM.TXT", "2:5020/11", "Hello");
  add("f.tic", "LIMITED", "SP.TXT", "2:5020/2", "TWO WORDS");  // no key of one word
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Updating Magic names file\n"));
  // Tickets are taken in file-name order: ZED.TXT after HELLO.TXT.
  EXPECT_EQ(n.s.Read("magic/names.txt"),
            ";\n; Automaticaly created file by Olvix\n;\n"
            "XHELLO        " +
                n.s.dir() + "files/a/zed.txt\n");
  EXPECT_EQ(n.Names("magic"), "names.txt");
}

TEST(AutostartToss, CommandsRunPerFileWithQuotedNamesAndTheTicketFollowsTheFile) {
  TossNode n;
  n.settings = "[AUTOSTART]\n* * printf '%s|%s\\n' @FILE @PATH >> " + n.s.dir() +
               "ran.txt\n"
               "HELLO.* FILES.A echo more >> @FILE\n";
  n.AddPair("a.tic", Ticket(), kHello);
  // Quoting without escaping the quote would make this name run ">pwned".
  const std::string hostile = "Q';>PWNED;'.TXT";
  n.AddPair("b.tic", Ticket().Area("LIMITED").File(hostile), kHello);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("ran.txt"), "hello.txt|" + n.s.dir() + "files/a\n" + Lower(hostile) + "|" +
                                     n.s.dir() + "files/lim\n");
  EXPECT_EQ(n.Names("files/lim"), "files.bbs " + Lower(hostile));
  EXPECT_FALSE(n.s.Exists("pwned"));
  const std::string changed = std::string(kHello) + "more\n";
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), changed);
  std::string sent = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(Holds(sent, "Size 17\r\n"));
  EXPECT_TRUE(Holds(sent, Format("Crc %08X\r\n", Crc32(changed))));
}

// A toss killed after the command ran for a file is finished by the next
// one without running it again, and with the file's new size and CRC.
TEST(AutostartToss, ATossTakingOverRunsNoCommandTwice) {
  TossNode n;
  n.settings = "[AUTOSTART]\n* * echo ran >> " + n.s.dir() + "ran.txt\n";
  n.AddPair("a.tic", Ticket(), kHello);
  const std::string changed = std::string(kHello) + "more\n";
  n.s.Write("files/a/hello.txt", changed);
  n.s.Write("olxtoss.jnl", Format("H 999999\nA a.tic FILES.A %08X 12\nP a.tic\n"
                                  "C a.tic %08X 17\nR a.tic autostart:0\n",
                                  Crc32(kHello), Crc32(changed)));
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_FALSE(n.s.Exists("ran.txt"));
  std::string sent = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(Holds(sent, "Size 17\r\n"));
  EXPECT_TRUE(Holds(sent, Format("Crc %08X\r\n", Crc32(changed))));
  EXPECT_EQ(n.Names("in"), "");
}

// A magic names file that cannot be rewritten (no space for the temporary
// file) stays as it was; the failure is logged and the toss goes on.
TEST(MagicNames, AFailedRewriteKeepsTheOldFile) {
  TestContext t;
  t.ctx.cfg.magic_file = t.dir.dir() + "magic/names.txt";
  const std::string old = std::string(kMagicFileHeader) + "NODELIST /old\n";
  t.dir.Write("magic/names.txt", old);
  AreaRecord area;
  area.tag = "FILES.A";
  area.path = t.dir.dir() + "files/";
  area.received.push_back(std::make_unique<TicRecord>());
  TicRecord& tic = *area.received.back();
  tic.area = "FILES.A";
  tic.file = "NODELIST.123";
  tic.magic = "NODELIST";
  t.ctx.areas.Add(std::move(area));
  platform::SetFaultPlan("enospc:1:olmagic");
  UpdateMagicNames(t.ctx);
  platform::SetFaultPlan("");
  EXPECT_EQ(t.dir.Read("magic/names.txt"), old);
  EXPECT_FALSE(t.dir.Exists("magic/olmagic.$$$"));
  EXPECT_TRUE(Holds(t.Output(), "not able to open file " + t.dir.dir() + "magic/olmagic.$$$"));
  UpdateMagicNames(t.ctx);
  EXPECT_EQ(t.dir.Read("magic/names.txt"), std::string(kMagicFileHeader) + "NODELIST      " +
                                               t.dir.dir() + "files/NODELIST.123\n");
}

}  // namespace
}  // namespace olvix::test
