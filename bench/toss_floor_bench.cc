// `olvix TOSS` side by side with the floor program (bench/floor/) on the node
// of floor_node.h: N tickets of 10 KiB from an uplink, one fileecho, three
// downlinks, BINK outbound, descriptions on. Both run as separate processes,
// started and timed the same way, each on a freshly prepared inbound that is
// on disk before the clock starts (so that neither sync pays for the
// preparation), and each run's output is checked. On a shared machine other
// work only adds time, so each side's figure is the best of its rounds.
//
// BM_TossAgainstFloor: wall and CPU time of both; "olvix/floor%" is Olvix's
//   tickets per second as a percentage of the floor's. The WithoutSync
//   variant leaves out the one sync of each (the seam of the test build),
//   which takes the disk and the other writers on it out of the figure.
// BM_SystemCallsPerTicket: both run under a ptrace counter of our own.
// BM_TossOneGiBAgainstCat: a toss of one 1 GiB file against `cat file`
//   (to /dev/null) of the same file, both from the page cache.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_util.h"
#include "child_process.h"
#include "floor/floor_node.h"
#include "platform/platform.h"
#include "util/crc32.h"
#include "util/text.h"

#if !defined(OLVIX_BINARY) || !defined(OLVIX_FAULTY_BINARY) || !defined(OLVIX_FLOOR_BINARY)
#error "OLVIX_BINARY, OLVIX_FAULTY_BINARY and OLVIX_FLOOR_BINARY must name the built programs"
#endif

namespace olvix {
namespace {

namespace fn = floor_node;
using bench::ChildRun;
using bench::CountEntries;
using bench::RemoveTree;
using bench::WriteFile;

constexpr int64_t kTicketFileSize = 10 << 10;
constexpr int64_t kBigFileSize = int64_t{1} << 30;

// Writes `size` bytes that differ from file to file; their CRC-32 into *crc.
bool WriteDataFile(const std::string& path, int index, int64_t size, uint32_t* crc) {
  std::string block = Format("contents of file %d\n", index);
  size_t block_size = static_cast<size_t>(std::min<int64_t>(size, 1 << 20));
  while (block.size() < block_size) block += "0123456789abcdefghijklmnopqrstuvwxyz\n";
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  uint32_t c = 0xFFFFFFFFu;
  bool ok = true;
  for (int64_t left = size; left > 0 && ok;) {
    size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(block_size)));
    c = Crc32Update(c, block.data(), n);
    ok = ::write(fd, block.data(), n) == static_cast<ssize_t>(n);
    left -= static_cast<int64_t>(n);
  }
  *crc = ~c;
  return ::close(fd) == 0 && ok;
}

size_t CountLines(const std::string& path) {
  std::string text;
  if (platform::ReadPlainFile(path, size_t{1} << 30, &text) != 0) return 0;
  size_t n = 0;
  for (char ch : text) n += ch == '\n';
  return n;
}

class FloorNode {
 public:
  FloorNode() : scratch_("olvix-floor-bench") {
    links_ = Format("LINK %s A %s 10 No Hold %s Active\n", fn::kUplink, fn::kUplinkPassword,
                    fn::kOurAddress);
    std::string subscribers = std::string(" ") + fn::kUplink;
    for (const fn::Downlink& d : fn::kDownlinks) {
      links_ += Format("LINK %s A %s 10 No %s %s Active\n", d.address, d.password, d.flavour,
                       fn::kOurAddress);
      subscribers += std::string(" ") + d.address;
    }
    std::string fileecho = fn::kFileecho;
    fileecho.pop_back();  // the areas file names the directory without the separator
    areas_ = Format("AREA %s %s A 0 0 %s\nDESC Bench files\nLINKS%s\n", fn::kTag, fileecho.c_str(),
                    fn::kOurAddress, subscribers.c_str());
    config_ = Format(
        "ADDRESS %s\nORIGIN Bench node\nROBOTNAMES Olvix\nLOGNAME olvix.log\n"
        "BADPWD badpwd.tpl\nINBOUND %s\nOUTMAIL out/mail\nOUTBOUND %s\n"
        "ATTACHSTYLE BINK\nNETMAIL netmail\nOUTTICS %s\nBADPATH bad\n"
        "NEWECHOPATH new\nDESCWIDTH 14\nUPDATEDESC Yes\n[UPLINKS]\nUPLINK %s\n",
        fn::kOurAddress, fn::kInbound, fn::kOutbound, fn::kOuttics, fn::kUplink);
    ok_ = scratch_.ok() && NewRound();
  }
  FloorNode(const FloorNode&) = delete;
  FloorNode& operator=(const FloorNode&) = delete;

  bool ok() const { return ok_; }
  const std::string& dir() const { return dir_; }
  std::string InboundFile(int i) const { return dir_ + fn::kInbound + FileName(i); }

  // A fresh node with `n` files of `size` bytes and their tickets in its
  // inbound, on disk. Each round's node is a new directory (see
  // bench_util.h); the previous round's is removed.
  bool Prepare(int n, int64_t size) {
    if (!NewRound() || platform::MakeDir(dir_ + fn::kInbound) != 0) return false;
    for (int i = 0; i < n; ++i) {
      uint32_t crc = 0;
      if (!WriteDataFile(InboundFile(i), i, size, &crc)) return false;
      std::string tic = Format(
          "Area %s\r\nFile %s\r\nFrom %s\r\nOrigin %s\r\nTo %s\r\nPw %s\r\nSize %lld\r\n"
          "Crc %08X\r\nDesc File number %d\r\nLDesc a second line\r\n"
          "Path %s 1700000000 Tue Nov 14 2023 22:13:20 UTC+0100\r\nSeenby %s\r\n",
          fn::kTag, Upper(FileName(i)).c_str(), fn::kUplink, fn::kUplink, fn::kOurAddress,
          fn::kUplinkPassword, static_cast<long long>(size), crc, i, fn::kUplink, fn::kUplink);
      if (!WriteFile(dir_ + fn::kInbound + Format("t%05d.tic", i), tic)) return false;
    }
    return platform::SyncFileSystems({dir_}) == 0;
  }

  // Empty when the last toss over `n` tickets did all of its work, else
  // what is missing.
  std::string Check(int n) const {
    size_t tickets = CountEntries(dir_ + fn::kOuttics, "*.tic");
    if (tickets != static_cast<size_t>(n) * fn::kDownlinkCount)
      return Format("%zu outgoing tickets, not %d", tickets, n * fn::kDownlinkCount);
    for (const fn::Downlink& d : fn::kDownlinks) {
      size_t lines = CountLines(dir_ + fn::kOutbound + d.flow_file);
      if (lines != 2u * static_cast<size_t>(n))
        return Format("%zu lines in %s, not %d", lines, d.flow_file, 2 * n);
    }
    if (size_t placed = CountEntries(dir_ + fn::kFileecho, "*.zip"); placed != size_t(n))
      return Format("%zu files in the fileecho, not %d", placed, n);
    if (size_t left = CountEntries(dir_ + fn::kInbound, "*"); left != 0)
      return Format("%zu files left in the inbound", left);
    return "";
  }

 private:
  static std::string FileName(int i) { return Format("file%05d.zip", i); }

  bool NewRound() {
    if (!dir_.empty()) RemoveTree(dir_);
    dir_ = scratch_.NewRoundDir();
    return !dir_.empty() && WriteFile(dir_ + "olxlinks.ini", links_) &&
           WriteFile(dir_ + "olxareas.ini", areas_) && WriteFile(dir_ + "olvix.ini", config_);
  }

  bench::ScratchDir scratch_;
  std::string links_, areas_, config_;
  std::string dir_;
  bool ok_ = false;
};

std::vector<std::string> OlvixToss(const FloorNode&, bool sync) {
  return {sync ? OLVIX_BINARY : OLVIX_FAULTY_BINARY, "TOSS"};
}
std::vector<std::string> OlvixEnv(const FloorNode& node, bool sync) {
  std::vector<std::string> env = {"OLVIXPATH=" + node.dir()};
  if (!sync) env.push_back("OLVIX_FAULT=nosync:0");
  return env;
}
std::vector<std::string> FloorToss(const FloorNode& node, bool sync) {
  std::vector<std::string> argv = {OLVIX_FLOOR_BINARY, node.dir()};
  if (!sync) argv.push_back("--no-sync");
  return argv;
}

// Runs one toss over the prepared inbound of `n` tickets and checks its
// work. Empty on success, else what went wrong.
std::string TimedToss(const FloorNode& node, int n, const std::vector<std::string>& argv,
                      const std::vector<std::string>& env, ChildRun* run) {
  if (!bench::RunChild(argv, env, run)) return "cannot start " + argv[0];
  if (run->exit_status != 0) return argv[0] + Format(" ended with status %d", run->exit_status);
  std::string missing = node.Check(n);
  return missing.empty() ? "" : argv[0] + ": " + missing;
}

// The best of each side's rounds: the machine is shared, and other work
// only ever adds time.
struct Best {
  double wall = 1e300, cpu = 1e300;
  void Add(const ChildRun& run) {
    wall = std::min(wall, run.wall_seconds);
    cpu = std::min(cpu, run.cpu_seconds);
  }
};

void TossAgainstFloor(benchmark::State& state, bool sync) {
  const int n = static_cast<int>(state.range(0));
  FloorNode node;
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  Best olvix_best, floor_best;
  int round = 0;
  for (auto _ : state) {
    ChildRun olvix, floor;
    // Every other round the floor goes first, so that neither side always
    // follows the same clean-up of the other's files.
    std::string error;
    for (int side : {round % 2, 1 - round % 2}) {
      if (!error.empty()) break;
      if (!node.Prepare(n, kTicketFileSize))
        error = "cannot write the inbound";
      else if (side == 0)
        error = TimedToss(node, n, OlvixToss(node, sync), OlvixEnv(node, sync), &olvix);
      else
        error = TimedToss(node, n, FloorToss(node, sync), {}, &floor);
    }
    ++round;
    if (!error.empty()) return state.SkipWithError(error.c_str());
    state.SetIterationTime(olvix.wall_seconds);
    olvix_best.Add(olvix);
    floor_best.Add(floor);
  }
  double olvix_rate = n / olvix_best.wall, floor_rate = n / floor_best.wall;
  double wall_pct = 100 * floor_best.wall / olvix_best.wall;
  double cpu_pct = 100 * floor_best.cpu / olvix_best.cpu;
  state.counters["olvix_tickets/s"] = olvix_rate;
  state.counters["floor_tickets/s"] = floor_rate;
  state.counters["olvix/floor%"] = wall_pct;
  state.counters["cpu_olvix/floor%"] = cpu_pct;
  std::printf(
      "  %d tickets%s, best of %lld: olvix %.0f tickets/s, floor %.0f tickets/s: olvix at %.0f%% "
      "of the floor (CPU time: olvix %.2f s, floor %.2f s: %.0f%%)\n",
      n, sync ? "" : " without sync", static_cast<long long>(state.iterations()), olvix_rate,
      floor_rate, wall_pct, olvix_best.cpu, floor_best.cpu, cpu_pct);
  std::fflush(stdout);
}

void BM_TossAgainstFloor(benchmark::State& state) { TossAgainstFloor(state, true); }
void BM_TossAgainstFloorWithoutSync(benchmark::State& state) { TossAgainstFloor(state, false); }

void BM_SystemCallsPerTicket(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  FloorNode node;
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  bench::SyscallCount olvix, floor;
  for (auto _ : state) {
    olvix = floor = {};
    for (bench::SyscallCount* count : {&olvix, &floor}) {
      // Each round's node is a new directory: the command lines follow it.
      if (!node.Prepare(n, kTicketFileSize)) return state.SkipWithError("cannot write the inbound");
      bool ours = count == &olvix;
      std::vector<std::string> argv = ours ? OlvixToss(node, true) : FloorToss(node, true);
      std::vector<std::string> env = ours ? OlvixEnv(node, true) : std::vector<std::string>();
      if (!bench::CountSystemCalls(argv, env, count) || count->exit_status != 0)
        return state.SkipWithError(("cannot trace " + argv[0]).c_str());
      if (std::string missing = node.Check(n); !missing.empty())
        return state.SkipWithError((argv[0] + ": " + missing).c_str());
    }
  }
  state.counters["olvix_calls/ticket"] = static_cast<double>(olvix.total) / n;
  state.counters["floor_calls/ticket"] = static_cast<double>(floor.total) / n;
  std::printf("  %d tickets, system calls per ticket:\n    olvix %.1f: %s\n    floor %.1f: %s\n", n,
              static_cast<double>(olvix.total) / n, bench::SyscallSummary(olvix, n, 10).c_str(),
              static_cast<double>(floor.total) / n, bench::SyscallSummary(floor, n, 10).c_str());
  std::fflush(stdout);
}

void BM_TossOneGiBAgainstCat(benchmark::State& state) {
  FloorNode node;
  if (!node.ok()) return state.SkipWithError("cannot set up the node");
  // The inbound file, its copy in the fileecho while the toss still copies,
  // and room to spare.
  const int64_t need_kb = 3 * (kBigFileSize >> 10) + (512 << 10);
  if (int64_t free_kb = platform::FreeSpaceKb(node.dir()); free_kb < need_kb) {
    std::string why = Format("needs %lld MiB free in %s (has %lld); set TMPDIR elsewhere",
                             static_cast<long long>(need_kb >> 10), node.dir().c_str(),
                             static_cast<long long>(free_kb >> 10));
    return state.SkipWithError(why.c_str());
  }
  ChildRun toss;
  Best cat;
  for (auto _ : state) {
    if (!node.Prepare(1, kBigFileSize)) return state.SkipWithError("cannot write the inbound");
    for (int round = 0; round < 3; ++round) {
      ChildRun run;
      if (!bench::RunChild({"/bin/cat", node.InboundFile(0)}, {}, &run) || run.exit_status != 0)
        return state.SkipWithError("cat failed");
      cat.Add(run);
    }
    std::string error = TimedToss(node, 1, OlvixToss(node, true), OlvixEnv(node, true), &toss);
    if (!error.empty()) return state.SkipWithError(error.c_str());
    state.SetIterationTime(toss.wall_seconds);
  }
  state.counters["cat_s"] = cat.wall;
  state.counters["toss_s"] = toss.wall_seconds;
  state.counters["toss/cat"] = toss.wall_seconds / cat.wall;
  std::printf(
      "  1 GiB file: toss %.2f s, cat %.2f s (best of 3): the toss takes %.2f times one read\n",
      toss.wall_seconds, cat.wall, toss.wall_seconds / cat.wall);
  std::fflush(stdout);
}

// Rounds: a best of five at 1000 tickets, of two at 10000.
BENCHMARK(BM_TossAgainstFloor)
    ->Args({1000})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossAgainstFloor)
    ->Args({10000})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossAgainstFloorWithoutSync)
    ->Args({1000})
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossAgainstFloorWithoutSync)
    ->Args({10000})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SystemCallsPerTicket)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TossOneGiBAgainstCat)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace olvix
