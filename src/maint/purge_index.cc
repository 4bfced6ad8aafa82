#include "maint/purge_index.h"

#include "config/records.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Times have at most 18 digits, so that reading them cannot overflow.
constexpr int64_t kLatestTime = 1000000000000000000;

// The blank-delimited word at *pos, advancing past it.
std::string_view NextWord(std::string_view line, size_t* pos) {
  size_t i = *pos;
  while (i < line.size() && line[i] == ' ') ++i;
  size_t start = i;
  while (i < line.size() && line[i] != ' ') ++i;
  *pos = i;
  return line.substr(start, i - start);
}

// Digits only, at most 18 of them, so that the value cannot overflow.
bool ParseCount(std::string_view word, int64_t* value) {
  if (word.empty() || word.size() > 18) return false;
  int64_t v = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

// Sizes of files from 2 to 4 GB were written as negative 32-bit numbers
// by older writers; they read back as the same 32-bit value.
bool ParseSize(std::string_view word, uint32_t* size) {
  bool negative = !word.empty() && word[0] == '-';
  int64_t v = 0;
  if (!ParseCount(negative ? word.substr(1) : word, &v)) return false;
  if (negative) v = -v;
  if (v < INT32_MIN || v > UINT32_MAX) return false;
  *size = static_cast<uint32_t>(v);
  return true;
}

bool HasControl(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 32) return true;
  return false;
}

// The fileecho whose files the index keeps dates for, or nullptr.
const AreaRecord* Indexed(const AreaTable& areas, const std::string& tag) {
  const AreaRecord* area = areas.Find(tag);
  if (!area || area->IsPassthrough() || (area->size_limit <= 0 && area->age_limit <= 0))
    return nullptr;
  return area;
}

}  // namespace

std::vector<PurgeEntry> ParsePurgeIndex(std::string_view text, const AreaTable& areas) {
  std::vector<PurgeEntry> entries;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    pos = nl == std::string_view::npos ? text.size() : nl + 1;
    if (line.size() > kPurgeLineLimit) line = line.substr(0, kPurgeLineLimit);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() < 7) continue;
    size_t at = 0;
    int64_t time = 0;
    PurgeEntry e;
    if (!ParseCount(NextWord(line, &at), &time)) continue;
    std::string tag(NextWord(line, &at));
    if (tag.empty() || !ParseSize(NextWord(line, &at), &e.size)) continue;
    e.name = TrimRight(TrimLeft(line.substr(at)));
    const AreaRecord* area = Indexed(areas, tag);
    if (!area || !IsBareFileName(e.name)) continue;
    e.tag = area->tag;
    e.time = time;
    entries.push_back(std::move(e));
  }
  return entries;
}

bool FitsPurgeIndex(const std::string& tag, const std::string& name) {
  if (tag.empty() || tag.find(' ') != std::string::npos || HasControl(tag)) return false;
  if (!IsBareFileName(name) || HasControl(name)) return false;
  if (name.front() == ' ' || name.back() == ' ') return false;
  // time (at most 18 digits), size (at most 10), three blanks
  return 18 + 1 + tag.size() + 1 + 10 + 1 + name.size() <= kPurgeLineLimit;
}

std::string FormatPurgeIndex(const std::vector<PurgeEntry>& entries) {
  std::string out;
  for (const PurgeEntry& e : entries) {
    if (e.time <= 0 || e.time >= kLatestTime || !FitsPurgeIndex(e.tag, e.name)) continue;
    out += Format("%lld %s %u %s\n", static_cast<long long>(e.time), e.tag.c_str(), e.size,
                  e.name.c_str());
  }
  return out;
}

}  // namespace olvix
