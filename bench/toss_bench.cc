// TOSS of N inbound tickets by the built program: a node with several
// fileechoes and links in a temporary directory, BINK outbound. Each
// iteration gets a fresh inbound and empty fileecho and outbound
// directories (outside the timed region) and runs `olvix TOSS` once.
// Reports tickets per second, so that growth from 1000 to 10000 tickets
// shows whether the toss stays linear.
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

using bench::RemoveTree;
using bench::WriteFile;

constexpr int kReceivers = 4;  // links besides the sender, all subscribed everywhere

// `areas` fileechoes; `extra` settings for olvix.ini.
class BenchNode {
 public:
  BenchNode(int areas, const std::string& extra)
      : areas_(areas), home_("olvix-bench"), dir_(home_.path()) {
    std::string links;
    std::string subscribers = " 2:5020/2";
    links += "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n";
    for (int i = 0; i < kReceivers; ++i) {
      links += Format("LINK 2:5020/%d A PW%d 10 No %s 2:5020/1 Active\n", 10 + i, i,
                      i % 2 ? "Crash" : "Hold");
      subscribers += Format(" %d", 10 + i);
    }
    std::string area_lines;
    for (int a = 0; a < areas_; ++a)
      area_lines += Format("AREA AREA.%d files/area%d A 0 0 2:5020/1\nDESC Area %d\nLINKS%s\n\n", a,
                           a, a, subscribers.c_str());
    ok_ = home_.ok() && WriteFile(dir_ + "olxlinks.ini", links) &&
          WriteFile(dir_ + "olxareas.ini", area_lines) &&
          WriteFile(dir_ + "olvix.ini",
                    "ADDRESS 2:5020/1\nORIGIN Bench node\nROBOTNAMES Olvix\nLOGNAME olvix.log\n"
                    "BADPWD badpwd.tpl\nINBOUND in\nOUTMAIL out/mail\nOUTBOUND out/bso\n"
                    "ATTACHSTYLE BINK\nNETMAIL netmail\nOUTTICS outtics\nBADPATH bad\n"
                    "NEWECHOPATH new\nDESCWIDTH 14\n" +
                        extra);
  }
  bool ok() const { return ok_; }

  // A fresh inbound with `n` small files and their tickets; everything the
  // previous toss wrote is removed.
  bool Prepare(int n) {
    for (const char* d : {"in", "files", "outtics", "out", "bad", "dupes"}) RemoveTree(dir_ + d);
    (void)platform::RemoveFile(dir_ + "olvix.log");  // absent on the first round
    if (!bench::MakeDir(dir_ + "in")) return false;
    for (int i = 0; i < n; ++i) {
      std::string name = Format("file%05d.zip", i);
      std::string data = Format("contents of file %d\n", i) + std::string(200 + i % 300, 'x');
      std::string tic = Format(
          "Area AREA.%d\r\nFile %s\r\nFrom 2:5020/2\r\nOrigin 2:5020/2\r\nTo 2:5020/1\r\n"
          "Pw SECRET\r\nCrc %08X\r\nDesc File number %d\r\nLDesc a second line\r\n"
          "Path 2:5020/2 1700000000 Tue Nov 14 2023 22:13:20 UTC+0100\r\nSeenby 2:5020/2\r\n",
          i % areas_, Upper(name).c_str(), Crc32(data), i);
      if (!WriteFile(dir_ + "in/" + name, data) ||
          !WriteFile(dir_ + Format("in/t%05d.tic", i), tic))
        return false;
    }
    return true;
  }

  // Runs `binary` TOSS with the environment settings `env`; its exit status.
  int Toss(const std::string& binary, const std::string& env) const {
    return bench::RunOlvix(binary, dir_, "TOSS", env);
  }

  // Outgoing tickets written by the last toss.
  size_t OutgoingTickets() const { return bench::CountEntries(dir_ + "outtics", "*.tic"); }

 private:
  int areas_;
  bench::TempDir home_;
  std::string dir_;
  bool ok_ = false;
};

void RunToss(benchmark::State& state, BenchNode& node, const std::string& binary = OLVIX_BINARY,
             const std::string& env = "") {
  const int n = static_cast<int>(state.range(0));
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  bench::IterationTimer timer(state);
  for (auto _ : state) {
    state.PauseTiming();
    if (!node.Prepare(n)) return state.SkipWithError("cannot write the inbound");
    state.ResumeTiming();
    timer.Start();
    int status = node.Toss(binary, env);
    timer.Stop();
    if (status != 0) return state.SkipWithError("olvix TOSS failed");
    state.PauseTiming();
    if (node.OutgoingTickets() != static_cast<size_t>(n) * kReceivers)
      return state.SkipWithError("the toss did not send every file");
    state.ResumeTiming();
  }
  state.counters["tickets/s"] = timer.PerSecond(n);
}

// Eight fileechoes, the usual settings.
void BM_Toss(benchmark::State& state) {
  BenchNode node(8, "");
  RunToss(state, node);
}

// The same without making the written files durable before the inbound is
// cleaned (the seam of the test build leaves the sync out): what the one
// sync per toss costs. The two should stay within 10%.
void BM_TossWithoutSync(benchmark::State& state) {
  BenchNode node(8, "");
  RunToss(state, node, OLVIX_FAULTY_BINARY, "OLVIX_FAULT=nosync:0");
}

// 400 fileechoes with the duplicate check over all of them (DUPEWIDE).
void BM_TossDupeWide400Areas(benchmark::State& state) {
  BenchNode node(400, "DUPESDIR dupes\nDUPEWIDE Yes\n");
  RunToss(state, node);
}

BENCHMARK(BM_Toss)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossWithoutSync)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossDupeWide400Areas)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace olvix
