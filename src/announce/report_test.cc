// Announcement templates and the new-files report text.
#include "announce/report.h"

#include <gtest/gtest.h>

#include <memory>

#include "config/records.h"
#include "tic/tic.h"
#include "util/text.h"

namespace olvix {
namespace {

const ReportClock kClock{"12:34:56", "09 December 2026"};

TEST(AnnounceTemplateTest, BlocksAndMacroFields) {
  AnnounceTemplate t = ParseAnnounceTemplate(
      "head\n>***<\nfile @F\n>---<\narea\n<***>\nfoot a\n>***<\nmore @F\n<--->\nend\n<***>\n"
      "foot b\n<--->");
  auto texts = [&t](int block) {
    std::string out;
    for (const TemplateLine& l : t.blocks[block]) out += l.text + "|";
    return out;
  };
  EXPECT_EQ("head|", texts(kHeader));
  EXPECT_EQ("area|", texts(kAreaHeader));
  EXPECT_EQ("file @F|more @F|", texts(kFileLines));
  EXPECT_EQ("foot a|foot b|", texts(kAreaFooter));
  EXPECT_EQ("end|", texts(kFooter));

  // Eight "@" and F: a field of 9 characters; @S right-aligned in its field.
  EXPECT_EQ("[LONGFILEN] [   1,234]",
            FillMacros("[@@@@@@@@F] [@@@@@@@S]",
                       {{"@S", std::string("1,234")}, {"@F", std::string("LONGFILENAME")}}));
  // A plain macro is replaced wherever it stands, in any letter case; only
  // the first of several fields is filled; an absent value leaves blanks.
  EXPECT_EQ("A: x, x; [ab  ] @@@@a; [  ] [     ]",
            FillMacros("A: @b, @B; [@@@a] @@@@a; [@s] [@@@@D]", {{"@B", std::string("x")},
                                                                 {"@A", std::string("ab")},
                                                                 {"@S", std::nullopt},
                                                                 {"@D", std::nullopt}}));
  // Values are never searched again for later macros.
  EXPECT_EQ(
      "desc @DATE 09 December 2026",
      FillMacros("@DESC @DATE", {{"@DESC", std::string("desc @DATE")}, {"@DATE", kClock.date}}));
}

struct Fixture {
  Fixture() {
    area.tag = "FILES.A";
    area.group = "A";
    area.description = "Files";
  }
  TicRecord* Add(const std::string& file, uint32_t size, std::vector<std::string> desc) {
    tickets.push_back(std::make_unique<TicRecord>());
    TicRecord* t = tickets.back().get();
    t->file = file;
    t->size = size;
    t->origin = ParseAddress("2:5020/9");
    t->from = ParseAddress("2:5020/2");
    t->desc_list = std::move(desc);
    return t;
  }
  std::vector<ReportArea> Areas() {
    ReportArea ra{&area, {}};
    for (auto& t : tickets) ra.tickets.push_back(t.get());
    return {ra};
  }
  AreaRecord area;
  std::vector<std::unique_ptr<TicRecord>> tickets;
};

TEST(NewFilesReportTest, DescriptionLinesUnderFixedFields) {
  Fixture f;
  f.Add("LONGNAME.ZIP", 1234567, {"first line", "second \x8d line", "third\rline"});
  f.Add("B.TXT", 5, {});
  NewFilesOptions o;
  o.version = "--- Olvix";
  o.lower_case = true;
  AnnounceTemplate t = ParseAnnounceTemplate(
      "@VER at @STATION @DATE\n>---<\n== @AREA (@P) @DESC\n>***<\n"
      "@@@@@@@@@@@F @@@@@@@S @D\n  from @L via @O\n<***>\n== @NUMB files, @SIZE bytes\n<--->\n"
      "@FNUMB/@FSIZE @TIME\n");
  std::vector<std::string> parts = RenderNewFiles(t, f.Areas(), o, kClock);
  ASSERT_EQ(1u, parts.size());
  EXPECT_EQ(
      "--- Olvix at          09 December 2026\n"
      "== FILES.A (L) Files\n"
      "longname.zip 1,234,56 first line\n"
      "                      second H line\n"
      "                      third line\n"
      "  from 2:5020/2 via 2:5020/9\n"
      "b.txt               5   \n"
      "  from 2:5020/2 via 2:5020/9\n"
      "== 2 files, 1,234,572 bytes\n"
      "2/1,234,572 12:34:56\n",
      parts[0]);
}

TEST(NewFilesReportTest, SplitsIntoPartsAfterTheHeader) {
  Fixture f;
  for (int i = 0; i < 399; ++i) f.Add(Format("F%03d", i), 1, {});
  NewFilesOptions o;
  o.split = 150;
  // One header line and 399 file lines: 400 counted lines.
  AnnounceTemplate t = ParseAnnounceTemplate("head\n>***<\n@F\n");
  std::vector<std::string> parts = RenderNewFiles(t, f.Areas(), o, kClock);
  ASSERT_EQ(3u, parts.size());
  EXPECT_EQ(0u, parts[0].find("head\nF000\n"));
  const std::string next = "F148\n\n *** Continued on next page ***\n";
  EXPECT_EQ(parts[0].size() - next.size(), parts[0].find(next));
  EXPECT_EQ(0u, parts[1].find("\r *** Continued from previous page ***\n *** Part 2\nF149\n"));
  EXPECT_NE(std::string::npos, parts[1].find("F298\n\n *** Continued on next page ***\n"));
  std::string last = "\r *** Continued from previous page ***\n *** Part 3\n";
  for (int i = 299; i < 399; ++i) last += Format("F%03d\n", i);
  EXPECT_EQ(last, parts[2]);
}

}  // namespace
}  // namespace olvix
