#include "manager/manager.h"

#include <gtest/gtest.h>

#include "manager/robot_fixture.h"

namespace olvix::testing {
namespace {

using Names = std::vector<std::string>;

constexpr char kLinks[] =
    "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Passive\n"
    "LINK 2:5020/3 A PASS3 10 No Hold 2:5020/1 Active I\n";

constexpr char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1\n"
    "AREA FILES.B files/b A 0 0 2:5020/1\n"
    "LINKS 2:5020/2\n"
    "AREA FILES.C files/c A 0 0 2:5020/1\n";

class ManagerTest : public RobotTest {
 protected:
  // One template per answer, each saying which it is.
  void LoadWithTemplates(const std::string& settings, const std::string& links = kLinks,
                         const std::string& areas = kAreas) {
    for (const char* t : {"badpwd", "help", "notlink", "locked", "changes", "list"})
      WriteFile(Home(std::string(t) + ".tpl"), std::string(t) + " for @LINK\n");
    Load("BADPWD badpwd.tpl\nHELPTPL help.tpl\nNOTLINKTPL notlink.tpl\nLOCKEDTPL locked.tpl\n" +
             settings,
         areas, links);
  }
};

TEST_F(ManagerTest, WhichLettersTheRobotTakes) {
  LoadWithTemplates("ROBOTNAMES ALLFIX,FILEFIX\nLETTERCOPIES copies\nMANAGERLOG robot.log\n");
  CreatePath(ctx_->cfg.letter_copies);  // made at start-up by the driver
  PutLetter("2.msg", "Ivan", "allfix", "secret", "2:5020/2", {"+FILES.A"});
  PutLetter("3.msg", "Ivan", "FIX", "SECRET", "2:5020/2", {"%NOTHING"});
  PutLetter("4.msg", "Ivan", "Olvix", "SECRET", "2:5020/2", {"+FILES.C"});
  PutLetter("5.msg", "Ivan", "AllFix", "SECRET", "2:5020/2", {"+FILES.C"}, "2:5020/9");
  PutLetter("6.msg", "AllFix", "AllFix", "SECRET", "2:5020/2", {"+FILES.C"});
  PutLetter("7.msg", "Petr", "AllFix", "X", "2:5020/77.4", {"+FILES.C"});
  PutLetter("8.msg", "Ivan", "AllFix", "WRONG", "2:5020/2", {"+FILES.C"});
  PutLetter("9.msg", "Ivan", "AllFix", "PASS3", "2:5020/3", {"+FILES.C"});
  WriteFile(ctx_->cfg.netmail + "10.msg", "too short");
  RunManager(*ctx_);
  EXPECT_EQ(ListNames(ctx_->cfg.netmail), (Names{"10.msg", "4.msg", "5.msg"}));
  EXPECT_NE(ReadFile(Home("robot.log")).find("Working with letter from 2:5020/2"),
            std::string::npos);
  EXPECT_EQ(ListNames(Home("copies")).size(), 6u);
  EXPECT_EQ(Letters(),
            "2:5020/2 Ivan Status changes: Added:                        FILES.A\n"
            " 1 fileecho(s) added\n 0 fileecho(s) removed\n"
            "2:5020/2 Ivan Request answer: help for 2:5020/2\n"
            "2:5020/77.4 Petr Request answer: notlink for 2:5020/77.4\n"
            "2:5020/2 Ivan Request answer: badpwd for 2:5020/2\n"
            "2:5020/3 Ivan Request answer: locked for 2:5020/3\n");
  std::string areas = ReadFile(Home("olxareas.ini"));  // FILES.A and FILES.B
  EXPECT_NE(areas.find("Links   2:5020/2"), areas.rfind("Links   2:5020/2")) << areas;
  EXPECT_EQ(ctx_->areas.Find("FILES.C")->subscribers.size(), 0u);
  EXPECT_NE(ctx_.LogText().find("Invalid password for 2:5020/2"), std::string::npos);
}

TEST_F(ManagerTest, OneLetterWithEveryKindOfLine) {
  LoadWithTemplates(
      "CHANGESTPL changes.tpl\n[TEMPLATES]\nKEYWORD LIST\nRUN echo run >>runs.txt\n"
      "TEMPLATE list.tpl\n");
  PutLetter("2.msg", "Ivan", "Olvix", "SECRET", "2:5020/2",
            {"+FILES.A", "  -files.b", "FILES.C", "%RESUME", "#LIST", "% LIST", "x", "",
             "--- GoldED", " * Origin: Home (2:5020/2)"});
  RunManager(*ctx_);
  EXPECT_EQ(ListNames(ctx_->cfg.netmail), Names{});
  ASSERT_EQ(Letters(),
            "2:5020/2 Ivan Request answer: list for 2:5020/2\n"
            "2:5020/2 Ivan Status changes: Added:                        FILES.A\n"
            "Removed:                      FILES.B\n"
            "Added:                        FILES.C\n"
            "\xd5 Mask '+* ORIGIN: HOME (2:5020/2)'\n"
            "\xd4 There are no areas matching this criteria: '* ORIGIN: HOME (2:5020/2)'\n"
            " 2 fileecho(s) added\n"
            " 1 fileecho(s) removed\n"
            "2:5020/2 Ivan Request answer: changes for 2:5020/2\n");
  EXPECT_EQ(Sent()[1].lines.back(), LetterTearLine());
  EXPECT_EQ(ReadFile(Home("runs.txt")), "run\n");
  EXPECT_NE(ReadFile(Home("olxlinks.ini")).find("2:5020/1 A\n"), std::string::npos);
  std::string areas = ReadFile(Home("olxareas.ini"));
  EXPECT_NE(areas.find("FILES.A " + Home("files/a/") + " A 0 0 2:5020/1\nLinks   2:5020/2"),
            std::string::npos)
      << areas;
  EXPECT_EQ(areas.find("FILES.B " + Home("files/b/") + " A 0 0 2:5020/1\nLinks"),
            std::string::npos);
}

TEST_F(ManagerTest, TearAndOriginAloneAreAnsweredUnknownCommandsGetHelp) {
  LoadWithTemplates("");
  PutLetter("2.msg", "Ivan", "Olvix", "SECRET", "2:5020/2", {"--- GoldED", " * Origin: X"});
  PutLetter("3.msg", "Ivan", "Olvix", "SECRET", "2:5020/2", {"%FOO", "%BAR"});
  RunManager(*ctx_);
  EXPECT_EQ(Letters(),
            "2:5020/2 Ivan Status changes: \xd5 Mask '+* ORIGIN: X'\n"
            "\xd4 There are no areas matching this criteria: '* ORIGIN: X'\n"
            " 0 fileecho(s) added\n 0 fileecho(s) removed\n"
            "2:5020/2 Ivan Request answer: help for 2:5020/2\n");
}

TEST_F(ManagerTest, HandWithAddressMasks) {
  LoadWithTemplates("",
                    "LINK 2:100/1 A P1 10 No Hold 2:5020/1 Active\n"
                    "LINK 2:100/2 A P2 10 No Hold 2:5020/1 Active\n"
                    "LINK 2:100/2.1 A P3 10 No Hold 2:5020/1 Active\n"
                    "LINK 2:200/1 A P4 10 No Hold 2:5020/1 Active\n",
                    "AREA FILES.A files/a A 0 0 2:5020/1\nAREA FILES.C files/c A 0 0 2:5020/1\n");
  ctx_->args = {"HAND", "2:100/*", "+FILES.A"};
  RunHand(*ctx_);
  ctx_->args = {"HAND", "2:100/*.*", "+files.c", "bare line"};
  RunHand(*ctx_);
  ctx_->args = {"HAND", "2:200/1"};  // no lines: the help answer
  RunHand(*ctx_);
  auto subscribers = [&](const char* tag) {
    std::string out;
    for (const Subscriber& s : ctx_->areas.Find(tag)->subscribers)
      out += FormatAddress(s.link->address) + " ";
    return out;
  };
  EXPECT_EQ(subscribers("FILES.A"), "2:100/1 2:100/2 ");
  EXPECT_EQ(subscribers("FILES.C"), "2:100/2.1 ");
  std::vector<NetmailLetter> sent = Sent();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[0].to_name, "Sysop");
  EXPECT_EQ(FormatAddress(sent[2].destination), "2:100/2.1");
  EXPECT_EQ(Body(sent[3]), "help for 2:200/1\n");
  EXPECT_NE(ReadFile(Home("olxareas.ini")).find("2:100/2.1"), std::string::npos);
  EXPECT_FALSE(MatchesAddressMask("2:100", "2:100"));
  EXPECT_TRUE(MatchesAddressMask("2:1?0/2", "2:100/2"));
}

}  // namespace
}  // namespace olvix::testing
