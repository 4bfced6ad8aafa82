// HATCH through the built program: masks, options, descriptions from the
// command line, the source directory and FILE_ID.DIZ, REPLACES, the queue,
// and the dialog fed through standard input.
#include <gtest/gtest.h>

#include <string>

#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/crc32.h"
#include "util/text.h"

namespace olvix::test {
namespace {

std::string Today() {
  return platform::FormatTime("%d/%m/%y", platform::LocalTime(platform::Now()));
}

// The outgoing ticket of the `n`th "^" line of a flow file.
std::string NthTicket(const TossNode& node, const std::string& flow, int n) {
  return MaskPathTime(node.s.Read(node.TicOfFlow(flow, n)));
}

TEST(Hatch, MaskFromAnotherDirectoryWithADescriptionOfSeveralWords) {
  TossNode n;
  n.settings = "HATCHCOPY Yes\nKEEPTICS kept\n";
  n.WriteConfig();
  n.s.Write("src/a.zip", "aaa");
  n.s.Write("src/b.txt", "bb");
  n.s.Write("src/files.bbs", "B.TXT  From the list\n");
  // No room for the kept tickets: nothing is sent, for the same command
  // to do the whole hatch once there is.
  n.DiskFull({"HATCH", "src/*", "files.a", "-DNew"}, "kept/");
  EXPECT_EQ("", n.Names("out/bso"));
  std::string today = Today();
  RunResult r = n.s.Run({"HATCH", "src/*", "files.a", "-DNew", "files", "of", "@DATE"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Hatching src/a.zip to FILES.A\n"));
  EXPECT_TRUE(Holds(r.Plain(), "# Hatching src/b.txt to FILES.A\n"));
  EXPECT_FALSE(r.Contains("Hatching src/files.bbs"));
  EXPECT_EQ("aaa", n.s.Read("files/a/a.zip"));
  EXPECT_EQ("a.zip b.txt files.bbs", n.Names("src")) << "copies, the sources stay";
  EXPECT_EQ("a.zip        [00] New files of " + today + "\nb.txt        [00] New files of " +
                today + "\n",
            n.s.Read("files/a/files.bbs"));
  EXPECT_EQ("139c0002.hlo 139c0003.clo 139c0004.flo", n.Names("out/bso"));
  EXPECT_TRUE(Holds(n.s.Read("out/bso/139c0004.flo"), n.s.PathOf("files/a/b.txt")));
  EXPECT_EQ(Format("Created by Olvix 1.01.08g-%s\r\nFrom 2:5020/1\r\nOrigin 2:5020/1\r\n"
                   "To 2:5020/4\r\nArea FILES.A\r\nFile a.zip\r\nPw PASS4\r\nSize 3\r\n"
                   "Crc %08X\r\nAreaDesc Files of A\r\nDesc New files of %s\r\n"
                   "Path 2:5020/1 <t> UTC+0300\r\nSeenBy 2:5020/1\r\nSeenBy 2:5020/2\r\n"
                   "SeenBy 2:5020/3\r\nSeenBy 2:5020/4\r\n",
                   platform::PlatformName(), Crc32("aaa"), today.c_str()),
            NthTicket(n, "out/bso/139c0004.flo", 0));
  EXPECT_EQ(2u, SplitWords(n.Names("kept")).size());
  EXPECT_TRUE(
      Holds(n.s.Read("kept/" + SplitWords(n.Names("kept"))[0]), "\r\nTo 2:5020/1\r\nArea "));
}

TEST(Hatch, CopyOffAndDescriptionsFromTheSourceDirectoryAndFileIdDiz) {
  TossNode n;
  n.settings =
      "HATCHCOPY Yes\n[PACKERS]\nARCHIVER ZIP\nIDENT 0,504B0304\nEXTRACT unzip -o -j -qq -C @NAME "
      "@FILE\n";
  n.WriteConfig();
  n.s.Write("src/c.txt", "ccc");
  n.s.Write("src/FILES.BBS", "C.TXT        From the source list\n");
  RunResult r = n.s.Run({"HATCH", "src/c.txt", "LIMITED", "-Cn"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_EQ("", n.Names("files/lim")) << "-Cn leaves the file where it is";
  EXPECT_TRUE(Holds(n.s.Read("out/bso/139c0004.flo"), n.s.PathOf("src/c.txt") + "\n^"));
  EXPECT_TRUE(Holds(NthTicket(n, "out/bso/139c0004.flo", 0), "\r\nDesc From the source list\r\n"));
  std::string index = n.s.Read("olxprg.idx");
  EXPECT_EQ(" LIMITED 3 c.txt\n", index.substr(index.find(' '))) << index;

  if (std::system("command -v unzip >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip is missing";
  n.s.Write("src/demo.zip",
            n.s.Read(std::string(OLVIX_SOURCE_DIR) + "/examples/node/inbound/olvxdemo.zip"));
  r = n.s.Run({"HATCH", "src/demo.zip", "LIMITED"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(NthTicket(n, "out/bso/139c0004.flo", 1),
                    "\r\nDesc Olvix demo archive v1.0\r\nLDesc A small package for the example "
                    "node:\r\nLDesc a readme and this FILE_ID.DIZ.\r\n"));
  EXPECT_EQ(
      "demo.zip     [00] Olvix demo archive v1.0\n A small package for the example node:\n"
      " a readme and this FILE_ID.DIZ.\n",
      n.s.Read("files/lim/files.bbs"));
}

TEST(Hatch, ReplacesQueueAndDeletingTheHatchedFile) {
  TossNode n;
  n.settings = "HATCHCOPY Yes\nDELETEHATCHED Yes\nQUEUEDIR queue\n";
  n.WriteConfig();
  for (const char* f : {"old1.zip", "old2.zip", "keep.txt"})
    n.s.Write(std::string("files/a/") + f, f);
  n.s.Write("files/a/files.bbs", "OLD1.ZIP  one\nOLD2.ZIP  two\nKEEP.TXT  kept\n");
  n.s.Write("src/new1.zip", "new");
  RunResult r = n.s.Run({"HATCH", "src/new1.zip", "FILES.A", "-Rold*.zip", "-DFresh"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_EQ("files.bbs keep.txt new1.zip", n.Names("files/a"));
  EXPECT_EQ("KEEP.TXT  kept\nnew1.zip     [00] Fresh\n", n.s.Read("files/a/files.bbs"));
  EXPECT_EQ("new", n.s.Read("queue/new1.zip"));
  EXPECT_EQ("", n.Names("src")) << "DELETEHATCHED: sent from the queue";
  EXPECT_TRUE(Holds(n.s.Read("out/bso/139c0004.flo"), n.s.PathOf("queue/new1.zip")));
  EXPECT_TRUE(Holds(NthTicket(n, "out/bso/139c0004.flo", 0), "\r\nReplaces old*.zip\r\n"));

  r = n.s.Run({"HATCH", "src/new1.zip", "FILES.NOPE"});
  EXPECT_TRUE(Holds(r.Plain(), "! There is no such fileecho as FILES.NOPE\n"));
  r = n.s.Run({"HATCH", "src/none*", "FILES.A"});
  EXPECT_TRUE(Holds(r.Plain(), "! File src/none* was not found\n"));
}

TEST(HatchDialog, AnswersFromStandardInput) {
  TossNode n;
  n.WriteConfig();
  n.s.Write("src/d.txt", "d");
  n.s.stdin_file = "answers";
  for (const char* answers :
       {"src/d.txt\nfiles.a\nFirst line\n/q\nn\n", "src/d.txt\nfiles.a\nFirst line\n/q\n"}) {
    n.s.Write("answers", answers);
    RunResult r = n.s.Run({"HATCH"});
    ASSERT_EQ(0, r.status) << r.output;
    EXPECT_TRUE(Holds(r.Plain(), "! Not enough parameters for hatching. Dialog mode:\n"));
    EXPECT_TRUE(Holds(r.output, "Line   1: \nHatch file SRC/D.TXT to fileecho FILES.A ? [y/n] "));
    EXPECT_EQ("", n.Names("out/bso")) << answers;
    EXPECT_FALSE(n.s.Exists("tempdesc.$$$"));
  }
  n.s.Write("answers", "src/d.txt\nfiles.a\nFirst line\n  second line\n/Q\ny\n");
  RunResult r = n.s.Run({"HATCH"});
  ASSERT_EQ(0, r.status) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Hatching SRC/d.txt to FILES.A\n"));
  EXPECT_TRUE(
      Holds(NthTicket(n, "out/bso/139c0004.flo", 0), "\r\nFile d.txt\r\nPw PASS4\r\nSize 1\r\n"));
  EXPECT_TRUE(Holds(NthTicket(n, "out/bso/139c0004.flo", 0),
                    "\r\nDesc First line\r\nLDesc   second line\r\n"));
  EXPECT_FALSE(n.s.Exists("tempdesc.$$$"));
}

}  // namespace
}  // namespace olvix::test
