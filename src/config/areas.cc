// olxareas.ini: reading the AREA, DESC and LINKS lines.
#include <cstdint>

#include "config/config.h"
#include "config/config_files.h"
#include "config/parse.h"
#include "run/context.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr const char* kAreasFile = "olxareas.ini";

// Decimal digits at the start of `s`, wrapping like an unsigned 32-bit
// number; 0 when there are none.
uint32_t LeadingDigits(const std::string& s) {
  uint32_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') break;
    v = v * 10 + static_cast<uint32_t>(c - '0');
  }
  return v;
}

// Clamps a wide limit into the 32-bit field instead of wrapping it.
int32_t ClampLimit(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The words of an AREA line after the keyword, all but the path upper-cased:
// tag path group readlevel writelevel address [options...]. False when a
// required word is missing.
bool ParseAreaWords(RunContext& ctx, const std::vector<std::string>& w, AreaRecord* area) {
  if (w.size() < 7) return false;
  area->tag = Upper(w[1]);
  area->path = WithTrailingSep(ctx.Path(w[2]));
  area->group = Upper(w[3]);
  area->read_level = ParseDecimal(w[4]);
  area->write_level = ParseDecimal(w[5]);
  area->address = ParseAddress(w[6]);
  for (size_t i = 7; i < w.size(); ++i) {
    std::string word = Upper(w[i]);
    if (word[0] != '~') {
      area->flags = word;
      continue;
    }
    std::string number = word.size() > 2 ? word.substr(2) : std::string();
    if (word.compare(0, 2, "~K") == 0)
      area->size_limit = ParseDecimal(number);
    else if (word.compare(0, 2, "~M") == 0)
      area->size_limit = ClampLimit(static_cast<int64_t>(ParseDecimal(number)) * 1024);
    else if (word.compare(0, 2, "~D") == 0)
      area->age_limit = ParseDecimal(number);
    // any other "~" word is ignored
  }
  return true;
}

// The address of a LINKS word (prefix removed), which may be written short
// relative to the address before it on the line: "2" (node), "2.1"
// (node.point) or ".1" (point).
FtnAddress ParseSubscriberAddress(std::string word, const FtnAddress& prev) {
  if (!word.empty() && word[0] == '/') word.erase(0, 1);
  if (word.find(':') != std::string::npos) return ParseAddress(word);
  FtnAddress a = prev;
  if (!word.empty() && word[0] == '.') {
    a.point = LeadingDigits(word.substr(1));
    return a;
  }
  a.node = LeadingDigits(word);
  a.point = 0;
  size_t dot = word.find('.');
  if (dot != std::string::npos && word.find('/') == std::string::npos)
    a.point = LeadingDigits(word.substr(dot + 1));
  return a;
}

int DefaultMode(const LinkRecord& link, const AreaRecord& area) {
  if (link.level >= area.read_level && link.level < area.write_level) return kModeReadOnly;
  if (link.level >= area.write_level && link.level < area.read_level) return kModeWriteOnly;
  return kModeFull;
}

// Adds the subscribers of one LINKS line. Returns false after messages 104
// and 113 when a word names no link.
bool AddSubscribers(RunContext& ctx, const std::vector<std::string>& words, int line_no,
                    AreaRecord* area) {
  FtnAddress prev;
  for (size_t i = 1; i < words.size(); ++i) {
    std::string word = words[i];
    int mode = -1;
    if (word[0] == '!' || word[0] == '~') {
      mode = word[0] == '!' ? kModeReadOnly : kModeWriteOnly;
      word.erase(0, 1);
    }
    FtnAddress address = ParseSubscriberAddress(word, prev);
    prev = address;
    LinkRecord* link = ctx.links.Find(address);
    if (!link) {
      ctx.log.Message('!', 0, 104, FormatAddress(address).c_str());
      ctx.log.Message('!', 0, 113, kAreasFile, line_no);
      return false;
    }
    area->subscribers.push_back({link, mode < 0 ? DefaultMode(*link, *area) : mode});
  }
  return true;
}

}  // namespace

int LoadAreasText(RunContext& ctx, const std::string& text) {
  AreaRecord* current = nullptr;
  int line_no = 0;
  for (const ConfigLine& l : SplitConfigLines(text)) {
    ++line_no;
    std::string line;
    // The whole line: written back with an absolute path, an AREA line may
    // grow past the piece a reader takes at once.
    if (!PrepareLine(l.raw, &line)) continue;
    OneLineInPlace(&line);  // a stray CR or NUL is no part of a word
    std::vector<std::string> words = SplitWords(line);
    if (words.empty()) continue;  // only blanks once the CRs are gone
    std::string keyword = Upper(words[0]);
    if (keyword == "AREA") {
      current = nullptr;
      AreaRecord area;
      if (!ParseAreaWords(ctx, words, &area)) continue;
      if (!(area.IsPassthrough() && (ctx.cfg.fileboxes || !ctx.cfg.queue_dir.empty())))
        CreatePath(area.path);
      if (area.size_limit != 0 || area.age_limit != 0 || area.IsPassthrough())
        ctx.areas.purge_mark = true;
      current = ctx.areas.Add(std::move(area));
    } else if (keyword == "DESC" && current) {
      current->description = TrimLeft(std::string_view(line).substr(words[0].size()));
      current->has_description = true;
    } else if (keyword == "LINKS" && current) {
      if (!AddSubscribers(ctx, words, line_no, current)) return 1;
    }
  }
  return 0;
}

int LoadAreas(RunContext& ctx) {
  std::string text;
  if (!ReadConfigFile(ctx, JoinPath(ctx.home, kAreasFile), false, &text, nullptr)) return 1;
  ctx.log.Message('#', 1, 8);
  return LoadAreasText(ctx, text);
}

}  // namespace olvix
