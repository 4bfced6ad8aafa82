// CRC-32 throughput: the table-per-byte-position loop used for files
// against the byte-at-a-time reference, over a 64 MiB buffer.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "util/crc32.h"

namespace {

const std::vector<unsigned char>& Buffer() {
  static const std::vector<unsigned char> buf = [] {
    std::vector<unsigned char> b(64u << 20);
    std::mt19937 rng(42);
    for (auto& c : b) c = static_cast<unsigned char>(rng());
    return b;
  }();
  return buf;
}

void BM_Crc32Update(benchmark::State& state) {
  const auto& buf = Buffer();
  for (auto _ : state) {
    uint32_t crc = olvix::Crc32Update(0xFFFFFFFFu, buf.data(), buf.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_Crc32Update)->Unit(benchmark::kMillisecond);

void BM_Crc32UpdateBytewise(benchmark::State& state) {
  const auto& buf = Buffer();
  for (auto _ : state) {
    uint32_t crc = olvix::Crc32UpdateBytewise(0xFFFFFFFFu, buf.data(), buf.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_Crc32UpdateBytewise)->Unit(benchmark::kMillisecond);

}  // namespace
