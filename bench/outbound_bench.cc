// Outbound throughput: N files sent to M links through SendFileToLink in
// the flow-file, file-attach letter and hard-linked filebox styles, and the
// whole sending pass (receivers, tickets, attaches) through SendToLinks.
// Every attach must cost the same whatever the number already made: the
// attaches-per-second counter stays flat from 1,000 to 100,000 attaches.
//
//   make bench
//   build-bench/olvix_bench --benchmark_filter=Outbound
#include <benchmark/benchmark.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "config/records.h"
#include "outbound/receivers.h"
#include "outbound/styles.h"
#include "run/context.h"
#include "tic/tic.h"
#include "util/address.h"
#include "util/paths.h"

namespace {

using olvix::AttachStyle;
using olvix::FtnAddress;
using olvix::LinkRecord;
using olvix::RunContext;
namespace bench = olvix::bench;

// The trees of every benchmark, removed when the program ends: deleting a
// hundred thousand files makes ext4 slow to create new ones for a minute
// (it passes over recently freed inodes), which would be charged to the
// benchmarks that follow.
std::string FreshRoot() {
  static std::deque<bench::TempDir> trees;
  return trees.emplace_back("olvix-outbound-bench").path();
}

// A node 2:5020/1 in a temporary directory with `links` links 2:5020/100..
// and `files` files in a fileecho directory.
class BenchNode {
 public:
  BenchNode(AttachStyle style, int files, int links) : root_(FreshRoot()), node_(root_ + "home/") {
    RunContext& ctx = node_.ctx();
    ctx.log.loglevel = 5;

    olvix::MainConfig& c = ctx.cfg;
    c.addresses = {{2, 5020, 1, 0}};
    c.origin = "Bench node";
    c.attach_style = style;
    c.fileboxes = style == AttachStyle::kFileboxes || style == AttachStyle::kLongFileboxes ||
                  style == AttachStyle::kBrakeFileboxes;
    c.hard_links = c.fileboxes;
    c.inbound = root_ + "inbound/";
    olvix::CreatePath(c.inbound);
    FreshOutbound();

    echo_dir_ = root_ + "echo/";
    olvix::CreatePath(echo_dir_);
    for (int i = 0; i < files; ++i) {
      std::string name = "file" + std::to_string(i) + ".zip";
      if (!bench::WriteFile(echo_dir_ + name, "contents of " + name)) ok_ = false;
      names_.push_back(name);
    }
    for (int i = 0; i < links; ++i) {
      LinkRecord link;
      link.address = FtnAddress{2, 5020, static_cast<uint32_t>(100 + i), 0};
      link.aka = c.addresses[0];
      link.password = "PW" + std::to_string(i);
      link.flavour = "N";
      link.active = true;
      links_.push_back(ctx.links.Add(link));
    }
  }

  // New, empty outbound, netmail and ticket directories for an iteration.
  void FreshOutbound() {
    olvix::MainConfig& c = ctx().cfg;
    std::string dir = root_ + "run" + std::to_string(++runs_) + "/";
    // The flow styles append the zone extension to OUTBOUND themselves.
    c.outbound = c.fileboxes ? dir + "outbound/" : dir + "outbound";
    c.outmail = dir + "outmail/";
    c.out_tics = dir + "outtics/";
    olvix::CreatePath(c.outmail);
    olvix::CreatePath(c.out_tics);
    ctx().next_message_number.clear();
    ctx().first_copies.clear();
  }

  // Every file to every link, file by file as the sending pass does.
  int SendAll() {
    int failures = 0;
    ctx().first_copies.clear();
    for (const std::string& name : names_) {
      std::string path = echo_dir_ + name;
      for (LinkRecord* link : links_) {
        if (olvix::SendFileToLink(ctx(), path, *link, olvix::AfterSending::kKeep,
                                  olvix::BoxPlacement::kMayLink) != 0)
          ++failures;
      }
    }
    return failures;
  }

  // The fileecho BENCH with every link subscribed and one accepted ticket
  // per file, as the toss leaves them for SendToLinks.
  void AddTossedTickets() {
    RunContext& ctx = node_.ctx();
    ctx.areas.Clear();
    olvix::AreaRecord area;
    area.tag = "BENCH";
    area.path = echo_dir_;
    area.address = ctx.cfg.addresses[0];
    for (LinkRecord* link : links_) area.subscribers.push_back({link, olvix::kModeFull});
    for (const std::string& name : names_) {
      auto tic = std::make_unique<olvix::TicRecord>();
      tic->from = tic->origin = FtnAddress{2, 5020, 3, 0};
      tic->area = "BENCH";
      tic->file = name;
      tic->desc_list = {"A file of the benchmark"};
      tic->path_list = {"2:5020/3 1796760000 Tue Dec 08 2026 12:00:00 UTC+0000"};
      tic->seen_by_list = {"2:5020/3"};
      tic->size = 100;
      tic->crc = 0x12345678u;
      area.received.push_back(std::move(tic));
    }
    ctx.areas.Add(std::move(area));
  }

  RunContext& ctx() { return node_.ctx(); }
  bool ok() const { return ok_; }

 private:
  std::string root_;
  bench::NodeContext node_;
  std::string echo_dir_;
  std::vector<std::string> names_;
  std::vector<LinkRecord*> links_;
  bool ok_ = true;
  int runs_ = 0;
};

// Arguments: files, links.
void SendFileToLinks(benchmark::State& state, AttachStyle style) {
  const int files = static_cast<int>(state.range(0));
  const int links = static_cast<int>(state.range(1));
  BenchNode node(style, files, links);
  if (!node.ok()) return state.SkipWithError("cannot write the files");
  int64_t attaches = 0;
  for (auto _ : state) {
    state.PauseTiming();
    node.FreshOutbound();
    state.ResumeTiming();
    if (node.SendAll() != 0) return state.SkipWithError("an attach failed");
    attaches += static_cast<int64_t>(files) * links;
  }
  state.counters["attaches"] = static_cast<double>(files) * links;
  state.counters["attaches/s"] =
      benchmark::Counter(static_cast<double>(attaches), benchmark::Counter::kIsRate);
}

void BM_OutboundBink(benchmark::State& state) { SendFileToLinks(state, AttachStyle::kBink); }
void BM_OutboundAma(benchmark::State& state) { SendFileToLinks(state, AttachStyle::kAma); }
void BM_OutboundFileboxesHardLinks(benchmark::State& state) {
  SendFileToLinks(state, AttachStyle::kFileboxes);
}

// 1,000, 10,000 and 100,000 attaches; one file to many links and many
// files to a hundred links.
void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({1, 1000})->Args({10, 100})->Args({100, 100})->Args({1000, 100});
  b->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
}

BENCHMARK(BM_OutboundBink)->Apply(Sizes);
BENCHMARK(BM_OutboundAma)->Apply(Sizes);
BENCHMARK(BM_OutboundFileboxesHardLinks)->Apply(Sizes);

// The whole sending pass in BINK style: receivers chosen, a ticket written
// for each, file and ticket attached. Each ticket lists every receiver in
// its SEEN-BY lines, so the bytes written grow with files * links^2.
void BM_OutboundSendToLinks(benchmark::State& state) {
  const int files = static_cast<int>(state.range(0));
  const int links = static_cast<int>(state.range(1));
  BenchNode node(AttachStyle::kBink, files, links);
  if (!node.ok()) return state.SkipWithError("cannot write the files");
  int64_t attaches = 0;
  for (auto _ : state) {
    state.PauseTiming();
    node.FreshOutbound();
    node.AddTossedTickets();
    state.ResumeTiming();
    olvix::SendToLinks(node.ctx());
    attaches += 2 * static_cast<int64_t>(files) * links;  // the file and its ticket
  }
  state.counters["attaches"] = 2.0 * files * links;
  state.counters["attaches/s"] =
      benchmark::Counter(static_cast<double>(attaches), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OutboundSendToLinks)
    ->Args({1, 250})
    ->Args({1, 1000})
    ->Args({100, 100})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();

}  // namespace
