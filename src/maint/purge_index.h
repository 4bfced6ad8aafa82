// The purge index olxprg.idx in the home directory: one line per file kept
// in a size- or age-limited fileecho, "time tag size name", telling PURGE
// when the file arrived.
#ifndef OLVIX_MAINT_PURGE_INDEX_H_
#define OLVIX_MAINT_PURGE_INDEX_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {

class AreaTable;

inline constexpr char kPurgeIndexName[] = "olxprg.idx";
// The reader takes at most this many characters of a line; the rest of a
// longer line belongs to it and is never read as a line of its own.
inline constexpr size_t kPurgeLineLimit = 510;

struct PurgeEntry {
  int64_t time = 0;  // arrival, seconds since 1970-01-01 UTC; 0: left out when written
  uint32_t size = 0;
  std::string tag;   // the fileecho's tag as the areas file spells it
  std::string name;  // bare file name
};

// The entries of index text (LF or CR LF line ends), in file order. A line
// is dropped when it is shorter than 7 characters, when its time or size is
// no decimal number, when its name is no bare file name, or when its
// fileecho is unknown, passthrough or has neither a size nor an age limit.
// The name is the rest of the line after the size, so that names holding
// blanks survive.
std::vector<PurgeEntry> ParsePurgeIndex(std::string_view text, const AreaTable& areas);

// True when a line for `tag` and `name` reads back as the same entry: both
// without control characters, the tag one word, the name a bare file name
// without blanks at its ends, the line within kPurgeLineLimit.
bool FitsPurgeIndex(const std::string& tag, const std::string& name);

// The index text: "time tag size name\n" for every entry whose time is
// above 0 (and below 10^18) and that FitsPurgeIndex, in list order.
std::string FormatPurgeIndex(const std::vector<PurgeEntry>& entries);

}  // namespace olvix

#endif  // OLVIX_MAINT_PURGE_INDEX_H_
