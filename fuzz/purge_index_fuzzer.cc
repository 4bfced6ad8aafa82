// The purge index: any bytes parse without a fault, every entry read is
// one the writer can write, and what is written reads back as itself.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/records.h"
#include "maint/purge_index.h"
#include "util/paths.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

const olvix::AreaTable& Areas() {
  static const olvix::AreaTable* table = [] {
    auto* t = new olvix::AreaTable;
    const struct {
      const char* tag;
      const char* flags;
      int size, age;
    } kAreas[] = {
        {"SIZED", "", 100, 0}, {"AGED", "", 0, 7}, {"PASS", "P", 100, 7}, {"A", "", 1, 1}};
    for (const auto& a : kAreas) {
      olvix::AreaRecord r;
      r.tag = a.tag;
      r.flags = a.flags;
      r.size_limit = a.size;
      r.age_limit = a.age;
      t->Add(std::move(r));
    }
    return t;
  }();
  return *table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<PurgeEntry> entries = ParsePurgeIndex(text, Areas());
  for (const PurgeEntry& e : entries) {
    Check(IsBareFileName(e.name));
    Check(Areas().Find(e.tag) != nullptr);
  }
  std::string written = FormatPurgeIndex(entries);
  std::vector<PurgeEntry> back = ParsePurgeIndex(written, Areas());
  Check(FormatPurgeIndex(back) == written);
  size_t lines = 0;
  for (char c : written) lines += c == '\n';
  Check(lines == back.size());
  return 0;
}
