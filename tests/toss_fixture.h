// A node for toss scenarios: links and fileechoes that cover every check
// of an inbound ticket, ticket and file writers for the inbound, and
// readers for what the toss left in the node's directories.
#ifndef OLVIX_TESTS_TOSS_FIXTURE_H_
#define OLVIX_TESTS_TOSS_FIXTURE_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "scenario.h"

namespace olvix::test {

// 2:5020/2 is the usual sender; 3 (option G, crash) and 4 (normal) receive.
// The others are passive (they send but receive nothing): 5 may create
// fileechoes, 6 is read-only (O), 7 has its REPLACES ignored (R), 8 is in
// another group, 9 has too low a level.
inline constexpr char kTossLinks[] =
    "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n"
    "LINK 2:5020/3 A PASS3 10 No Crash 2:5020/1 Active G\n"
    "LINK 2:5020/4 A PASS4 10 No Normal 2:5020/1 Active\n"
    "LINK 2:5020/5 A PASS5 10 Yes Hold 2:5020/1 Passive\n"
    "LINK 2:5020/6 A PASS6 10 No Hold 2:5020/1 Passive O\n"
    "LINK 2:5020/7 A PASS7 10 No Hold 2:5020/1 Passive R\n"
    "LINK 2:5020/8 B PASS8 10 No Hold 2:5020/1 Passive\n"
    "LINK 2:5020/9 A PASS9 1 No Hold 2:5020/1 Passive\n"
    "LINK 2:5020/10 A PASS10 10 No Hold 2:5020/1 Passive\n";

// FILES.A: write level 5 (link 9 has 1), 10 read-only. FILES.R: flag R.
// PASS.A: passthrough. LIMITED: size limit. AGED: age limit only.
inline constexpr char kTossAreas[] =
    "AREA FILES.A files/a A 0 5 2:5020/1\n"
    "DESC Files of A\n"
    "LINKS 2:5020/2 3 4 5 6 7 8 9 !10\n"
    "\n"
    "AREA FILES.R files/r A 0 0 2:5020/1 R\n"
    "LINKS 2:5020/2 7\n"
    "\n"
    "AREA PASS.A pass/a A 0 0 2:5020/1 P\n"
    "LINKS 2:5020/2 4\n"
    "\n"
    "AREA LIMITED files/lim A 0 0 2:5020/1 ~K100\n"
    "LINKS 2:5020/2 4\n"
    "\n"
    "AREA AGED files/aged A 0 0 2:5020/1 ~D30\n"
    "LINKS 2:5020/2\n";

// One inbound ticket. `crc` empty: the CRC of the inbound file (0 when the
// file is missing); "-": no Crc line at all.
struct Ticket {
  std::string area = "FILES.A";
  std::string file = "HELLO.TXT";
  std::string from = "2:5020/2";
  std::string pw = "SECRET";
  std::string crc;
  std::vector<std::string> extra;  // further lines, e.g. "Desc ..."
};

class TossNode {
 public:
  TossNode() = default;

  // Settings appended to the usual [MAIN] keys; sections may follow.
  std::string settings;
  std::string links = kTossLinks;
  std::string areas = kTossAreas;

  // Writes olvix.ini, olxlinks.ini and olxareas.ini.
  void WriteConfig() const;
  // A file in the inbound.
  void AddFile(const std::string& name, const std::string& contents) const;
  // A ticket in the inbound (CR LF line ends).
  void AddTic(const std::string& tic_name, const Ticket& t) const;
  // The ticket text AddTic writes.
  std::string TicText(const Ticket& t) const;
  // Writes the configuration and runs TOSS.
  RunResult Toss() const;

  // Names in a directory of the node, sorted; "" for a missing directory.
  std::string Names(const std::string& dir) const;
  // The outgoing ticket a flow file points to: the path after "^" in
  // `flow` (relative to the node).
  std::string TicOfFlow(const std::string& flow) const;

  Scenario s;
};

// The lines of plain output that begin with `level` and a blank.
std::string LevelLines(const std::string& plain, char level);
// True when `text` holds `part`, for EXPECT_TRUE with a readable message.
::testing::AssertionResult Holds(const std::string& text, const std::string& part);
// Ticket text with the time fields of our Path line replaced by "<t>":
// "Path 2:5020/1 <t> UTC+0300". The line must have the seconds, a blank, a
// 24-character date of the form "%a %b %d %Y %T" and " UTC".
std::string MaskPathTime(const std::string& ticket);

}  // namespace olvix::test

#endif  // OLVIX_TESTS_TOSS_FIXTURE_H_
