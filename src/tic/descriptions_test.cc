#include "tic/descriptions.h"

#include <gtest/gtest.h>

#include <memory>

#include "config/main_config.h"
#include "config/records.h"
#include "platform/fault.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/test_dir.h"
#include "tic/tic.h"
#include "util/crc32.h"
#include "util/files.h"
#include "util/text.h"

namespace olvix {
namespace {

TEST(DescLineTest, FixedWidthFields) {
  const std::string tmpl = "@@@@@@@@@@@N [00] @D";
  EXPECT_EQ(FormatDescLine(tmpl, 1, "LONGNAME.ZIP", "Text"), "LONGNAME.ZIP [00] Text");
  // A longer name is written whole: cut, it would name another file.
  EXPECT_EQ(FormatDescLine(tmpl, 1, "LONGERNAME.ZIP", "Text"), "LONGERNAME.ZIP [00] Text");
  EXPECT_EQ(FormatDescLine("@@@N@D", 1, "NODEDIFF.331", "Text"), "NODEDIFF.331 Text");
  EXPECT_EQ(FormatDescLine(tmpl, 1, "A.ZIP", "Text"), "A.ZIP        [00] Text");
  EXPECT_EQ(FormatDescLine("@N @@@@@@@S @D", 12345, "A.ZIP", "x"), "A.ZIP    12345 x");
  EXPECT_EQ(FormatDescLine("@@@D|", 1, "A", "a long description"), "a lo|");
  // Only the first padded occurrence is filled; plain macros everywhere.
  EXPECT_EQ(FormatDescLine("@@N @@N", 1, "A", "x"), "A   @@N");
  EXPECT_EQ(FormatDescLine("@N-@N-@S", 7, "A", "x"), "A-A-7");
}

TEST(DescLineTest, InsertedValuesAreNotExpandedAgain) {
  EXPECT_EQ(FormatDescLine("@N @D", 1, "A@D.ZIP", "desc"), "A@D.ZIP desc");
  std::string line = "<@N>";
  ExpandDescLine("@N", "x@Ny", &line);
  EXPECT_EQ(line, "<x@Ny>");
}

TEST(CutDescriptionTest, CutsAtBlanksNearTheLimitElseHard) {
  std::string spaced;
  for (int i = 0; i < 20; ++i) spaced += i == 0 ? "word" : " word";  // 99 characters
  std::vector<std::string> cut = CutDescriptionLines({spaced, "short", std::string(100, 'x')}, 45);
  EXPECT_EQ(cut, (std::vector<std::string>{spaced.substr(0, 44), spaced.substr(45, 44),
                                           spaced.substr(90), "short", std::string(45, 'x'),
                                           std::string(45, 'x'), std::string(10, 'x')}));
  // A blank more than 10 characters back does not count.
  EXPECT_EQ(CutDescriptionLines({"ab " + std::string(20, 'y')}, 15),
            (std::vector<std::string>{"ab " + std::string(12, 'y'), std::string(8, 'y')}));
  // A blank right at the limit: the piece is exactly the limit long.
  EXPECT_EQ(CutDescriptionLines({"12345 789"}, 5), (std::vector<std::string>{"12345", "789"}));
  EXPECT_EQ(CutDescriptionLines({std::string(50, 'z')}, 0),
            std::vector<std::string>{std::string(50, 'z')});

  RunContext ctx;
  ctx.cfg.desc_limit = 5;
  TicRecord tic;
  tic.desc_list = {"12345 789"};
  CutDescriptions(ctx, &tic);
  EXPECT_EQ(tic.diz_list, (std::vector<std::string>{"12345", "789"}));
  EXPECT_EQ(tic.desc_list, std::vector<std::string>{"12345 789"});
}

TEST(DizLineTest, CleaningAndBadStrings) {
  MainConfig cfg;
  cfg.bad_strings = {"SPAM LINE"};
  std::vector<std::string> out;
  AddDizLine(cfg, "SPAM LINE\n", &out);
  AddDizLine(cfg, "A SPAM LINE too\n", &out);
  AddDizLine(cfg, "\n", &out);
  AddDizLine(cfg,
             "\x8D"
             "ELLO \xB0\xDB\x01\n",
             &out);
  // Control characters of an archive from another system never reach a
  // description file, DIZCLEAN or not.
  EXPECT_EQ(out, (std::vector<std::string>{"A SPAM LINE too", "", "HELLO \xB0\xDB "}));

  cfg.diz_clean = true;
  cfg.diz_skip_empty = true;
  out.clear();
  AddDizLine(cfg, "\n", &out);
  AddDizLine(cfg, "\xB1\xB2\xDC\xDD\xDE\xDF\x07\n", &out);  // only pseudographics: dropped
  AddDizLine(cfg,
             "\x8D"
             "i\x1B\tthere\xB0\n",
             &out);
  AddDizLine(cfg, std::string("cut\0rest\n", 9), &out);
  EXPECT_EQ(out, (std::vector<std::string>{ExpandTabs("Hi \tthere "), "cut rest"}));
}

TEST(PackerCommandTest, ArchiveNameIsOneQuotedWord) {
  EXPECT_EQ(PackerCommand("unzip -o @name @FILE", "/in/x;rm -rf ~.zip"),
            "unzip -o '/in/x;rm -rf ~.zip' file_id.diz");
  EXPECT_EQ(PackerCommand("arc @Name", "/in/it's.arc"), "arc '/in/it'\\''s.arc'");
}

class DescFileTest : public testing_dir::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ctx_.log.logchars = "";
    ctx_.cfg.desc_name = "FILES.BBS";
  }
  std::unique_ptr<TicRecord> Ticket(const std::string& file, std::vector<std::string> desc,
                                    uint32_t size = 100) {
    auto t = std::make_unique<TicRecord>();
    t->file = file;
    t->desc_list = std::move(desc);
    t->size = size;
    return t;
  }
  std::vector<std::string> ReadBack(const std::string& file) {
    TicRecord t;
    t.file = file;
    ReadDescEntry(ctx_, dir_, &t);
    return t.desc_list;
  }
  RunContext ctx_;
};

TEST_F(DescFileTest, EntriesWithWidthAndContinuationChar) {
  ctx_.cfg.desc_width = 31;
  ctx_.cfg.desc_char = '|';
  Write("files.bbs", "OLD.ZIP        [00] no line end");
  auto a = Ticket("NEW.ZIP", {"First", "Second", "Third"});
  auto b = Ticket("NONE.ZIP", {});
  b->diz_list.clear();
  auto c = Ticket("DIZ.ZIP", {"not this"});
  c->diz_list = {"From diz"};
  ASSERT_EQ(AppendDescEntries(ctx_, dir_, {a.get(), b.get(), c.get()}), 0);
  const std::string indent(30, ' ');
  EXPECT_EQ(Read("files.bbs"),
            "OLD.ZIP        [00] no line end\n"
            "NEW.ZIP      [00] First\n" +
                indent + "|Second\n" + indent +
                "|Third\n"
                "NONE.ZIP     [00] No description found\n"
                "DIZ.ZIP      [00] From diz\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"files.bbs"});  // written in place, case kept

  // Read back with the description starting at column 19.
  ctx_.cfg.desc_mark_pos = 19;
  EXPECT_EQ(ReadBack("new.zip"), (std::vector<std::string>{"First", "Second", "Third"}));
  EXPECT_EQ(ReadBack("MISSING.ZIP"), std::vector<std::string>{});
}

TEST_F(DescFileTest, ReadWithMark) {
  ctx_.cfg.desc_width = 14;
  ctx_.cfg.desc_char = '+';
  ctx_.cfg.desc_mark = "|";
  ctx_.cfg.desc_mark_pos = 13;
  Write("FILES.BBS",
        "FILE.ZIP     |First line\n"
        "             +more\n"
        "             |stray entry ends FILE.ZIP's entry\n"
        "             +not ours\n"
        "OTHER.ZIP    |Other\n"
        "file.zip     |Again\n"
        "\t\tmore again\n");
  EXPECT_EQ(ReadBack("FILE.ZIP"),
            (std::vector<std::string>{"First line", "more", "Again", "more again"}));
}

TEST_F(DescFileTest, RemoveEntriesWithContinuationLines) {
  ctx_.cfg.desc_width = 3;
  Write("files.bbs",
        "A.ZIP first\r\n"
        "  a more\r\n"
        "NOBLANK\r\n"
        "  a still more\r\n"
        "B.ZIP\tsecond\r\n"
        "  b more\r\n"
        "c.zip third\r\n"
        "  c more\r\n"
        "D.ZIP fourth");
  ASSERT_EQ(RemoveDescEntries(ctx_, dir_, {"a.zip", "C.ZIP"}), 0);
  EXPECT_EQ(Read("files.bbs"),
            "NOBLANK\n" + ExpandTabs("B.ZIP\tsecond") + "\n  b more\nD.ZIP fourth\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"files.bbs"});
}

TEST_F(DescFileTest, LongLinesAreTakenWhole) {
  // The tail of a long line must not pass for an entry of its own.
  std::string long_desc = std::string(600, 'x') + " TAIL.ZIP looks like an entry";
  Write("files.bbs", "A.ZIP " + long_desc + "\n   a more\nB.ZIP " + long_desc + "\n   b more\n");
  ctx_.cfg.desc_width = 4;
  ctx_.cfg.desc_mark_pos = 7;
  EXPECT_EQ(ReadBack("A.ZIP"), (std::vector<std::string>{long_desc, "a more"}));
  ASSERT_EQ(RemoveDescEntries(ctx_, dir_, {"A.ZIP", "TAIL.ZIP"}), 0);
  EXPECT_EQ(Read("files.bbs"), "B.ZIP " + long_desc + "\n   b more\n");
}

TEST_F(DescFileTest, FailedRewriteKeepsTheOldFile) {
  Write("files.bbs", "A.ZIP old\n");
  auto t = Ticket("B.ZIP", {"new"});
  platform::SetFaultPlan("enospc:1:files.bbs");
  EXPECT_EQ(AppendDescEntries(ctx_, dir_, {t.get()}), platform::NoSpaceCode());
  EXPECT_EQ(Names(), std::vector<std::string>{"files.bbs"});
  EXPECT_EQ(RemoveDescEntries(ctx_, dir_, {"A.ZIP"}), platform::NoSpaceCode());
  platform::SetFaultPlan("");
  EXPECT_EQ(Names(), std::vector<std::string>{"files.bbs"});
  EXPECT_EQ(Read("files.bbs"), "A.ZIP old\n");
}

TEST_F(DescFileTest, RemoveFromMissingFileChangesNothing) {
  EXPECT_EQ(RemoveDescEntries(ctx_, dir_, {"A.ZIP"}), platform::NotFoundCode());
  EXPECT_TRUE(Names().empty());
}

TEST_F(DescFileTest, TossStepsBatchPerDirectory) {
  std::string other = Path("other/");
  ASSERT_EQ(platform::MakeDir(other), 0);
  AreaRecord one, two, pass;
  one.tag = "ONE";
  one.path = dir_;
  two.tag = "TWO";
  two.path = dir_;
  pass.tag = "PASS";
  pass.flags = "P";
  pass.path = dir_;
  one.received.push_back(Ticket("A.ZIP", {"a"}));
  one.received.push_back(Ticket("TO_OTHER.ZIP", {"o"}));
  one.received.push_back(Ticket("BAD.ZIP", {"bad"}));
  one.received.back()->bad = true;
  two.received.push_back(Ticket("B.ZIP", {"b"}));
  pass.received.push_back(Ticket("P.ZIP", {"p"}));
  ctx_.areas.Add(std::move(one));
  ctx_.areas.Add(std::move(pass));
  ctx_.areas.Add(std::move(two));
  // Files named TO_* go to another directory, as an [AUTOCOPY] entry would.
  DestinationFn dest = [&](const AreaRecord& area, const TicRecord& tic) {
    return tic.file.starts_with("TO_") ? other : area.path;
  };

  std::vector<DescBatch> batches = BatchByDestination(ctx_, dest);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0].dir, dir_);
  ASSERT_EQ(batches[0].tickets.size(), 2u);
  EXPECT_EQ(batches[0].tickets[0]->file, "A.ZIP");
  EXPECT_EQ(batches[0].tickets[1]->file, "B.ZIP");
  EXPECT_EQ(batches[1].dir, other);

  ctx_.cfg.desc_line = "@N @D";
  Write("files.bbs", "A.ZIP old a\nKEEP.ZIP kept\nB.ZIP old b\n");
  DeleteOldDescriptions(ctx_, dest);
  WriteNewDescriptions(ctx_, dest);
  EXPECT_EQ(Read("files.bbs"), "KEEP.ZIP kept\nA.ZIP a\nB.ZIP b\n");
  EXPECT_EQ(Read("other/FILES.BBS"), "TO_OTHER.ZIP o\n");
}

TEST_F(DescFileTest, DetectArchiver) {
  ctx_.cfg.packers = {
      {"ARJ", "", "60EA", 0, ""},
      {"ZIP", "", "504B0304", 0, ""},
      {"TAIL", "", "454E44", -3, ""},
  };
  const MainConfig& cfg = ctx_.cfg;
  // By extension, without opening the file.
  EXPECT_EQ(DetectArchiver(cfg, Path("FILE.ZIP")), &cfg.packers[1]);
  EXPECT_EQ(DetectArchiver(cfg, Path("file.arj")), &cfg.packers[0]);
  // By signature.
  Write("NOEXT", std::string("PK\x03\x04rest", 8));
  EXPECT_EQ(DetectArchiver(cfg, Path("NOEXT")), &cfg.packers[1]);
  Write("file.bin", "something END");
  EXPECT_EQ(DetectArchiver(cfg, Path("file.bin")), &cfg.packers[2]);
  Write("short", "E");
  EXPECT_EQ(DetectArchiver(cfg, Path("short")), nullptr);
  EXPECT_EQ(DetectArchiver(cfg, Path("absent")), nullptr);
}

// Runs the real zip and unzip programs through a [PACKERS] entry.
class DizArchiveTest : public DescFileTest {
 protected:
  void SetUp() override {
    DescFileTest::SetUp();
    if (platform::RunCommand(
            "command -v zip >/dev/null 2>&1 && command -v unzip >/dev/null 2>&1") != 0)
      GTEST_SKIP() << "zip and unzip are not installed";
    ctx_.cfg.packers = {
        {"ZIP", "zip -q -j @NAME @FILE", "504B0304", 0, "unzip -o -qq @NAME @FILE"}};
    ctx_.cfg.inbound = dir_;
    ctx_.home = dir_;
  }
  // Makes `archive` in the test directory holding a file_id.diz of `diz`.
  void MakeArchive(const std::string& archive, const std::string& diz) {
    ASSERT_EQ(platform::MakeDir(Path("src/")), 0);
    Write("src/file_id.diz", diz);
    ASSERT_EQ(platform::RunCommand("zip -q -j " + platform::ShellQuote(Path(archive)) + " " +
                                   platform::ShellQuote(Path("src/file_id.diz"))),
              0);
    testing_dir::RemoveTree(Path("src/"));
  }
};

TEST_F(DizArchiveTest, ExtractAndAddThroughShellHostileName) {
  // If the name reached the shell unquoted, "touch PWNED" would run.
  const std::string name = "evil;touch PWNED;.zip";
  MakeArchive(name, "Line one\r\n\r\nLine\ttwo\r\n");
  AreaRecord area;
  area.tag = "AREA";
  area.path = dir_;
  auto tic = std::make_unique<TicRecord>();
  tic->file = "EVIL;TOUCH PWNED;.ZIP";  // tickets carry upper-case names
  tic->desc_list = {"Fresh description", "second line"};
  TicRecord* t = tic.get();
  area.received.push_back(std::move(tic));
  ctx_.areas.Add(std::move(area));

  ExtractDizFromArchives(ctx_);
  ASSERT_NE(t->archiver, nullptr);
  EXPECT_EQ(t->archiver->name, "ZIP");
  EXPECT_EQ(t->diz_list, (std::vector<std::string>{"Line one", "", ExpandTabs("Line\ttwo")}));
  EXPECT_EQ(Names(), std::vector<std::string>{name});  // no PWNED, no file_id.diz left

  // Insertion happens only for tickets without FILE_ID.DIZ lines.
  t->diz_list.clear();
  AddDizToArchives(ctx_);
  EXPECT_EQ(Names(), std::vector<std::string>{name});
  ASSERT_EQ(platform::RunCommand("cd " + platform::ShellQuote(dir_) + " && unzip -p -qq " +
                                 platform::ShellQuote(name) + " file_id.diz > inside.txt"),
            0);
  EXPECT_EQ(Read("inside.txt"), "Fresh description\nsecond line\n");
  // Files are served from the fileecho directory: the ticket describes the
  // changed archive.
  std::string data = Read(name);
  EXPECT_EQ(t->size, data.size());
  EXPECT_EQ(t->crc, Crc32(data));
}

TEST_F(DizArchiveTest, FlagDAndLinkedDizAreLeftAlone) {
  MakeArchive("a.zip", "Plain\n");
  ASSERT_EQ(platform::RunCommand("cd " + platform::ShellQuote(dir_) +
                                 " && ln -s a.zip file_id.diz && zip -q -y b.zip file_id.diz"
                                 " && rm file_id.diz"),
            0);
  AreaRecord flagged, plain;
  flagged.tag = "FLAGGED";
  flagged.flags = "D";
  flagged.path = dir_;
  flagged.received.push_back(Ticket("A.ZIP", {}));
  plain.tag = "PLAIN";
  plain.path = dir_;
  plain.received.push_back(Ticket("B.ZIP", {}));
  TicRecord* a = flagged.received[0].get();
  TicRecord* b = plain.received[0].get();
  ctx_.areas.Add(std::move(flagged));
  ctx_.areas.Add(std::move(plain));
  ExtractDizFromArchives(ctx_);
  EXPECT_EQ(a->archiver, nullptr);  // flag D: not even looked at
  EXPECT_TRUE(a->diz_list.empty());
  // b.zip holds file_id.diz as a symbolic link: it is not read.
  ASSERT_NE(b->archiver, nullptr);
  EXPECT_TRUE(b->diz_list.empty());
  EXPECT_EQ(Names(), (std::vector<std::string>{"a.zip", "b.zip"}));
}

}  // namespace
}  // namespace olvix
