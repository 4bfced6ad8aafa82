// The purge index: any bytes parse without a fault, every entry read is
// one the writer can write, and what is written reads back as itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/records.h"
#include "fuzz_context.h"
#include "maint/purge_index.h"
#include "testing/samples.h"
#include "util/paths.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  static const AreaTable areas = testing::PurgeAreas();
  std::vector<PurgeEntry> entries = ParsePurgeIndex(text, areas);
  for (const PurgeEntry& e : entries) {
    Check(IsBareFileName(e.name));
    Check(areas.Find(e.tag) != nullptr);
  }
  std::string written = FormatPurgeIndex(entries);
  std::vector<PurgeEntry> back = ParsePurgeIndex(written, areas);
  Check(FormatPurgeIndex(back) == written);
  size_t lines = 0;
  for (char c : written) lines += c == '\n';
  Check(lines == back.size());
  return 0;
}
