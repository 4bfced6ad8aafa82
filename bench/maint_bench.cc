// The maintenance commands at scale, in process: PURGE of one fileecho of N
// files with an index of N lines (a tenth of them old enough to go, with
// their description entries), and OLDCHECK over N old outbound tickets of
// N/10 links with PASSIVEKILL in the flow-file style. Both must stay
// linear: the files-per-second and tickets-per-second counters stay flat
// from 10,000 to 100,000 files and from 1,000 to 10,000 tickets.
//
//   make bench
//   build-bench/olvix_bench --benchmark_filter='Purge|OldCheck'
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "bench_util.h"
#include "config/records.h"
#include "maint/oldcheck.h"
#include "maint/purge.h"
#include "outbound/names.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/address.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

using olvix::Format;
using olvix::RunContext;
using olvix::bench::WriteFile;
namespace bench = olvix::bench;
namespace platform = olvix::platform;

constexpr int64_t kDay = 86400;

// A node 2:5020/1 in a temporary directory, logging as a run with the
// usual verbosity does.
class MaintNode {
 public:
  MaintNode() : root_("olvix-maint-bench"), node_(root_.path() + "home/") {
    olvix::MainConfig& c = ctx().cfg;
    c.addresses = {{2, 5020, 1, 0}};
    c.attach_style = olvix::AttachStyle::kBink;
    c.out_tics = root() + "outtics/";
    c.outbound = root() + "outbound";
    c.outmail = root() + "outmail/";
    c.desc_width = 14;
    for (const std::string* d : {&c.out_tics, &c.outmail}) olvix::CreatePath(*d);
  }
  // The commands change into the node's directories: leave them before
  // they go, so that the programs later benchmarks start have a directory.
  ~MaintNode() { (void)platform::ChangeDirectory("/"); }
  MaintNode(const MaintNode&) = delete;
  MaintNode& operator=(const MaintNode&) = delete;

  RunContext& ctx() { return node_.ctx(); }
  const std::string& root() const { return root_.path(); }
  std::string echo() const { return root() + "echo/"; }  // the fileecho's directory

 private:
  bench::TempDir root_;
  bench::NodeContext node_;
};

std::string FileName(int i) { return Format("file%06d.zip", i); }

// Every tenth file is old; the rest arrived within the age limit.
bool PreparePurge(MaintNode& node, int n, bool all_files) {
  const std::string dir = node.echo();
  int64_t now = platform::Now();
  std::string index, desc;
  for (int i = 0; i < n; ++i) {
    bool old = i % 10 == 0;
    if ((all_files || old) && !WriteFile(dir + FileName(i), "contents")) return false;
    index += Format("%lld BENCH 8 %s\n", static_cast<long long>(now - (old ? 40 : 1) * kDay),
                    olvix::Upper(FileName(i)).c_str());
    desc += olvix::Upper(FileName(i)) + " [00] File of the benchmark\n";
  }
  return WriteFile(node.ctx().home + "olxprg.idx", index) && WriteFile(dir + "files.bbs", desc);
}

void BM_PurgeLocalFileecho(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MaintNode node;
  RunContext& ctx = node.ctx();
  olvix::AreaRecord area;
  area.tag = "BENCH";
  area.path = node.echo();
  area.age_limit = 30;
  ctx.areas.Add(std::move(area));
  olvix::CreatePath(node.echo());
  if (!PreparePurge(node, n, true)) return state.SkipWithError("cannot write the fileecho");
  bench::IterationTimer timer(state);
  for (auto _ : state) {
    state.PauseTiming();
    if (!PreparePurge(node, n, false)) return state.SkipWithError("cannot write the fileecho");
    state.ResumeTiming();
    timer.Start();
    olvix::PurgeCommand(ctx);
    timer.Stop();
  }
  state.counters["files/s"] = timer.PerSecond(n);
}

// n old tickets to n/10 links, each link's flow file naming its tickets and
// their files.
bool PrepareOldCheck(MaintNode& node, int n) {
  RunContext& ctx = node.ctx();
  olvix::MainConfig& c = ctx.cfg;
  int links = n / 10;
  std::string links_file;
  for (int l = 0; l < links; ++l) {
    olvix::LinkRecord& link = ctx.links[static_cast<size_t>(l)];
    link.active = true;
    links_file += Format("LINK 2:5021/%d A PW 10 No Normal 2:5020/1 Active\n", l + 1);
  }
  if (!WriteFile(ctx.home + "olxlinks.ini", links_file)) return false;
  std::vector<std::string> flows(static_cast<size_t>(links));
  int64_t old = platform::Now() - 20 * kDay;
  for (int i = 0; i < n; ++i) {
    int l = i % links;
    std::string name = Format("ol%06d.tic", i);
    std::string path = c.out_tics + name;
    std::string tic = Format("Area BENCH\r\nFile %s\r\nFrom 2:5020/1\r\nTo 2:5021/%d\r\n",
                             olvix::Upper(FileName(i)).c_str(), l + 1);
    if (!WriteFile(path, tic) || platform::SetModTime(path, old) != 0) return false;
    flows[static_cast<size_t>(l)] += node.echo() + FileName(i) + "\n^" + path + "\n";
  }
  for (int l = 0; l < links; ++l) {
    std::string flow =
        c.outbound + "/" +
        olvix::BsoNodeName(5021, static_cast<uint32_t>(l + 1), olvix::NameCase::kLower) + ".flo";
    if (!WriteFile(flow, flows[static_cast<size_t>(l)])) return false;
  }
  return true;
}

void BM_OldCheckPassiveKill(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MaintNode node;
  RunContext& ctx = node.ctx();
  ctx.cfg.passive_days = 7;
  ctx.cfg.passive_kill = true;
  olvix::CreatePath(ctx.cfg.outbound + "/");
  olvix::AreaRecord area;
  area.tag = "BENCH";
  area.path = node.echo();
  ctx.areas.Add(std::move(area));
  for (int l = 0; l < n / 10; ++l) {
    olvix::LinkRecord link;
    link.address = olvix::FtnAddress{2, 5021, static_cast<uint32_t>(l + 1), 0};
    link.aka = ctx.cfg.addresses[0];
    link.group = "A";
    link.password = "PW";
    link.level = 10;
    link.flavour = "NORMAL";
    ctx.links.Add(link);
  }
  bench::IterationTimer timer(state);
  for (auto _ : state) {
    state.PauseTiming();
    if (!PrepareOldCheck(node, n)) return state.SkipWithError("cannot write the outbound");
    state.ResumeTiming();
    timer.Start();
    olvix::RunOldCheck(ctx);
    timer.Stop();
    state.PauseTiming();
    if (bench::CountEntries(ctx.cfg.out_tics, "*.tic") != 0)
      return state.SkipWithError("OLDCHECK left tickets behind");
    state.ResumeTiming();
  }
  state.counters["tickets/s"] = timer.PerSecond(n);
}

BENCHMARK(BM_PurgeLocalFileecho)
    ->Arg(10000)
    ->Arg(100000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OldCheckPassiveKill)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
