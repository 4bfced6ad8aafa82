// TOSS through the built program when things go wrong: a file that cannot
// be placed ends the run without losing anything, and one inbound file
// named by several tickets of which only some are accepted.
#include <gtest/gtest.h>

#include <string>

#include "toss_fixture.h"

namespace olvix::test {
namespace {

const char kHello[] = "hello world\n";

TEST(TossFailure, AFileThatCannotBePlacedEndsTheRunAndKeepsTheInbound) {
  TossNode n;
  // A plain file where the fileecho directory should be: the copy fails.
  n.s.Write("files/a", "not a directory");
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  RunResult r = n.Toss();
  EXPECT_EQ(r.status, 1) << r.output;
  EXPECT_TRUE(Holds(r.Plain(),
                    "! It was impossible to continue task\n"
                    "! because of file copying error!\n"));
  EXPECT_EQ(n.Names("in"), "a.tic hello.txt");
  EXPECT_EQ(n.Names("outtics"), "");
  EXPECT_EQ(n.Names("out/bso"), "");
}

// A rejected ticket must not carry off a file that an accepted ticket of
// the same run still has to place: the bad directory gets a copy.
TEST(TossFailure, ARejectedTicketLeavesASharedFileForTheAcceptedOne) {
  TossNode n;
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  Ticket bad;
  bad.area = "LIMITED";
  bad.pw = "WRONG";
  n.AddTic("b.tic", bad);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("bad"), "b.tic files.bbs hello.txt");
  EXPECT_EQ(n.s.Read("bad/hello.txt"), kHello);
  EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.Names("out/bso"), "139c0003.clo 139c0004.flo");
}

// The same for a duplicate: the dupes directory gets a copy, the other
// fileecho its file.
TEST(TossFailure, ADuplicateLeavesASharedFileForTheOtherFileecho) {
  TossNode n;
  n.settings = "DUPESDIR dupes\n";
  n.s.Write("files/a/hello.txt", kHello);
  n.AddFile("hello.txt", kHello);
  n.AddTic("a.tic", Ticket{});
  Ticket other;
  other.area = "LIMITED";
  n.AddTic("b.tic", other);
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "# Dupe file HELLO.TXT in fileecho FILES.A\n"));
  EXPECT_EQ(n.Names("dupes"), "a.tic hello.txt");
  EXPECT_EQ(n.s.Read("files/lim/hello.txt"), kHello);
  EXPECT_EQ(n.Names("in"), "");
  EXPECT_EQ(n.Names("out/bso"), "139c0004.flo");
}

}  // namespace
}  // namespace olvix::test
