// CRC-32 throughput over large buffers: Crc32Update as built (libdeflate when
// the build found it, labelled so), the table fallback and the byte-at-a-time
// reference side by side, and a plain read of the buffer as the ceiling.
// Arguments are the buffer size in MiB: 1 stays in the processor's caches, 64
// streams from memory. The "GB" counter is decimal gigabytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "util/crc32.h"

namespace {

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> buf = [] {
    // One byte over, so that a run can also start off the allocator's
    // alignment.
    std::vector<unsigned char> b((64u << 20) + 1);
    std::mt19937 rng(42);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    return b;
  }();
  return buf;
}

using CrcFunction = uint32_t (*)(uint32_t, const void*, size_t);

void RunCrc(benchmark::State& state, CrcFunction crc_function, size_t offset) {
  const auto& buf = Buffer();
  size_t len = static_cast<size_t>(state.range(0)) << 20;
  for (auto _ : state) {
    uint32_t crc = crc_function(0xFFFFFFFFu, buf.data() + offset, len);
    benchmark::DoNotOptimize(crc);
  }
  double bytes = static_cast<double>(state.iterations()) * static_cast<double>(len);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["GB"] = benchmark::Counter(bytes / 1e9, benchmark::Counter::kIsRate);
}

void BM_Crc32Update(benchmark::State& state) {
  state.SetLabel(olvix::Crc32UsesLibrary() ? "libdeflate" : "tables (no libdeflate)");
  RunCrc(state, olvix::Crc32Update, 0);
}
BENCHMARK(BM_Crc32Update)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

// A buffer that starts one byte off: the vector code's head and tail.
void BM_Crc32UpdateUnaligned(benchmark::State& state) {
  state.SetLabel(olvix::Crc32UsesLibrary() ? "libdeflate" : "tables (no libdeflate)");
  RunCrc(state, olvix::Crc32Update, 1);
}
BENCHMARK(BM_Crc32UpdateUnaligned)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_Crc32UpdateTables(benchmark::State& state) { RunCrc(state, olvix::Crc32UpdateTables, 0); }
BENCHMARK(BM_Crc32UpdateTables)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_Crc32UpdateBytewise(benchmark::State& state) {
  RunCrc(state, olvix::Crc32UpdateBytewise, 0);
}
BENCHMARK(BM_Crc32UpdateBytewise)->Arg(64)->Unit(benchmark::kMillisecond);

// The ceiling: one plain pass that adds up the buffer as 64-bit words.
uint32_t SumWords(uint32_t, const void* data, size_t len) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint64_t sum = 0;
  for (size_t i = 0; i + 8 <= len; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    sum += w;
  }
  return static_cast<uint32_t>(sum ^ (sum >> 32));
}

void BM_MemoryRead(benchmark::State& state) { RunCrc(state, SumWords, 0); }
BENCHMARK(BM_MemoryRead)->Arg(1)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace
