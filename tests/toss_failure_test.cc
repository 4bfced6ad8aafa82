// TOSS through the built program when things go wrong: a file that cannot
// be placed ends the run without losing anything, one inbound file named by
// several tickets of which only some are accepted, names in the inbound
// that are no plain files.
#include <gtest/gtest.h>
#include <unistd.h>

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
  Ticket wrong_password;
  wrong_password.area = "LIMITED";
  wrong_password.pw = "WRONG";
  Ticket bad_replaces;
  bad_replaces.extra = {"Replaces ../*"};
  for (const Ticket& bad : {wrong_password, bad_replaces}) {
    SCOPED_TRACE(bad.extra.empty() ? "password" : "replaces");
    TossNode n;
    n.AddFile("hello.txt", kHello);
    n.AddTic("a.tic", Ticket{});
    n.AddTic("b.tic", bad);
    RunResult r = n.Toss();
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(n.Names("bad"), "b.tic files.bbs hello.txt");
    EXPECT_EQ(n.s.Read("bad/hello.txt"), kHello);
    EXPECT_EQ(n.s.Read("files/a/hello.txt"), kHello);
    EXPECT_EQ(n.Names("in"), "");
    EXPECT_EQ(n.Names("out/bso"), "139c0003.clo 139c0004.flo");
  }
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

// A name that is not a plain file (a directory of the inbound, a symbolic
// link to anywhere) counts as a file not received: copying it would fail
// on every run, or take in a file from outside the inbound.
TEST(TossFailure, ADirectoryOrALinkInTheInboundIsNoFile) {
  TossNode n;
  n.s.Write("in/sub/inner.txt", "inner\n");
  n.s.Write("outside.txt", "precious\n");
  ASSERT_EQ(::symlink(n.s.PathOf("outside.txt").c_str(), n.s.PathOf("in/link.txt").c_str()), 0);
  Ticket dir;
  dir.file = "SUB";
  dir.crc = "-";
  n.AddTic("a.tic", dir);
  Ticket link;
  link.file = "LINK.TXT";
  link.crc = "-";
  n.AddTic("b.tic", link);
  n.AddFile("hello.txt", kHello);
  n.AddTic("c.tic", Ticket{});
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(Holds(r.Plain(), "! File SUB does not exist or wasn't\n"));
  EXPECT_TRUE(Holds(r.Plain(), "! File LINK.TXT does not exist or wasn't\n"));
  EXPECT_EQ(n.Names("files/a"), "files.bbs hello.txt");
  EXPECT_EQ(n.Names("in"), "link.txt sub/");
  EXPECT_EQ(n.s.Read("outside.txt"), "precious\n");
}

}  // namespace
}  // namespace olvix::test
