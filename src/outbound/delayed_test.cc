#include "outbound/delayed.h"

#include <gtest/gtest.h>

#include "outbound/outbound_fixture.h"
#include "outbound/styles.h"

namespace olvix {
namespace {

using testing::ListNames;
using testing::OutboundTest;
using testing::ReadFile;
using testing::TestContext;
using testing::WriteFile;

class DelayedAttaches : public OutboundTest {
 protected:
  // A second run of the program on the same directories and links.
  std::unique_ptr<TestContext> NextRun() {
    auto next = std::make_unique<TestContext>(tmp_ / "home/", tmp_ / "log2/");
    (*next)->cfg = ctx_->cfg;
    for (size_t i = 0; i < ctx_->links.size(); ++i) {
      LinkRecord copy = ctx_->links[i];
      copy.delayed_attach = false;  // run time only
      (*next)->links.Add(copy);
    }
    return next;
  }
  std::string Att() { return tmp_ / "home/delayed.att"; }
};

TEST_F(DelayedAttaches, LockedFlowFileWaitsForTheNextRun) {
  LinkRecord& locked = AddLink({2, 5020, 100, 0}, "N");
  LinkRecord& free_link = AddLink({3, 100, 1, 0}, "N");
  WriteFile(Out("/139c0064.bsy"), "");
  ASSERT_EQ(SendFileToLink(*ctx_, file_, locked, AfterSending::kKeep, BoxPlacement::kMayLink), 0);
  ASSERT_EQ(SendFileToLink(*ctx_, tic_, locked, AfterSending::kKill, BoxPlacement::kCopyOnly), 0);
  ASSERT_EQ(SendFileToLink(*ctx_, file_, free_link, AfterSending::kKeep, BoxPlacement::kMayLink),
            0);
  WritePendingDelayedAttaches(*ctx_);
  EXPECT_EQ(ReadFile(Att()), "2:5020/100\n");
  EXPECT_NE(ctx_.LogText().find("Writing delayed attaches addresses"), std::string::npos);

  // Still in session at the next start: everything stays as it is.
  auto second = NextRun();
  RetryDelayedAttaches(**second);
  EXPECT_TRUE((*second)->links[0].delayed_attach);
  EXPECT_EQ(ReadFile(Out("/139c0064.flo")), "<missing>");
  // The marks stay until shut-down writes them anew, so a run killed
  // meanwhile leaves them for the next.
  EXPECT_EQ(ReadFile(Att()), "2:5020/100\n");
  WritePendingDelayedAttaches(**second);
  EXPECT_EQ(ReadFile(Att()), "2:5020/100\n");

  // The mailer is done: the lines move and nothing is left to carry on.
  ASSERT_EQ(platform::RemoveFile(Out("/139c0064.bsy")), 0);
  auto third = NextRun();
  RetryDelayedAttaches(**third);
  EXPECT_NE(third->LogText().find("Trying to write delayed attach(es)"), std::string::npos);
  EXPECT_FALSE((*third)->links[0].delayed_attach);
  EXPECT_EQ(ReadFile(Out("/139c0064.flo")), file_ + "\n^" + tic_ + "\n");
  WritePendingDelayedAttaches(**third);
  EXPECT_EQ(ReadFile(Att()), "<missing>");
  EXPECT_EQ(ListNames(Out("")), (std::vector<std::string>{"139c0064.flo"}));
  WritePendingDelayedAttaches(**third);
  EXPECT_EQ(ReadFile(Att()), "<missing>");
}

TEST_F(DelayedAttaches, NewFlavourAndUnknownLinks) {
  AddLink({2, 5020, 100, 0}, "C");
  AddLink({2, 5020, 100, 1}, "N");
  WriteFile(Out("/139c0064.olx"), "/files/a.zip\n^/tics/ol000001.tic\n");
  WriteFile(Out("/139c0064.clo"), "/files/old.zip\n");
  WriteFile(Att(), "2:5020/100\n2:9999/9\n");
  RetryDelayedAttaches(*ctx_);
  EXPECT_FALSE(ctx_->links[0].delayed_attach);
  EXPECT_FALSE(ctx_->links[1].delayed_attach);
  EXPECT_EQ(ReadFile(Out("/139c0064.clo")), "/files/old.zip\n/files/a.zip\n^/tics/ol000001.tic\n");
  EXPECT_EQ(ReadFile(Out("/139c0064.olx")), "<missing>");
}

TEST_F(DelayedAttaches, StyleChangedBetweenRunsDropsTheMark) {
  AddLink({2, 5020, 100, 0}, "N");
  WriteFile(Out("/139c0064.olx"), "/files/a.zip\n");
  WriteFile(Att(), "2:5020/100\n");
  UseStyle(AttachStyle::kLbso);
  RetryDelayedAttaches(*ctx_);
  EXPECT_FALSE(ctx_->links[0].delayed_attach);
  EXPECT_EQ(ReadFile(Out("/139c0064.olx")), "/files/a.zip\n");
  EXPECT_EQ(ReadFile(Out("/Fidonet.2.5020.100.0.Normal.List")), "<missing>");
  WritePendingDelayedAttaches(*ctx_);
  EXPECT_EQ(ReadFile(Att()), "<missing>");
}

TEST_F(DelayedAttaches, LongNameListFilesToo) {
  UseStyle(AttachStyle::kLbso);
  LinkRecord& link = AddLink({2, 5020, 100, 0}, "H");
  WriteFile(Out("/Fidonet.2.5020.100.0.bsy"), "");
  ASSERT_EQ(AttachLbso(*ctx_, file_, link, AfterSending::kKeep), 0);
  EXPECT_EQ(ReadFile(Out("/Fidonet.2.5020.100.0.olx")), file_ + "\n");
  ASSERT_EQ(platform::RemoveFile(Out("/Fidonet.2.5020.100.0.bsy")), 0);
  WritePendingDelayedAttaches(*ctx_);
  auto next = NextRun();
  RetryDelayedAttaches(**next);
  EXPECT_EQ(ReadFile(Out("/Fidonet.2.5020.100.0.Hold.List")), file_ + "\n");
}

TEST_F(DelayedAttaches, NothingDelayedWritesNothing) {
  AddLink({2, 5020, 100, 0}, "N");
  RetryDelayedAttaches(*ctx_);
  WritePendingDelayedAttaches(*ctx_);
  EXPECT_EQ(ListNames(tmp_ / "home/"), std::vector<std::string>{});
  EXPECT_EQ(ctx_.LogText(), "");
}

}  // namespace
}  // namespace olvix
