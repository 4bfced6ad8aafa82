// The magic names file and the [AUTOSTART] commands through a TOSS of the
// built program.
#include <gtest/gtest.h>

#include <string>

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
  struct {
    const char* tic;
    const char* area;
    const char* file;
    const char* from;
    const char* pw;
  } sent[] = {{"a.tic", "FILES.A", "ZED.TXT", "2:5020/2", "SECRET"},
              {"b.tic", "FILES.A", "HELLO.TXT", "2:5020/2", "SECRET"},
              {"c.tic", "NOMAGIC", "NM.TXT", "2:5020/2", "SECRET"},
              {"d.tic", "PASS.A", "PT.TXT", "2:5020/2", "SECRET"},
              {"e.tic", "FROMM", "FM.TXT", "2:5020/11", "PASS11"},
              {"f.tic", "LIMITED", "SP.TXT", "2:5020/2", "SECRET"}};
  for (const auto& s : sent) {
    n.AddFile(Lower(s.file), kHello);
    Ticket t;
    t.area = s.area;
    t.file = s.file;
    t.from = s.from;
    t.pw = s.pw;
    t.extra = {std::string("Magic ") + (std::string(s.tic) == "f.tic" ? "TWO WORDS" : "Hello")};
    n.AddTic(s.tic, t);
  }
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
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  const std::string hostile = "A'$(TOUCH PWNED)'.TXT";
  n.AddFile(Lower(hostile), kHello);
  Ticket t;
  t.area = "LIMITED";
  t.file = hostile;
  n.AddTic("b.tic", t);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.s.Read("ran.txt"), "hello.txt|" + n.s.dir() + "files/a\n" + Lower(hostile) + "|" +
                                     n.s.dir() + "files/lim\n");
  EXPECT_FALSE(n.s.Exists("files/lim/pwned"));
  EXPECT_FALSE(n.s.Exists("pwned"));
  const std::string changed = std::string(kHello) + "more\n";
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), changed);
  std::string sent = n.s.Read(n.TicOfFlow("out/bso/139c0004.flo"));
  EXPECT_TRUE(Holds(sent, "Size 17\r\n"));
  EXPECT_TRUE(Holds(sent, Format("Crc %08X\r\n", Crc32(changed))));
}

}  // namespace
}  // namespace olvix::test
