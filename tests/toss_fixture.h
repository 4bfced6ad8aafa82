// A node for toss scenarios: links and fileechoes that cover every check
// of an inbound ticket, ticket and file writers for the inbound, readers
// for what a run left in the node's directories, and runs of the build
// with the fault-injection seam (killed or with the disk full).
#ifndef OLVIX_TESTS_TOSS_FIXTURE_H_
#define OLVIX_TESTS_TOSS_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ftn_network.h"
#include "manager/letter.h"
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

  // Setters for tickets written in one expression:
  // n.AddTic("a.tic", Ticket().File("X.ZIP").Pw("FORGED")).
  Ticket& Area(std::string v) { return Set(&Ticket::area, std::move(v)); }
  Ticket& File(std::string v) { return Set(&Ticket::file, std::move(v)); }
  Ticket& From(std::string address, std::string password) {
    pw = std::move(password);
    return Set(&Ticket::from, std::move(address));
  }
  Ticket& Pw(std::string v) { return Set(&Ticket::pw, std::move(v)); }
  Ticket& Crc(std::string v) { return Set(&Ticket::crc, std::move(v)); }
  Ticket& Extra(std::vector<std::string> v) {
    extra = std::move(v);
    return *this;
  }

 private:
  Ticket& Set(std::string Ticket::*field, std::string v) {
    this->*field = std::move(v);
    return *this;
  }
};

inline constexpr int64_t kDay = 86400;
// The status of a run that the fault-injection seam killed (SIGKILL).
inline constexpr int kKilled = 128 + 9;

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
  // The ticket's file in the inbound (its name in lower case), then the
  // ticket.
  void AddPair(const std::string& tic_name, const Ticket& t, const std::string& contents) const;
  // The ticket text AddTic writes.
  std::string TicText(const Ticket& t) const;
  // Writes the configuration and runs TOSS.
  RunResult Toss() const;
  // Runs the build with the fault-injection seam, OLVIX_FAULT set to `fault`.
  RunResult RunFaulty(const std::vector<std::string>& args, const std::string& fault);
  // Runs the faulty build with the disk full at the first write whose path
  // holds `where`, and expects it to stop with status 1 and the reason.
  RunResult DiskFull(const std::vector<std::string>& args, const std::string& where);

  // Names in a directory of the node, sorted; "" for a missing directory.
  std::string Names(const std::string& dir) const;
  // Every file below `dir` (all of the node for ""), relative to the node.
  std::vector<std::string> Files(const std::string& dir = "") const;
  // The outgoing ticket a flow file points to: the path after the first
  // (or the `nth` from 0) "^" in `flow`, relative to the node.
  std::string TicOfFlow(const std::string& flow, int nth = 0) const;

  Scenario s;
};

// Runs `args` on fresh nodes made by `prepare`, killed before operation 1,
// 2, ... of the faulty build, each time followed by the same command run
// normally, until a run is not killed; that one must have got past
// `min_ops` operations. `check` looks at the node after the second run;
// `whole` tells that the first was not killed. The node of the first
// failure is kept.
void SweepKills(const std::vector<std::string>& args, int min_ops,
                const std::function<void(TossNode&)>& prepare,
                const std::function<void(const TossNode&, bool whole)>& check);

// No work file anywhere in the node.
void ExpectNoWorkFiles(const TossNode& n);
// The letters in a directory of the node by name, work files left out.
std::map<std::string, NetmailLetter> Letters(const TossNode& n, const std::string& dir);
// The packets in a directory of the node, by name; only finished ones
// (*.pkt) may be there.
std::vector<ftnnet::Packet> Packets(const TossNode& n, const std::string& dir);
// Sets the modification time of a file of the node `seconds` back.
void SetAge(const Scenario& s, const std::string& rel, int64_t seconds);
// The lines of the purge index `text` with their times replaced by "new"
// (within a minute of now) or "old".
std::string Ages(const std::string& text);
// `text` cut at each `end`, which is dropped; a last piece without one too.
std::vector<std::string> Lines(const std::string& text, const std::string& end = "\n");
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
