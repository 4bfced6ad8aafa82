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

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

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
namespace platform = olvix::platform;

constexpr int64_t kDay = 86400;

void RemoveTree(const std::string& dir) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, "*", true, &entries);  // a missing tree is gone already
  for (const platform::DirEntry& e : entries) {
    std::string p = olvix::JoinPath(dir, e.name);
    if (e.is_dir)
      RemoveTree(p);
    else
      (void)platform::RemoveFile(p);  // best effort
  }
  (void)platform::RemoveDir(dir);
}

bool WriteSmallFile(const std::string& path, const std::string& data) {
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "wb", &err);
  if (!f) return false;
  bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// A node 2:5020/1 in a temporary directory, logging as a run with the
// usual verbosity does.
class MaintNode {
 public:
  MaintNode() {
    std::string tmp;
    if (!platform::GetEnv("TMPDIR", &tmp) || tmp.empty()) tmp = "/tmp";
    root_ = olvix::WithTrailingSep(tmp) + "olvix-maint-bench-" +
            std::to_string(platform::NowMilliseconds()) + "/";
    ctx_ = std::make_unique<RunContext>();
    RunContext& ctx = *ctx_;
    ctx.home = root_ + "home/";
    olvix::CreatePath(ctx.home);
    int err = 0;
    console_ = platform::OpenStream("/dev/null", "w", &err);
    if (console_) ctx.log.set_console(console_);
    log_ = platform::OpenStream(ctx.home + "olvix.log", "w", &err);
    if (log_) ctx.log.AttachFile(log_);
    olvix::MainConfig& c = ctx.cfg;
    c.addresses = {{2, 5020, 1, 0}};
    c.attach_style = olvix::AttachStyle::kBink;
    c.out_tics = root_ + "outtics/";
    c.outbound = root_ + "outbound";
    c.outmail = root_ + "outmail/";
    c.desc_width = 14;
    for (const std::string* d : {&c.out_tics, &c.outmail}) olvix::CreatePath(*d);
  }
  ~MaintNode() {
    ctx_->log.DetachFile();
    ctx_->log.set_console(stdout);
    if (log_) std::fclose(log_);
    if (console_) std::fclose(console_);
    ctx_.reset();
    // The commands change into the node's directories: leave them before
    // they go, so that the programs later benchmarks start have a directory.
    (void)platform::ChangeDirectory("/");
    RemoveTree(root_);
  }
  MaintNode(const MaintNode&) = delete;
  MaintNode& operator=(const MaintNode&) = delete;

  RunContext& ctx() { return *ctx_; }
  const std::string& root() const { return root_; }

 private:
  std::string root_;
  std::unique_ptr<RunContext> ctx_;
  std::FILE* console_ = nullptr;
  std::FILE* log_ = nullptr;
};

std::string FileName(int i) { return Format("file%06d.zip", i); }

// Every tenth file is old; the rest arrived within the age limit.
bool PreparePurge(MaintNode& node, const std::string& dir, int n, bool all_files) {
  int64_t now = platform::Now();
  std::string index, desc;
  for (int i = 0; i < n; ++i) {
    bool old = i % 10 == 0;
    if ((all_files || old) && !WriteSmallFile(dir + FileName(i), "contents")) return false;
    index += Format("%lld BENCH 8 %s\n", static_cast<long long>(now - (old ? 40 : 1) * kDay),
                    olvix::Upper(FileName(i)).c_str());
    desc += olvix::Upper(FileName(i)) + " [00] File of the benchmark\n";
  }
  return WriteSmallFile(node.ctx().home + "olxprg.idx", index) &&
         WriteSmallFile(dir + "files.bbs", desc);
}

void BM_PurgeLocalFileecho(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  MaintNode node;
  RunContext& ctx = node.ctx();
  olvix::AreaRecord area;
  area.tag = "BENCH";
  area.path = node.root() + "echo/";
  area.age_limit = 30;
  ctx.areas.Add(std::move(area));
  olvix::CreatePath(node.root() + "echo/");
  if (!PreparePurge(node, node.root() + "echo/", n, true)) {
    state.SkipWithError("cannot write the fileecho");
    return;
  }
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!PreparePurge(node, node.root() + "echo/", n, false)) {
      state.SkipWithError("cannot write the fileecho");
      return;
    }
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    olvix::PurgeCommand(ctx);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  state.counters["files/s"] =
      seconds > 0 ? static_cast<double>(n) * static_cast<double>(state.iterations()) / seconds : 0;
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
  if (!WriteSmallFile(ctx.home + "olxlinks.ini", links_file)) return false;
  std::vector<std::string> flows(static_cast<size_t>(links));
  int64_t old = platform::Now() - 20 * kDay;
  for (int i = 0; i < n; ++i) {
    int l = i % links;
    std::string name = Format("ol%06d.tic", i);
    std::string path = c.out_tics + name;
    std::string tic = Format("Area BENCH\r\nFile %s\r\nFrom 2:5020/1\r\nTo 2:5021/%d\r\n",
                             olvix::Upper(FileName(i)).c_str(), l + 1);
    if (!WriteSmallFile(path, tic) || platform::SetModTime(path, old) != 0) return false;
    flows[static_cast<size_t>(l)] += node.root() + "echo/" + FileName(i) + "\n^" + path + "\n";
  }
  for (int l = 0; l < links; ++l) {
    std::string flow =
        c.outbound + "/" +
        olvix::BsoNodeName(5021, static_cast<uint32_t>(l + 1), olvix::NameCase::kLower) + ".flo";
    if (!WriteSmallFile(flow, flows[static_cast<size_t>(l)])) return false;
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
  area.path = node.root() + "echo/";
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
  double seconds = 0;
  for (auto _ : state) {
    state.PauseTiming();
    if (!PrepareOldCheck(node, n)) {
      state.SkipWithError("cannot write the outbound");
      return;
    }
    state.ResumeTiming();
    auto start = std::chrono::steady_clock::now();
    olvix::RunOldCheck(ctx);
    double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(elapsed);
    seconds += elapsed;
    state.PauseTiming();
    std::vector<platform::DirEntry> left;
    (void)platform::ListDirectory(ctx.cfg.out_tics, "*.tic", false, &left);  // missing: none
    if (!left.empty()) {
      state.SkipWithError("OLDCHECK left tickets behind");
      return;
    }
    state.ResumeTiming();
  }
  state.counters["tickets/s"] =
      seconds > 0 ? static_cast<double>(n) * static_cast<double>(state.iterations()) / seconds : 0;
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
