// The sections of olvix.ini other than [MAIN].
#include "config/settings_internal.h"
#include "run/context.h"
#include "util/text.h"

namespace olvix {

namespace {

// "first second rest..." of [AUTOSTART], [AUTOCOPY] and [AUTOFLAGS]: the key
// is the first word; false when there are fewer than three words.
bool SplitTriple(const std::string& key, const std::string& value, TripleRecord* t) {
  std::string second, rest;
  SplitFirstWord(value, &second, &rest);
  rest = TrimRight(rest);
  if (second.empty() || rest.empty()) return false;
  t->first = key;
  t->second = second;
  t->rest = rest;
  return true;
}

void TemplateLine(RunContext& ctx, const std::string& key, const std::string& value) {
  std::vector<TemplateRecord>& list = ctx.cfg.templates;
  if (EqualsNoCase(key, "KEYWORD")) {
    list.push_back({Upper(TrimRight(value)), "", ""});
    return;
  }
  if (list.empty()) return;  // no KEYWORD line yet
  if (EqualsNoCase(key, "TEMPLATE"))
    list.back().file = SettingFile(ctx, value);
  else if (EqualsNoCase(key, "RUN"))
    list.back().command = value;
}

// "offset,signature": the offset in hexadecimal, negative counting back
// from the end of the file.
void SetIdent(PackerRecord* p, const std::string& value) {
  size_t comma = value.find(',');
  std::string offset = TrimLeft(value.substr(0, comma));
  bool negative = !offset.empty() && offset[0] == '-';
  uint32_t v = static_cast<uint32_t>(ParseHex(negative ? offset.substr(1) : offset));
  p->offset = static_cast<int32_t>(negative ? 0u - v : v);
  p->signature =
      comma == std::string::npos ? "" : Upper(TrimRight(TrimLeft(value.substr(comma + 1))));
}

void PackerLine(RunContext& ctx, const std::string& key, const std::string& value) {
  std::vector<PackerRecord>& list = ctx.cfg.packers;
  if (EqualsNoCase(key, "ARCHIVER")) {
    PackerRecord p;
    p.name = Upper(TrimRight(value));
    list.push_back(std::move(p));
    return;
  }
  if (list.empty()) return;  // no ARCHIVER line yet
  if (EqualsNoCase(key, "IDENT"))
    SetIdent(&list.back(), value);
  else if (EqualsNoCase(key, "ADD"))
    list.back().add = value;
  else if (EqualsNoCase(key, "EXTRACT"))
    list.back().extract = value;
}

// [UPLINKS]. After an UPLINK line with an unknown address the following
// lines are ignored until the next UPLINK line: they describe that uplink,
// not the one before it.
void UplinkLine(RunContext& ctx, const std::string& key, const std::string& value,
                bool* current_known) {
  std::vector<UplinkRecord>& list = ctx.cfg.uplinks;
  std::vector<std::string> words = SplitWords(Upper(value));
  if (EqualsNoCase(key, "UPLINK")) {
    *current_known = false;
    if (words.empty()) return;
    const LinkRecord* link = ctx.links.Find(ParseAddress(words[0]));
    if (!link) return;
    UplinkRecord u;
    u.link = link;
    std::string address, rest, list_file, robot;
    SplitFirstWord(value, &address, &rest);
    SplitFirstWord(rest, &list_file, &robot);
    if (!list_file.empty()) u.list_file = SettingFile(ctx, list_file);
    robot = TrimRight(robot);
    if (!robot.empty()) u.robot = Upper(robot);
    list.push_back(std::move(u));
    *current_known = true;
    return;
  }
  if (list.empty() || !*current_known) return;
  UplinkRecord& u = list.back();
  if (EqualsNoCase(key, "CREATEPATH")) {
    u.create_path = SettingDir(ctx, value);
  } else if (EqualsNoCase(key, "AREA")) {
    // group readlevel writelevel [flags]: each field is stored only when
    // another word follows it, except the write level.
    if (words.size() < 2) return;
    u.area_set = true;
    u.area_group = words[0];
    if (words.size() < 3) return;
    u.area_read = ParseDecimal(words[1]);
    u.area_write = ParseDecimal(words[2]);
    std::string word, rest = Upper(value);
    for (int i = 0; i < 3; ++i) SplitFirstWord(rest, &word, &rest);
    u.area_flags = TrimRight(rest);
  } else if (EqualsNoCase(key, "LINKS")) {
    for (const std::string& w : words) {
      bool read_only = w[0] == '!';
      const LinkRecord* link = ctx.links.Find(ParseAddress(read_only ? w.substr(1) : w));
      if (link) u.links.push_back({link, read_only ? 1 : 0});
    }
  }
}

// [ANNOUNCE]: tag address1 address2 password groups newfiles [newecho
// [deletedecho]].
void AnnounceLine(RunContext& ctx, const std::string& key, const std::string& value) {
  std::vector<std::string> w = SplitWords(value);
  if (w.size() < 5) return;
  AnnounceDefinition a;
  a.echo_tag = key;
  a.address1 = ParseAddress(w[0]);
  a.address2 = ParseAddress(w[1]);
  a.password = w[2].substr(0, 8);
  a.groups = Upper(w[3]);
  a.new_files_template = SettingFile(ctx, w[4]);
  if (w.size() > 5) a.new_echo_template = SettingFile(ctx, w[5]);
  if (w.size() > 6) a.deleted_echo_template = SettingFile(ctx, w[6]);
  ctx.cfg.announces.push_back(std::move(a));
}

}  // namespace

void ApplySectionLine(RunContext& ctx, SectionState& state, Section section, const std::string& key,
                      const std::string& value) {
  MainConfig& c = ctx.cfg;
  TripleRecord t;
  switch (section) {
    case Section::kTemplates:
      TemplateLine(ctx, key, value);
      break;
    case Section::kPackers:
      PackerLine(ctx, key, value);
      break;
    case Section::kAutostart:
      if (!SplitTriple(key, value, &t)) return;
      t.first = Upper(t.first);
      t.second = Upper(t.second);
      c.autostart.push_back(std::move(t));
      break;
    case Section::kAutocopy:
      if (!SplitTriple(key, value, &t)) return;
      t.first = Upper(t.first);
      t.second = Upper(t.second);
      t.rest = SettingDir(ctx, t.rest);
      c.autocopy.push_back(std::move(t));
      break;
    case Section::kAutoflags:
      if (!SplitTriple(key, value, &t)) return;
      t.rest = SettingFile(ctx, t.rest);
      c.autoflags.push_back(std::move(t));
      break;
    case Section::kSkipDupeCheck: {
      std::string mask = Upper(TrimRight(value));
      if (!mask.empty()) c.skip_dupe_check.push_back({key, mask});
      break;
    }
    case Section::kUplinks:
      UplinkLine(ctx, key, value, &state.uplink_known);
      break;
    case Section::kAnnounce:
      AnnounceLine(ctx, key, value);
      break;
    default:
      break;  // [MAIN], [BADSTRINGS] and [BLACKLIST] are handled by the reader
  }
}

}  // namespace olvix
