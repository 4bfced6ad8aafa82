// PURGE, the purge of kept tickets and the queue clean through the built
// program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

std::string IndexLine(int64_t age, const std::string& tag, int size, const std::string& name) {
  return Format("%lld %s %d %s\n", static_cast<long long>(platform::Now() - age), tag.c_str(), size,
                name.c_str());
}

const char kLocalAreas[] =
    "AREA SIZED files/sized A 0 0 2:5020/1 ~K1\n"
    "LINKS 2:5020/2\n\n"
    "AREA AGED files/aged A 0 0 2:5020/1 ~D7\n"
    "LINKS 2:5020/2\n\n"
    "AREA PASS.A pass/a A 0 0 2:5020/1 P\n"
    "LINKS 2:5020/2 4\n\n"
    "AREA PLAIN files/plain A 0 0 2:5020/1\n"
    "LINKS 2:5020/2\n";

TEST(Purge, LocalFileechoesBySizeNewestKeptAndByAgeWithTheIndexRewritten) {
  TossNode n;
  n.areas = kLocalAreas;
  n.settings = "DESCWIDTH 14\n";
  const std::string kb600(600, 'x');
  for (const char* f : {"a.zip", "b.zip", "c.zip"})
    n.s.Write(std::string("files/sized/") + f, kb600);
  n.s.Write("files/sized/files.bbs",
            "A.ZIP [00] first\nB.ZIP [00] second\n             more of b\nC.ZIP [00] third\n");
  for (const char* f : {"old.zip", "young.zip", "new.zip", "again.txt", "ahead.zip"})
    n.s.Write(std::string("files/aged/") + f, "data");
  n.s.Write(
      "olxprg.idx",
      IndexLine(300, "SIZED", 600, "A.ZIP") + IndexLine(200, "SIZED", 600, "B.ZIP") +
          IndexLine(100, "SIZED", 600, "C.ZIP") + IndexLine(8 * kDay, "AGED", 4, "OLD.ZIP") +
          IndexLine(6 * kDay, "AGED", 4, "YOUNG.ZIP") +
          // Tossed again a day ago: the older arrival does not count.
          IndexLine(10 * kDay, "AGED", 4, "AGAIN.TXT") + IndexLine(kDay, "aged", 4, "AGAIN.TXT") +
          // A clock set back: an arrival ahead of it is young.
          IndexLine(-3 * kDay, "AGED", 4, "AHEAD.ZIP") +
          // Dropped: passthrough, no limits, unknown, damaged.
          IndexLine(9 * kDay, "PASS.A", 4, "P.ZIP") + IndexLine(9 * kDay, "PLAIN", 4, "Q.ZIP") +
          IndexLine(9 * kDay, "NOSUCH", 4, "R.ZIP") + "12x AGED 4 YOUNG.ZIP\n" +
          IndexLine(9 * kDay, "AGED", 4, "../young.zip"));
  n.WriteConfig();
  RunResult r = n.s.Run({"PURGE"});
  ASSERT_EQ(r.status, 0) << r.output;

  EXPECT_EQ(n.Names("files/sized"), "c.zip files.bbs");
  EXPECT_EQ(n.s.Read("files/sized/files.bbs"), "C.ZIP [00] third\n");
  EXPECT_EQ(n.Names("files/aged"), "again.txt ahead.zip new.zip young.zip");
  EXPECT_EQ(Ages(n.s.Read("olxprg.idx")),
            "old SIZED 600 C.ZIP\n"
            "old AGED 4 YOUNG.ZIP\n"
            "old AGED 4 AGAIN.TXT\n"
            "old AGED 4 AHEAD.ZIP\n"
            "new AGED 4 new.zip\n");
  EXPECT_TRUE(Holds(r.Plain(), "# Purging SIZED, dir: " + n.s.dir() + "files/sized/"));
  EXPECT_TRUE(Holds(r.Plain(), "# File old.zip was deleted"));

  // The next PURGE finds the same files and changes nothing.
  std::string index = n.s.Read("olxprg.idx");
  ASSERT_EQ(n.s.Run({"PURGE"}).status, 0);
  EXPECT_EQ(n.s.Read("olxprg.idx"), index);
  EXPECT_EQ(n.Names("files/aged"), "again.txt ahead.zip new.zip young.zip");
}

TEST(Purge, PassthroughKeepsWhatWaitingTicketsSendAndNeverLeavesItsDirectory) {
  TossNode n;
  n.areas = kLocalAreas;
  for (const char* f : {"wanted.zip", "other.zip", "readonly.zip", "files.bbs"})
    n.s.Write(std::string("pass/a/") + f, "data");
  ASSERT_EQ(::chmod(n.s.PathOf("pass/a/readonly.zip").c_str(), 0444), 0);
  n.s.Write("outside/precious.zip", "keep me");
  ASSERT_EQ(::symlink(n.s.PathOf("outside/precious.zip").c_str(),
                      n.s.PathOf("pass/a/precious.zip").c_str()),
            0);
  n.s.Write("outtics/ol000001.tic",
            "Area PASS.A\r\nFile WANTED.ZIP\r\nFrom 2:5020/1\r\nTo 2:5020/4\r\n");
  // Names a file of another fileecho: no protection here.
  n.s.Write("outtics/ol000002.tic",
            "Area SIZED\r\nFile OTHER.ZIP\r\nFrom 2:5020/1\r\nTo 2:5020/4\r\n");

  // With a queue the passthrough files are the queue clean's business.
  n.settings = "QUEUEDIR queue\n";
  n.WriteConfig();
  ASSERT_EQ(n.s.Run({"PURGE"}).status, 0);
  EXPECT_EQ(n.Names("pass/a"), "files.bbs other.zip precious.zip readonly.zip wanted.zip");

  n.settings = "";
  n.WriteConfig();
  RunResult r = n.s.Run({"PURGE"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("pass/a"), "files.bbs precious.zip wanted.zip");
  EXPECT_EQ(n.s.Read("outside/precious.zip"), "keep me");
  EXPECT_TRUE(Holds(r.Plain(), ": Loading .TIC files"));
  EXPECT_TRUE(Holds(r.Plain(), "# File readonly.zip was deleted"));
}

TEST(Purge, KeptTicketsOlderThanKeepTicsDaysGoExactlyThatOldStay) {
  TossNode n;
  n.settings = "KEEPTICS keep\nKEEPTICSDAYS 3\n";
  for (const char* t : {"exact.tic", "older.tic", "ahead.tic"})
    n.s.Write(std::string("keep/") + t, "t");
  n.s.Write("keep/note.txt", "not a ticket");
  SetAge(n.s, "keep/exact.tic", 3 * kDay);
  SetAge(n.s, "keep/older.tic", 4 * kDay);
  SetAge(n.s, "keep/ahead.tic", -2 * kDay);
  SetAge(n.s, "keep/note.txt", 30 * kDay);
  n.WriteConfig();
  ASSERT_EQ(n.s.Run({"PURGE"}).status, 0);
  EXPECT_EQ(n.Names("keep"), "ahead.tic exact.tic note.txt");

  SetAge(n.s, "keep/exact.tic", 30 * kDay);
  n.settings = "KEEPTICS keep\nKEEPTICSDAYS 0\n";
  n.WriteConfig();
  RunResult r = n.s.Run({"PURGE"});
  EXPECT_EQ(n.Names("keep"), "ahead.tic exact.tic note.txt");
  EXPECT_FALSE(Holds(r.Plain(), "Checking for old .TIC files"));
}

TEST(QueueClean, AfterTheTossOnlyFilesThatWaitingTicketsNameStay) {
  TossNode n;
  n.settings = "QUEUEDIR queue\n";
  n.AddFile("hello.txt", "hello\n");
  n.AddTic("a.tic", Ticket{});
  for (const char* f : {"stale.zip", "needed.zip", "damaged.zip"})
    n.s.Write(std::string("queue/") + f, "q");
  n.s.Write("outtics/ol000001.tic", "Area FILES.A\r\nFile NEEDED.ZIP\r\nFrom 2:5020/1\r\n");
  // No From: not a valid ticket, but its file may still be on its way.
  n.s.Write("outtics/ol000002.tic", "Area FILES.A\r\nFile DAMAGED.ZIP\r\n");
  RunResult r = n.Toss();
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(n.Names("queue"), "damaged.zip hello.txt needed.zip");
  EXPECT_TRUE(Holds(r.Plain(), "# Cleaning queue from old files"));

  // Once the mailer has sent the tickets, their files go.
  for (const char* t : {"ol000001.tic", "ol000002.tic"})
    ASSERT_EQ(platform::RemoveFile(n.s.PathOf(std::string("outtics/") + t)), 0);
  ASSERT_EQ(n.s.Run({"TOSS"}).status, 0);
  EXPECT_EQ(n.Names("queue"), "hello.txt");
}

}  // namespace
}  // namespace olvix::test
