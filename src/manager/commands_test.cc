#include "manager/commands.h"

#include <gtest/gtest.h>

#include "manager/robot_fixture.h"
#include "outbound/styles.h"

namespace olvix::testing {
namespace {

TEST(ResendParameters, SplitAtTheColonAndRefuseWhatLeavesADirectory) {
  ResendRequest r;
  ASSERT_TRUE(ParseResend("FILES.A:*.ZIP NOTIC", &r));
  EXPECT_EQ(r.area_mask + "|" + r.file_mask, "FILES.A|*.ZIP");
  EXPECT_TRUE(r.no_tic);
  ASSERT_TRUE(ParseResend("*.ZIP  NOW", &r));
  EXPECT_EQ(r.area_mask + "|" + r.file_mask, "*|*.ZIP");
  EXPECT_FALSE(r.no_tic);
  ASSERT_TRUE(ParseResend("A:B:C", &r));
  EXPECT_EQ(r.file_mask, "B:C");
  EXPECT_FALSE(IsSafeResendMask(r.file_mask));
  EXPECT_FALSE(ParseResend("FILES.A:", &r));
  EXPECT_FALSE(ParseResend(":X", &r));
  EXPECT_FALSE(ParseResend("  ", &r));
  for (const char* bad : {"..", "A..", "../X", "DIR\\X", "/ETC", "C:X"})
    EXPECT_FALSE(IsSafeResendMask(bad)) << bad;
  EXPECT_TRUE(IsSafeResendMask("*.ZIP"));
}

using CommandTest = RobotTest;

TEST_F(CommandTest, ResendSendsFilesWithTicketsAndSkipsWhatTheFileboxHolds) {
  Load(
      "ATTACHSTYLE FILEBOXES\nOUTBOUND boxes\n[TEMPLATES]\nKEYWORD RESEND\n"
      "TEMPLATE resend.tpl\n",
      "AREA FILES.A files/a A 0 0 2:5020/1\nAREA FILES.B files/b A 0 0 2:5020/1\n");
  WriteFile(Home("resend.tpl"), "Resent:\n@FILES\nBye\n");
  WriteFile(Home("files/a/a.zip"), "aaa");
  WriteFile(Home("files/a/b.zip"), "bbb");
  WriteFile(Home("files/a/files.bbs"), "A.ZIP        Archive A\n");
  WriteFile(Home("files/b/c.txt"), "ccc");
  CreatePath(ctx_->cfg.out_tics);
  LinkRecord& link = Link("2:5020/2");
  const std::string box = FileboxPath(*ctx_, link);
  WriteFile(box + "b.zip", "bbb");

  RunCommand(*ctx_, req_, "RESEND FILES.A:*.ZIP", link, "Ivan");
  RunCommand(*ctx_, req_, "RESEND C.TXT NOTIC", link, "Ivan");
  RunCommand(*ctx_, req_, "RESEND FILES.A:../*", link, "Ivan");
  EXPECT_TRUE(req_.handled);
  std::vector<std::string> names = ListNames(box);
  ASSERT_EQ(names.size(), 4u);  // a.zip, b.zip, c.txt and the ticket of a.zip
  EXPECT_EQ(ReadFile(box + "a.zip"), "aaa");
  EXPECT_EQ(ReadFile(box + "c.txt"), "ccc");
  std::string tic = ReadFile(box + names[3]);
  EXPECT_NE(tic.find("\r\nArea FILES.A\r\nFile A.ZIP\r\nPw SECRET\r\nSize 3\r\n"),
            std::string::npos)
      << tic;
  EXPECT_NE(tic.find("\r\nDesc Archive A\r\n"), std::string::npos) << tic;

  const std::string answer = "2:5020/2 Ivan Resend report: Resent:\n";
  EXPECT_EQ(Letters(),
            answer +
                "FILES.A                       a.zip               ok\n"
                "FILES.A                       b.zip               already exists in your fbox\n"
                "Bye\n" +
                answer + "FILES.B                       c.txt               ok\nBye\n" + answer +
                Format("%-50s <not found>", "../*") + "\nBye\n");

  // Nothing after the colon, or no RESEND template: nothing done.
  req_ = {};
  RunCommand(*ctx_, req_, "RESEND FILES.A:", link, "Ivan");
  ctx_->cfg.templates.clear();
  RunCommand(*ctx_, req_, "RESEND *.ZIP", link, "Ivan");
  EXPECT_FALSE(req_.handled);
  EXPECT_EQ(Sent().size(), 3u);
}

TEST_F(CommandTest, TemplateKeywordsRunTheirProgramWithQuotedWordsThenAnswer) {
  Load(
      "[TEMPLATES]\nKEYWORD HELP\nRUN printf '%s\\n' >>args.txt\nTEMPLATE help.tpl\n"
      "KEYWORD Help\nRUN echo second >>args.txt\n",
      "");
  WriteFile(Home("help.tpl"), "Help for @LINK\n");
  LinkRecord& link = Link("2:5020/2");
  RunCommand(*ctx_, req_, "HELP ONE;TOUCH PWNED $(ID) 'Q'", link, "Ivan");
  EXPECT_TRUE(req_.handled);
  EXPECT_EQ(ReadFile(Home("args.txt")),
            "ONE;TOUCH\nPWNED\n$(ID)\n'Q'\nsecond ONE;TOUCH PWNED $(ID) 'Q'\n");
  EXPECT_EQ(Letters(), "2:5020/2 Ivan Request answer: Help for 2:5020/2\n");

  req_ = {};
  RunCommand(*ctx_, req_, "UNKNOWN", link, "Ivan");
  RunCommand(*ctx_, req_, " HELP", link, "Ivan");  // "% HELP": a command without a name
  EXPECT_FALSE(req_.handled);
}

}  // namespace
}  // namespace olvix::testing
