// RELINK through the built program: subscriptions handed from one link to
// another and the two letters to the robots.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "manager/letter.h"
#include "platform/platform.h"
#include "toss_fixture.h"
#include "util/text.h"

namespace olvix::test {
namespace {

const char kAreas[] =
    "AREA FILES.A files/a A 0 0 2:5020/1\n"
    "LINKS 2:5020/2 3\n"
    "\n"
    "AREA FILES.B files/b A 0 0 2:5020/1\n"
    "LINKS 2:5020/2 ~3\n"
    "\n"
    "AREA FILES.C files/c A 0 0 2:5020/1\n"
    "LINKS 2:5020/2 !3\n"
    "\n"
    "AREA FILES.D files/d A 0 0 2:5020/1\n"
    "LINKS 2:5020/3 !4\n"
    "\n"
    "AREA OTHER.E files/e A 0 0 2:5020/1\n"
    "LINKS 2:5020/3\n";

// "to-address subject: text lines" of every letter in out/mail, by name.
std::string Sent(const TossNode& n) {
  std::string out;
  for (const auto& [name, l] : Letters(n, "out/mail")) {
    out +=
        FormatAddress(l.destination) + " " + l.from_name + "->" + l.to_name + " " + l.subject + ":";
    for (const std::string& line : l.lines)
      if (line.size() > 1 && (line[0] == '+' || line[0] == '-') && line[1] != '-')
        out += " " + line;
    out += "\n";
  }
  return out;
}

TEST(Relink, MovesWhatIsNotReadOnlyAndAsksBothRobots) {
  TossNode n;
  n.areas = kAreas;
  n.WriteConfig();
  // No room for the letters: the subscriptions stay where they were, for
  // the same command to move them once there is.
  const std::string before = n.s.Read("olxareas.ini");
  n.DiskFull({"RELINK", "2:5020/3", "2:5020/4"}, "olxmsg");
  EXPECT_EQ(n.s.Read("olxareas.ini"), before);
  // A lower-case mask; FILES.D already has the new link (read-only).
  RunResult r = n.s.Run({"relink", "2:5020/3", "2:5020/4", "files.*"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(Sent(n),
            "2:5020/4 Sysop->AllFix PASS4: +FILES.A +FILES.B +FILES.D\n"
            "2:5020/3 Sysop->AllFix PASS3: -FILES.A -FILES.B -FILES.D\n");
  std::string areas = n.s.Read("olxareas.ini");
  // The lines of a fileecho with the subscribers `links`.
  auto area = [&n](const std::string& tag, const std::string& links) {
    return "Area    " + tag + " " + n.s.dir() + "files/" + Lower(tag.substr(6)) +
           "/ A 0 0 2:5020/1\nLinks   " + links + "\n";
  };
  EXPECT_TRUE(Holds(areas, area("FILES.A", "2:5020/2 2:5020/4")));
  EXPECT_TRUE(Holds(areas, area("FILES.B", "2:5020/2 ~2:5020/4")));
  EXPECT_TRUE(Holds(areas, area("FILES.C", "2:5020/2 !2:5020/3")));
  EXPECT_TRUE(Holds(areas, area("FILES.D", "!2:5020/4")));
  EXPECT_TRUE(Holds(areas, area("OTHER.E", "2:5020/3")));
  EXPECT_TRUE(Holds(r.Plain(), "# Relinking areas from 2:5020/3 to 2:5020/4\n#   Area: FILES.A\n"));
  EXPECT_FALSE(n.s.Exists("olxrlnk.$$$"));  // consumed by the letters
  EXPECT_FALSE(n.s.Exists("olxrlnk2.$$$"));
}

TEST(Relink, TheSameLinkTwiceNothingToMoveAndUnknownLinks) {
  TossNode n;
  n.areas = kAreas;
  n.WriteConfig();
  std::string areas = n.s.Read("olxareas.ini");
  // One letter, subscriptions unchanged.
  ASSERT_EQ(n.s.Run({"RELINK", "2:5020/3", "2:5020/3"}).status, 0);
  EXPECT_EQ(Sent(n), "2:5020/3 Sysop->AllFix PASS3: +FILES.A +FILES.B +FILES.D +OTHER.E\n");
  EXPECT_TRUE(Holds(n.s.Read("olxareas.ini"), "Links   2:5020/2 !2:5020/3\n"));

  // Nothing of 2:5020/9 to move: no letters, the areas file as it was.
  n.WriteConfig();
  std::string before = Sent(n);
  RunResult r = n.s.Run({"RELINK", "2:5020/9", "2:5020/4"});
  EXPECT_EQ(Sent(n), before);
  EXPECT_EQ(n.s.Read("olxareas.ini"), areas);
  EXPECT_FALSE(n.s.Exists("olxrlnk.$$$"));
  EXPECT_FALSE(n.s.Exists("olxrlnk2.$$$"));

  r = n.s.Run({"RELINK", "2:5020/3", "2:5020/77"});
  EXPECT_TRUE(Holds(r.Plain(), "! Link 2:5020/77 is unknown to Olvix"));
  EXPECT_EQ(n.s.Read("olxareas.ini"), areas);
  EXPECT_EQ(Sent(n), before);
}

}  // namespace
}  // namespace olvix::test
