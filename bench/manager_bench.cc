// MGR by the built program on a node with N fileechoes and 1000 links
// (each fileecho with five subscribers). Every iteration puts ten letters
// into NETMAIL, each from another link with the lines "+*" and "%LIST"
// (a template listing every fileecho the link may use, in parts of 200
// lines), restores the areas file and empties OUTMAIL outside the timed
// region, then runs `olvix MGR` once. Reports letters per second and
// answer lines (report lines and list lines) per second, so that growth
// from 1000 to 10000 fileechoes shows whether the robot stays linear.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_util.h"
#include "manager/letter.h"
#include "platform/platform.h"
#include "util/text.h"

#ifndef OLVIX_BINARY
#error "OLVIX_BINARY must name the built program"
#endif

namespace olvix {
namespace {

using bench::CountEntries;
using bench::RemoveTree;
using bench::WriteFile;

constexpr int kLinks = 1000;
constexpr int kLetters = 10;
constexpr int kSubscribers = 5;

FtnAddress LinkAddress(int i) {
  return {2, static_cast<uint32_t>(5000 + i / 100), 1u + i % 100, 0};
}

class RobotNode {
 public:
  explicit RobotNode(int areas) : home_("olvix-mgr-bench"), dir_(home_.path()) {
    ok_ = home_.ok() && bench::MakeDir(dir_ + "files");
    // The fileecho directories exist, as on a running node: the loading
    // of the areas file would make them in the first timed run only.
    for (int a = 0; ok_ && a < areas; ++a) ok_ = bench::MakeDir(dir_ + Format("files/area%d", a));
    std::string links;
    for (int i = 0; i < kLinks; ++i)
      links += Format("LINK %s A PW%d 10 No Hold 2:5020/1 Active\n",
                      FormatAddress(LinkAddress(i)).c_str(), i);
    for (int a = 0; a < areas; ++a) {
      areas_ += Format("AREA AREA.%05d files/area%d A 0 0 2:5020/1\nDESC Fileecho number %d\nLINKS",
                       a, a, a);
      for (int s = 0; s < kSubscribers; ++s)
        areas_ += " " + FormatAddress(LinkAddress((a * 7 + s * 131) % kLinks));
      areas_ += "\n\n";
    }
    ok_ = ok_ && WriteFile(dir_ + "olxlinks.ini", links) &&
          WriteFile(dir_ + "list.tpl", "Fileechoes:\n>---<\n@@S @@@@@@@@@@@@@@@@@@A @D\n") &&
          WriteFile(dir_ + "olvix.ini",
                    "ADDRESS 2:5020/1\nORIGIN Bench node\nROBOTNAMES Olvix\nLOGNAME olvix.log\n"
                    "BADPWD badpwd.tpl\nINBOUND in\nOUTMAIL outmail\nNETMAIL netmail\n"
                    "OUTTICS outtics\nBADPATH bad\nNEWECHOPATH new\nREPLYLINES 200\n"
                    "[TEMPLATES]\nKEYWORD LIST\nTEMPLATE list.tpl\n");
  }
  bool ok() const { return ok_; }

  // The areas file as it was, an empty OUTMAIL and the letters in NETMAIL.
  bool Prepare() {
    for (const char* d : {"outmail", "netmail"}) RemoveTree(dir_ + d);
    (void)platform::RemoveFile(dir_ + "olvix.log");  // absent on the first round
    if (!bench::MakeDir(dir_ + "netmail") || !WriteFile(dir_ + "olxareas.ini", areas_))
      return false;
    for (int i = 0; i < kLetters; ++i) {
      FtnAddress from = LinkAddress(i * 97 % kLinks);
      MessageHeader h;
      h.from_name = "Sysop";
      h.to_name = "Olvix";
      h.subject = Format("PW%d", i * 97 % kLinks);
      h.orig_net = static_cast<uint16_t>(from.net);
      h.orig_node = static_cast<uint16_t>(from.node);
      h.dest_net = 5020;
      h.dest_node = 1;
      std::string text = "\x01INTL 2:5020/1 " + FormatAddress(from) + "\r+*\r%LIST\r";
      if (!WriteFile(dir_ + Format("netmail/%d.msg", i + 2), EncodeMessageHeader(h) + text))
        return false;
    }
    return true;
  }

  int Manager() const { return bench::RunOlvix(OLVIX_BINARY, dir_, "MGR"); }
  size_t Answers() const { return CountEntries(dir_ + "outmail", "*.msg"); }

 private:
  bench::TempDir home_;
  std::string dir_;
  std::string areas_;
  bool ok_ = false;
};

void BM_ManagerLetters(benchmark::State& state) {
  const int areas = static_cast<int>(state.range(0));
  RobotNode node(areas);
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  // Per letter: a status report with one line per fileecho, one "Request
  // answer" per 200 list lines.
  const size_t answers = kLetters * (1 + (static_cast<size_t>(areas) + 1 + 199) / 200);
  bench::IterationTimer timer(state);
  for (auto _ : state) {
    state.PauseTiming();
    if (!node.Prepare()) return state.SkipWithError("cannot write the letters");
    state.ResumeTiming();
    timer.Start();
    int status = node.Manager();
    timer.Stop();
    if (status != 0) return state.SkipWithError("olvix MGR failed");
    state.PauseTiming();
    if (node.Answers() != answers)
      return state.SkipWithError("the robot did not answer every letter");
    state.ResumeTiming();
  }
  state.counters["letters/s"] = timer.PerSecond(kLetters);
  state.counters["lines/s"] = timer.PerSecond(2.0 * kLetters * areas);
}

BENCHMARK(BM_ManagerLetters)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace olvix
