#include "manager/subscribe.h"

#include <gtest/gtest.h>

#include "manager/robot_fixture.h"

namespace olvix::testing {
namespace {

constexpr char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1\n"
    "AREA FILES.B files/b A 0 0 2:5020/1\n"
    "LINKS 2:5020/2\n"
    "AREA FILES.C files/c B 0 0 2:5020/1\n"
    "AREA HIGH.R files/hr A 20 0 2:5020/1\n"
    "AREA HIGH.W files/hw A 0 30 2:5020/1\n"
    "AREA PASS.X pass/x A 0 0 2:5020/1 P\n"
    "LINKS 2:5020/2 100\n";

using SubscribeTest = RobotTest;

TEST_F(SubscribeTest, MaskReportLinesAndCounts) {
  Load("", kAreas);
  LinkRecord& link = Link("2:5020/2");
  // FILES.C is of another group: refused without a trace, not even a
  // dangling frame character.
  Subscribe(*ctx_, req_, "FILES.*", link);
  EXPECT_EQ(req_.report,
            "\xd5 Mask '+FILES.*'\n"
            "\xc3 Added:                        FILES.A\n"
            "\xc3 Already linked:               FILES.B\n"
            "\xd4 Mask '+FILES.*'\n");
  EXPECT_EQ(req_.added, 1);
  EXPECT_TRUE(req_.areas_changed);

  req_ = {};
  Unsubscribe(*ctx_, req_, "FILES.*", link);
  Subscribe(*ctx_, req_, "NONE*", link);
  EXPECT_EQ(req_.report,
            "\xd5 Mask '-FILES.*'\n"
            "\xc3 Removed:                      FILES.A\n"
            "\xc3 Removed:                      FILES.B\n"
            "\xc3 Not linked:                   FILES.C\n"
            "\xd4 Mask '-FILES.*'\n"
            "\xd5 Mask '+NONE*'\n"
            "\xd4 There are no areas matching this criteria: 'NONE*'\n");
  EXPECT_EQ(req_.removed, 2);
  EXPECT_TRUE(ctx_->areas.Find("FILES.B")->subscribers.empty());

  // The tear line of a letter is no request at all.
  req_ = {};
  Unsubscribe(*ctx_, req_, "-- OLVIX", link);
  EXPECT_FALSE(req_.handled);
  EXPECT_EQ(req_.report, "");
}

TEST_F(SubscribeTest, BlacklistLevelsAndModes) {
  Load("", kAreas);
  ctx_->cfg.blacklist = {"ABC*"};
  EXPECT_TRUE(IsBlacklisted(*ctx_, "ABC"));
  EXPECT_TRUE(IsBlacklisted(*ctx_, "ABCDEF"));
  EXPECT_FALSE(IsBlacklisted(*ctx_, "AB"));
  ctx_->cfg.blacklist = {"abc"};
  EXPECT_FALSE(IsBlacklisted(*ctx_, "ABC"));
  ctx_->cfg.blacklist = {"*"};
  LinkRecord& link = Link("2:5020/2");
  Subscribe(*ctx_, req_, "FILES.A", link);
  EXPECT_EQ(req_.report, "Filearea FILES.A is blacklisted\n");
  EXPECT_TRUE(ctx_->areas.Find("FILES.A")->subscribers.empty());

  ctx_->cfg.blacklist.clear();
  req_ = {};
  Subscribe(*ctx_, req_, "HIGH.R", link);  // read level 20 > 10: silently nothing
  EXPECT_EQ(req_.report, "");
  EXPECT_TRUE(req_.handled);
  link.level = 20;
  Subscribe(*ctx_, req_, "HIGH.W", link);
  ASSERT_EQ(ctx_->areas.Find("HIGH.W")->subscribers.size(), 1u);
  EXPECT_EQ(ctx_->areas.Find("HIGH.W")->subscribers[0].mode, kModeReadOnly);
  Subscribe(*ctx_, req_, "NO.SUCH", link);  // no uplinks to ask
  EXPECT_EQ(req_.report,
            "Added:                        HIGH.W\n"
            "Filearea NO.SUCH not found\n");
}

TEST_F(SubscribeTest, ForwardGoesToTheFirstUplinkThatMayServeTheLink) {
  // 2:5020/3 lists the tag too but shares no group with 2:5020/2.
  WriteFile(Home("up3.lst"), "NEW.ECHO From three\n");
  // A tag too long to be a fileecho here is never asked for.
  const std::string huge(129, 'H');
  WriteFile(Home("up100.lst"),
            "  OTHER Something\nnew.echo   Fresh files\n" + huge + " Too long\n");
  Load(
      "[UPLINKS]\nUPLINK 2:5020/3 up3.lst\nUPLINK 2:5020/100 up100.lst FileFix\n"
      "AREA A 0 0\n",
      kAreas);
  LinkRecord& link = Link("2:5020/2");
  Subscribe(*ctx_, req_, "NEW.ECHO", link);
  EXPECT_EQ(req_.report, "Added:                        NEW.ECHO\n");
  EXPECT_TRUE(req_.forwarded);
  AreaRecord* area = ctx_->areas.Find("NEW.ECHO");
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area->description, "Fresh files");
  ASSERT_EQ(area->subscribers.size(), 2u);  // the uplink first, then the link
  EXPECT_EQ(FormatAddress(area->subscribers[0].link->address), "2:5020/100");
  EXPECT_EQ(Letters(), "2:5020/100 FILEFIX UPPW: +NEW.ECHO\n");
  EXPECT_NE(ReadFile(Home("olxareas.ini")).find("NEW.ECHO"), std::string::npos);

  // A link that may not ask uplinks gets "not found".
  req_ = {};
  link.options = "F";
  Subscribe(*ctx_, req_, "OTHER", link);
  EXPECT_EQ(req_.report, "Filearea OTHER not found\n");
  EXPECT_NE(ctx_.LogText().find("Link 2:5020/2 cannot make forwarded requests"), std::string::npos);
  EXPECT_EQ(Sent().size(), 1u);

  req_ = {};
  link.options = "";
  Subscribe(*ctx_, req_, huge, link);
  EXPECT_EQ(req_.report, "Filearea " + huge + " not found\n");
  EXPECT_FALSE(req_.forwarded);
  EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(SubscribeTest, LastDownlinkLeavingAPassthroughFileechoDropsIt) {
  Load("UNSUBREPORT Yes\n[UPLINKS]\nUPLINK 2:5020/100\n", kAreas);
  Unsubscribe(*ctx_, req_, "PASS.X", Link("2:5020/2"));
  EXPECT_EQ(req_.report, "Removed:                      PASS.X\n");
  EXPECT_EQ(ctx_->areas.Find("PASS.X"), nullptr);
  EXPECT_EQ(Letters(), "2:5020/100 AllFix UPPW: -PASS.X\n");
  EXPECT_NE(ctx_.LogText().find("Deleting fileecho PASS.X"), std::string::npos);
  // The toss asks once per fileecho and uplink, whatever number of files.
  UnsubscribeUplink(*ctx_, *ctx_->areas.Find("FILES.A"), Link("2:5020/100"));
  UnsubscribeUplink(*ctx_, *ctx_->areas.Find("FILES.A"), Link("2:5020/100"));
  EXPECT_EQ(Sent().size(), 2u);
}

}  // namespace
}  // namespace olvix::testing
