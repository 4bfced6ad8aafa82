#include "manager/template.h"

#include <gtest/gtest.h>

#include "manager/robot_fixture.h"
#include "testing/samples.h"

namespace olvix::testing {
namespace {

const std::tm kMarch5 = TimeOf(2002, 3, 5);

std::string Replaced(std::string line, const char* macro, const std::string* value,
                     FieldAlign align = FieldAlign::kLeft) {
  ReplaceMacro(&line, macro, value, align);
  return line;
}

TEST(TemplateMacros, FieldsPlainFormsAndGrowth) {
  const std::string tag = "FILES.WITH.A.TAG.LONGER.THAN.THIRTY";
  const std::string desc = "Description";
  std::string line = Replaced(std::string(29, '@') + "A @D", "@A", &tag);
  EXPECT_EQ(Replaced(line, "@D", &desc), tag.substr(0, 30) + " Description");
  const std::string mark = "r ";
  EXPECT_EQ(Replaced("[@@@S]", "@S", &mark, FieldAlign::kRight), "[  r ]");
  EXPECT_EQ(Replaced("[@@S] @S", "@S", nullptr), "[   ] @S");  // only the first field
  const std::string self = "@A!";
  EXPECT_EQ(Replaced("@a and @A", "@A", &self), "@A! and @A!");  // inserted text stays
  const std::string empty;
  EXPECT_EQ(Replaced("x@GROUPy", "@GROUP", &empty), "xy");
  // Nothing is cut however long the line grows.
  const std::string big(600, 'x');
  EXPECT_EQ(Replaced(std::string(500, '-') + "@D@D", "@D", &big),
            std::string(500, '-') + big + big);
}

using TemplateTest = RobotTest;

TEST_F(TemplateTest, ListSectionsMarksAndCounters) {
  Load("STATION Robot Station\n",
       "AREA FILES.A files/a A 0 0 2:5020/1\nDESC Files A\nLINKS 2:5020/2\n"
       "AREA FILES.B files/b A 0 0 2:5020/1\nDESC \x8d"
       "ews\nLINKS !2:5020/2\n"
       "AREA FILES.C files/c B 0 0 2:5020/1\nDESC Other group\n");
  const std::string text =
      "Hi @LINK (@STATUS) at @STATION, @DATE\n"
      ">***<\n@@S @A @D (@DATE)\n"
      ">-*-<\n- @A\n"
      ">---<\n@@S @A\n"
      "Total @ECHONUM/@SUBNUM";
  std::vector<std::string> parts = ExpandTemplate(*ctx_, text, Link("2:5020/2"), kMarch5);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0],
            "Hi 2:5020/2 (Active) at Robot Station, 05 March 2002\n"
            " *  FILES.A Files A (05 March 2002)\n"
            " r  FILES.B Hews (05 March 2002)\n"
            "- FILES.C\n"
            " *  FILES.A\n"
            " r  FILES.B\n"
            "Total 5/5");
}

TEST_F(TemplateTest, LongAnswersGoAsNumberedParts) {
  std::string areas;
  for (int i = 0; i < 450; ++i)
    areas += Format("AREA AREA.%03d a/%d A 0 0 2:5020/1\nLINKS 2:5020/2\n", i, i);
  Load("REPLYLINES 200\n", areas);
  WriteFile(Home("list.tpl"), ">***<\n@A\n");
  SendTemplate(*ctx_, Home("list.tpl"), Link("2:5020/2"), "Ivan");
  std::vector<NetmailLetter> sent = Sent();
  ASSERT_EQ(sent.size(), 3u);
  for (const NetmailLetter& l : sent) EXPECT_EQ(l.subject, "Request answer");
  EXPECT_EQ(sent[0].to_name, "Ivan");
  const std::string next = "\n *** Continued on next page ***\n";
  const std::string from = " *** Continued from previous page ***\n *** Part ";
  std::string first = Body(sent[0]), second = Body(sent[1]), third = Body(sent[2]);
  EXPECT_EQ(first.substr(0, 9), "AREA.000\n");
  EXPECT_EQ(first.substr(first.size() - 8 - next.size()), "AREA.199" + next);
  EXPECT_EQ(second.substr(0, from.size() + 11), from + "2\nAREA.200\n");
  EXPECT_EQ(second.substr(second.size() - 8 - next.size()), "AREA.399" + next);
  EXPECT_EQ(third.substr(0, from.size() + 2), from + "3\n");
  EXPECT_EQ(third.substr(third.size() - 9), "AREA.449\n");
  EXPECT_EQ(std::count(third.begin(), third.end(), '\n'), 52);
  // A part that is full at the very end is the last: no part of headers.
  ctx_->cfg.reply_lines = 225;
  EXPECT_EQ(ExpandTemplate(*ctx_, ">***<\n@A\n", Link("2:5020/2"), kMarch5).size(), 2u);
}

TEST_F(TemplateTest, UplinkListsOfferWhatIsNotCarried) {
  WriteFile(Home("up3.lst"), "ONLY.B For group B\n");
  WriteFile(Home("up100.lst"), "FILES.A Carried here\n  NEW.ONE   Fresh\tfiles\nbare\n");
  Load("[UPLINKS]\nUPLINK 2:5020/3 up3.lst\nUPLINK 2:5020/100 up100.lst\n",
       "AREA FILES.A files/a A 0 0 2:5020/1\n");
  const std::string text = "Offer:\n>+++<\n@@@@@@@@A|@D|@S\n@ECHONUM\n";
  EXPECT_EQ(ExpandTemplate(*ctx_, text, Link("2:5020/2"), kMarch5)[0],
            "Offer:\n"
            "         |Available from 2:5020/100|  \n"
            "NEW.ONE  |Fresh files|  \n"
            "BARE     ||  \n"
            "2\n");
  // An uplink is not offered its own list, but that of another uplink it
  // shares a group with; AVAILLIST keeps the lists from links with option F.
  EXPECT_EQ(ExpandTemplate(*ctx_, text, Link("2:5020/100"), kMarch5)[0],
            "Offer:\n         |Available from 2:5020/3|  \nONLY.B   |For group B|  \n1\n");
  ctx_->cfg.avail_list = true;
  Link("2:5020/2").options = "F";
  EXPECT_EQ(ExpandTemplate(*ctx_, text, Link("2:5020/2"), kMarch5)[0], "Offer:\n0\n");
}

}  // namespace
}  // namespace olvix::testing
