// Start-up with the three configuration files, the information reports and
// EXPORT, driven through the built program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/platform.h"
#include "scenario.h"

namespace olvix::test {
namespace {

const char kLinks[] =
    "; links\n"
    "LINK 2:5020/100 AB UPPW 100 Yes Hold 2:5020/1 Active\n"
    "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
    "link 2:5020/3 ab pass3 10 yes no 2:5020/1 passive oi\n"
    "LINK 2:5020/1.5 A POINTPW 5 No No 2:5020/1.1 Active OD\n"
    "LINK 2:5030/7 A FAR7 10 No Hold 2:5020/1 Active\n";

const char kAreas[] =
    "; areas\n"
    "AREA NODELIST nodelist A 0 0 2:5020/1\n"
    "DESC Nodelist of zone 2\n"
    "LINKS 2:5020/1.5 2 3 100\n"
    "\n"
    "AREA FILES.A files.a A 0 10 2:5020/1 ~M50\n"
    "LINKS 2:5020/100 ~2:5020/2 !3 1.5 2:5030/7\n"
    "\n"
    "AREA 2:5030/7 odd A 0 0 2:5020/1\n";

// The mandatory keys and whatever `extra` adds.
std::string Settings(const std::string& extra = "") {
  return "ADDRESS 2:5020/1\n"
         "ORIGIN Test node\n"
         "ROBOTNAMES Olvix\n"
         "LOGNAME olvix.log\n"
         "BADPWD badpwd.tpl\n"
         "INBOUND in\n"
         "OUTMAIL out/mail\n"
         "NETMAIL netmail\n"
         "OUTTICS outtics\n"
         "BADPATH bad\n"
         "NEWECHOPATH new\n" +
         extra;
}

void WriteNode(Scenario& s, const std::string& extra = "", const std::string& areas = kAreas) {
  s.Write("olxlinks.ini", kLinks);
  s.Write("olvix.ini", Settings(extra));
  s.Write("olxareas.ini", areas);
}

// The lines of `plain` output that start with `level` followed by a blank,
// without that prefix.
std::string Lines(const std::string& plain, char level) {
  std::string out;
  size_t pos = 0;
  while (pos < plain.size()) {
    size_t nl = plain.find('\n', pos);
    if (nl == std::string::npos) nl = plain.size();
    std::string line = plain.substr(pos, nl - pos);
    if (line.size() >= 2 && line[0] == level && line[1] == ' ') out += line.substr(2) + "\n";
    pos = nl + 1;
  }
  return out;
}

TEST(InfoReport, LinkShowsSettingsAndSubscriptionsInAreaOrder) {
  Scenario s;
  WriteNode(s);
  RunResult r = s.Run({"2:5020/3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Lines(r.Plain(), '#'),
            "Loading link file\n"
            "Loading config file\n"
            "Olvix/Linux v1.01.08g started.\n"
            "Loading area file\n"
            "Info on link 2:5020/3:\n"
            "  Group     : AB\n"
            "  Password  : PASS3\n"
            "  Security  : 10\n"
            "  Status    : Passive\n"
            "Areas subscribed to:\n"
            "              NODELIST\n"
            "               FILES.A - ReadOnly\n"
            "Olvix/Linux v1.01.08g finished.\n");
  // The report does not rewrite the configuration.
  EXPECT_EQ(s.Read("olxareas.ini"), kAreas);
  EXPECT_EQ(s.Read("olxlinks.ini"), kLinks);
}

TEST(InfoReport, AreaListsSubscribersWithTheirModes) {
  Scenario s;
  WriteNode(s);
  RunResult r = s.Run({"files.a"});
  EXPECT_EQ(r.status, 0);
  std::string lines = Lines(r.Plain(), '#');
  EXPECT_NE(lines.find("Info on area files.a:\n"
                       "  Path      : " +
                       s.dir() +
                       "files.a/\n"
                       "  Group     : A\n"
                       "Links subscribed to:\n"
                       "            2:5020/100\n"
                       "              2:5020/2 - WriteOnly\n"
                       "              2:5020/3 - ReadOnly\n"
                       "            2:5020/1.5 - ReadOnly\n"  // level 5: read but not write
                       "              2:5030/7\n"),
            std::string::npos)
      << lines;                      // no Desc line: the area has no description
  EXPECT_TRUE(s.Exists("files.a"));  // the directory was created on loading
}

TEST(InfoReport, LinkAddressWinsOverAnAreaOfTheSameNameAndUnknownIsAnError) {
  Scenario s;
  WriteNode(s);
  RunResult r = s.Run({"2:5030/7"});
  EXPECT_EQ(r.status, 0);
  std::string lines = Lines(r.Plain(), '#');
  EXPECT_NE(lines.find("Info on link 2:5030/7:\n"), std::string::npos);
  EXPECT_EQ(lines.find("Info on area"), std::string::npos);

  RunResult bad = s.Run({"2:5020/77"});
  EXPECT_EQ(bad.status, 0);
  EXPECT_EQ(Lines(bad.Plain(), '!'), "Bad command line parameter : 2:5020/77\n");
}

TEST(InfoReport, LinkWithoutSubscriptionsEndsAfterTheHeader) {
  Scenario s;
  WriteNode(s, "", "AREA ONLY only A 0 0 2:5020/1\nLINKS 2:5020/2\n");
  RunResult r = s.Run({"2:5020/100"});
  std::string lines = Lines(r.Plain(), '#');
  EXPECT_NE(lines.find("Areas subscribed to:\nOlvix/Linux v1.01.08g finished.\n"),
            std::string::npos)
      << lines;
}

TEST(Startup, UnknownSubscriberEndsTheRunWithTheLineNumber) {
  Scenario s;
  WriteNode(s, "",
            "; first\n"
            "AREA ONE one A 0 0 2:5020/1\n"
            "\n"
            "DESC x\n"
            "LINKS 2:5020/2 3 9\n");
  RunResult r = s.Run({"ONE"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.Plain(), '!'),
            "Link 2:5020/9 is unknown to Olvix\n"
            "Error in file olxareas.ini, line 5\n");
  EXPECT_EQ(Lines(r.Plain(), '#').find("Info on area"), std::string::npos);
}

TEST(Startup, MissingMandatoryKeyIsNamedAndNoLogIsWritten) {
  Scenario s;
  s.Write("olxlinks.ini", kLinks);
  std::string ini = Settings();
  ini.erase(ini.find("OUTMAIL out/mail\n"), 17);
  s.Write("olvix.ini", ini);
  s.Write("olxareas.ini", kAreas);
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(Lines(r.Plain(), '!'),
            "There is an error in OLVIX.INI, section Main:\n"
            " OUTMAIL is not set\n");
  EXPECT_FALSE(s.Exists("olvix.log"));
}

TEST(Startup, MissingFilesEndTheRunWithStatusOne) {
  Scenario s;
  RunResult no_links = s.Run({"X"});
  EXPECT_EQ(no_links.status, 1);
  EXPECT_TRUE(no_links.Contains("There was an error while loading link file"));

  s.Write("olxlinks.ini", kLinks);
  RunResult no_ini = s.Run({"X"});
  EXPECT_EQ(no_ini.status, 1);
  EXPECT_TRUE(no_ini.Contains("Olvix was not able to open file " + s.dir() + "olvix.ini"));

  s.Write("olvix.ini", Settings());
  RunResult no_areas = s.Run({"X"});
  EXPECT_EQ(no_areas.status, 1);
  EXPECT_TRUE(no_areas.Contains("olxareas.ini"));
}

TEST(Startup, DefinesIncludesAndPlatformTagsShapeTheDirectories) {
  Scenario s;
  WriteNode(s,
            "#DEFINE %ROOT% spool\n"
            "#DEFINE LOOP dirs/LOOP\n"
            "(UNIX) KEEPTICS %root%/keep\n"
            "(NT) KEEPTICS nt-only\n"
            "(OS2) PACKETDIR os2-only\n"
            "#INCLUDE more.ini\n"
            "PACKETDIR LOOP\n");
  s.Write("more.ini", "DUPESDIR %ROOT%/Dupes\n");
  RunResult r = s.Run({"NODELIST"}, {}, 20);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(s.Exists("spool/keep"));
  EXPECT_FALSE(s.Exists("nt-only"));
  EXPECT_FALSE(s.Exists("os2-only"));
  EXPECT_TRUE(s.Exists("spool/Dupes"));  // paths keep their case
  EXPECT_TRUE(s.Exists("dirs/LOOP"));    // a self-referencing name is replaced once
  EXPECT_FALSE(s.Exists("dirs/dirs"));
}

TEST(Startup, IncludeLoopIsRefused) {
  Scenario s;
  WriteNode(s, "#INCLUDE a.ini\n");
  s.Write("a.ini", "#INCLUDE b.ini\n");
  s.Write("b.ini", "#INCLUDE a.ini\n");
  RunResult r = s.Run({"NODELIST"}, {}, 20);
  ASSERT_FALSE(r.timed_out);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.Contains("contents invalid information:")) << r.output;
  EXPECT_TRUE(r.Contains("more than 16 nested include files")) << r.output;
}

TEST(Startup, MissingIncludeEndsTheRun) {
  Scenario s;
  WriteNode(s, "#INCLUDE nothere.ini\n");
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.Contains("Olvix was not able to open file " + s.dir() + "nothere.ini"));
}

TEST(Startup, LogLevelKeepsItsLowThreeBits) {
  Scenario s;
  WriteNode(s, "LOGLEVEL 12\n");  // 4: "Analyzing command line" has verbosity 4
  EXPECT_TRUE(s.Run({"NODELIST"}).Contains("Analyzing command line"));
  WriteNode(s, "LOGLEVEL 9\n");  // 1
  RunResult r = s.Run({"NODELIST"});
  EXPECT_FALSE(r.Contains("Analyzing command line"));
  EXPECT_TRUE(r.Contains("Info on area NODELIST:"));
}

TEST(Startup, LanguageSelectsTheRussianCatalogue) {
  Scenario s;
  WriteNode(s, "LANGUAGE russian\n");
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.Contains("Info on area NODELIST:"));
}

TEST(Startup, NotEnoughFreeSpaceEndsWithStatusThree) {
  Scenario s;
  if (platform::FreeSpaceKb(s.dir()) >= 2147483647) GTEST_SKIP() << "too much free space";
  WriteNode(s, "MINFREE X 1\nMINFREE . 2147483647\n");
  RunResult r = s.Run({"NODELIST"}, {{"OLVIX_DRIVE_X", s.dir()}});
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(Lines(r.Plain(), '!'), "Not enough free space to work\n");

  WriteNode(s, "MINFREE X 2147483647\n");
  EXPECT_EQ(s.Run({"NODELIST"}, {{"OLVIX_DRIVE_X", s.dir()}}).status, 3);

  WriteNode(s, "MINFREE X 1\nMINFREE X\n");  // a line without the number checks nothing
  EXPECT_EQ(s.Run({"NODELIST"}, {{"OLVIX_DRIVE_X", s.dir()}}).status, 0);
}

// Holds the busy flag the way another copy would.
class FlagHolder {
 public:
  explicit FlagHolder(const std::string& path) {
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT, 0666);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~FlagHolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

TEST(Startup, BusyFlagHeldByAnotherCopy) {
  Scenario s;
  WriteNode(s, "BUSYFLAG flags/olvix.bsy\nBUSYWAIT 2\n");
  s.MakeDir("flags");
  FlagHolder holder(s.PathOf("flags/olvix.bsy"));
  ASSERT_TRUE(holder.held());
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(Lines(r.Plain(), '!'), "There is another copy of Olvix running now!\n");
  EXPECT_TRUE(s.Exists("flags/olvix.bsy"));  // the other copy's flag stays

  WriteNode(s, "BUSYFLAG flags/olvix.bsy\nBUSYWAIT -1\n");
  RunResult going_on = s.Run({"NODELIST"});
  EXPECT_EQ(going_on.status, 0);
  EXPECT_TRUE(going_on.Contains("There is another copy of Olvix running now!"));
  EXPECT_TRUE(going_on.Contains("Info on area NODELIST:"));
  EXPECT_TRUE(s.Exists("flags/olvix.bsy"));
}

TEST(Startup, BusyFlagIsTakenAndRemoved) {
  Scenario s;
  WriteNode(s, "BUSYFLAG flags/olvix.bsy\n");
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(r.Contains("another copy"));
  EXPECT_TRUE(s.Exists("flags"));
  EXPECT_FALSE(s.Exists("flags/olvix.bsy"));
}

TEST(Export, WritesTagAndDescriptionOfEveryArea) {
  Scenario s;
  WriteNode(s);
  RunResult r = s.Run({"export", "list.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(s.Read("list.txt"),
            "NODELIST                   Nodelist of zone 2\n"
            "FILES.A                    \n"
            "2:5030/7                   \n");
}

TEST(Export, WithoutFileNameOrUnwritableFileWritesNothing) {
  Scenario s;
  WriteNode(s);
  RunResult r = s.Run({"EXPORT"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Lines(r.Plain(), '!'), "You mast specify filename for Export\n");

  RunResult bad = s.Run({"EXPORT", "no/such/dir/list.txt"});
  EXPECT_EQ(bad.status, 0);
  EXPECT_TRUE(bad.Contains("Olvix was not able to open file " + s.dir() + "no/such/dir/list.txt"));
  EXPECT_FALSE(s.Exists("no"));
}

TEST(Startup, GarbageInTheConfigurationDoesNotCrash) {
  Scenario s;
  std::string garbage;
  unsigned seed = 12345;
  for (int i = 0; i < 20000; ++i) {
    seed = seed * 1103515245u + 12345u;
    garbage += static_cast<char>(seed >> 16);
  }
  std::string long_line(3000, 'X');
  s.Write("olxlinks.ini", std::string(kLinks) + garbage + "\nLINK " + long_line + "\n");
  s.Write("olvix.ini", Settings("UTC 99999999999999999999\nSTREAMBUFFER 4096\n" + garbage + "\n" +
                                long_line + "\n"));
  s.Write("olxareas.ini", std::string(kAreas) + "AREA " + long_line + " x A 0 0 2:5020/1\n" +
                              std::string("DESC a\0b\n", 9) + garbage.substr(0, 0));
  RunResult r = s.Run({"NODELIST"});
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(r.Contains("Info on area NODELIST:"));
}

}  // namespace
}  // namespace olvix::test
