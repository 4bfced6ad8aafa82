// Announcements and HATCH by the built program: a TOSS of N new files
// announced through three [ANNOUNCE] definitions (packets split every 150
// lines), and a HATCH of a mask matching N files. Each iteration starts
// from fresh directories (outside the timed region). Reports files
// announced, or hatched, per second: the rate must not fall as N grows.
#include <benchmark/benchmark.h>

#include <string>

#include "bench_util.h"
#include "platform/platform.h"
#include "util/crc32.h"
#include "util/text.h"

#ifndef OLVIX_BINARY
#error "OLVIX_BINARY must name the built program"
#endif

namespace olvix {
namespace {

using bench::CountEntries;
using bench::RemoveTree;
using bench::WriteFile;

constexpr int kAreas = 8;
constexpr int kReceivers = 3;

class AnnounceNode {
 public:
  AnnounceNode() : home_("olvix-announce-bench"), dir_(home_.path()) {
    std::string links = "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n";
    std::string subscribers = " 2:5020/2";
    for (int i = 0; i < kReceivers; ++i) {
      links += Format("LINK 2:5020/%d A PW%d 10 No Hold 2:5020/1 Active\n", 10 + i, i);
      subscribers += Format(" %d", 10 + i);
    }
    std::string areas;
    for (int a = 0; a < kAreas; ++a)
      areas += Format("AREA AREA.%d files/area%d A 0 0 2:5020/1\nDESC Area %d\nLINKS%s\n\n", a, a,
                      a, subscribers.c_str());
    ok_ = home_.ok() && WriteFile(dir_ + "olxlinks.ini", links) &&
          WriteFile(dir_ + "olxareas.ini", areas) &&
          WriteFile(dir_ + "files.tpl",
                    "New files at @STATION, @DATE\n>---<\n@AREA: @DESC\n>***<\n"
                    "@@@@@@@@@@@F @@@@@@@S @D\n<***>\n@NUMB files, @SIZE bytes\n<--->\n"
                    "@FNUMB files, @FSIZE bytes\n") &&
          WriteFile(dir_ + "olvix.ini",
                    "ADDRESS 2:5020/1\nORIGIN Bench node\nROBOTNAMES Olvix\nLOGNAME olvix.log\n"
                    "BADPWD badpwd.tpl\nINBOUND in\nOUTMAIL out/mail\nOUTBOUND out/bso\n"
                    "ATTACHSTYLE BINK\nNETMAIL netmail\nOUTTICS outtics\nBADPATH bad\n"
                    "NEWECHOPATH new\nSTATION Bench\nPACKETDIR pkt\nHATCHCOPY Yes\n"
                    "[ANNOUNCE]\nALL.FILES 2:5020/1 2:5020/1 PW * files.tpl\n"
                    "A.FILES 2:5020/1 2:5020/1 PW A files.tpl\n"
                    "POINT.FILES 2:5020/1.1 2:5020/1 PW AB files.tpl\n");
  }
  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }

  // Fresh directories; `n` files with tickets in the inbound, or `n` files
  // in hatch/.
  bool Prepare(int n, bool hatch) {
    for (const char* d : {"in", "files", "outtics", "out", "pkt", "hatch"}) RemoveTree(dir_ + d);
    (void)platform::RemoveFile(dir_ + "olvix.log");  // absent on the first round
    std::string target = dir_ + (hatch ? "hatch/" : "in/");
    if (!bench::MakeDir(target)) return false;
    for (int i = 0; i < n; ++i) {
      std::string name = Format("file%05d.zip", i);
      std::string data = Format("contents of file %d\n", i) + std::string(200 + i % 300, 'x');
      if (!WriteFile(target + name, data)) return false;
      if (hatch) continue;
      std::string tic = Format(
          "Area AREA.%d\r\nFile %s\r\nFrom 2:5020/2\r\nOrigin 2:5020/2\r\nPw SECRET\r\n"
          "Crc %08X\r\nDesc File number %d\r\nLDesc a second line\r\n",
          i % kAreas, Upper(name).c_str(), Crc32(data), i);
      if (!WriteFile(dir_ + Format("in/t%05d.tic", i), tic)) return false;
    }
    return true;
  }

  int Run(const std::string& args) const { return bench::RunOlvix(OLVIX_BINARY, dir_, args); }

 private:
  bench::TempDir home_;
  std::string dir_;
  bool ok_ = false;
};

void Measure(benchmark::State& state, bool hatch) {
  const int n = static_cast<int>(state.range(0));
  AnnounceNode node;
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  bench::IterationTimer timer(state);
  for (auto _ : state) {
    state.PauseTiming();
    if (!node.Prepare(n, hatch)) return state.SkipWithError("cannot write the files");
    state.ResumeTiming();
    timer.Start();
    int status = node.Run(hatch ? "HATCH 'hatch/*.zip' AREA.0" : "TOSS");
    timer.Stop();
    state.PauseTiming();
    // A hatched file goes to the sender of the tossed ones too.
    size_t receivers = kReceivers + (hatch ? 1 : 0);
    bool sent = CountEntries(node.dir() + "outtics", "*.tic") == static_cast<size_t>(n) * receivers;
    if (status != 0 || !sent || CountEntries(node.dir() + "pkt", "*.pkt") != 3)
      return state.SkipWithError("the run did not send and announce every file");
    state.ResumeTiming();
  }
  state.counters[hatch ? "files hatched/s" : "files announced/s"] = timer.PerSecond(n);
}

void BM_TossAnnouncedThreeTimes(benchmark::State& state) { Measure(state, false); }
void BM_HatchMask(benchmark::State& state) { Measure(state, true); }

BENCHMARK(BM_TossAnnouncedThreeTimes)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HatchMask)->Arg(100)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace olvix
