// The magic names file of one toss: N tickets with magic names taken into a
// file of N entries, half of them known, every one replaced or appended.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "tic/magic.h"
#include "util/text.h"

namespace {

void BM_ApplyMagicEntries(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::string text = olvix::kMagicFileHeader;
  for (int i = 0; i < n; ++i)
    text += olvix::MagicEntryLine(olvix::Format("NAME%d", 2 * i), "/srv/files/old.zip", 15);
  std::vector<olvix::MagicEntry> entries;
  for (int i = 0; i < n; ++i) {
    std::string key = olvix::Format("NAME%d", i);
    entries.push_back({key, olvix::MagicEntryLine(key, "/srv/files/new.zip", 15)});
  }
  for (auto _ : state) {
    std::string out = olvix::ApplyMagicEntries(text, entries);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * n);
}
BENCHMARK(BM_ApplyMagicEntries)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
