// The keys of [MAIN] in olvix.ini, recognised by the CRC-32 of the
// upper-cased key.
#include <unordered_map>

#include "config/settings_internal.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/crc32.h"
#include "util/text.h"

namespace olvix {

namespace {

// How a value is turned into its field.
enum class Kind {
  kText,       // as written
  kUpperText,  // upper-cased
  kFile,       // a file name: absolute, case kept
  kDir,        // a directory: absolute, case kept, ending in the separator
  kNumber,     // decimal rules
  kSwitch,     // "YES" or not
  kChar,       // first character as written
  kUpperChar,  // first character upper-cased
  kSpecial,    // a handler of its own
};

using Handler = void (*)(RunContext&, const std::string&);

struct KeyEntry {
  const char* name;
  Kind kind;
  std::string MainConfig::*text = nullptr;
  int32_t MainConfig::*number = nullptr;
  bool MainConfig::*flag = nullptr;
  char MainConfig::*character = nullptr;
  Handler special = nullptr;
};

KeyEntry Str(const char* name, Kind kind, std::string MainConfig::*field) {
  return {name, kind, field, nullptr, nullptr, nullptr, nullptr};
}
KeyEntry Num(const char* name, int32_t MainConfig::*field) {
  return {name, Kind::kNumber, nullptr, field, nullptr, nullptr, nullptr};
}
KeyEntry Switch(const char* name, bool MainConfig::*field) {
  return {name, Kind::kSwitch, nullptr, nullptr, field, nullptr, nullptr};
}
KeyEntry Char(const char* name, Kind kind, char MainConfig::*field) {
  return {name, kind, nullptr, nullptr, nullptr, field, nullptr};
}
KeyEntry Special(const char* name, Handler handler) {
  return {name, Kind::kSpecial, nullptr, nullptr, nullptr, nullptr, handler};
}

void SetAddress(RunContext& ctx, const std::string& value) {
  ctx.cfg.addresses.clear();  // a later ADDRESS line replaces the list
  for (const std::string& word : SplitWords(value)) ctx.cfg.addresses.push_back(ParseAddress(word));
}

void SetLogLevel(RunContext& ctx, const std::string& value) {
  ctx.cfg.log_level = ParseDecimal(Upper(value)) & 7;
}

void SetLogChars(RunContext& ctx, const std::string& value) {
  ctx.cfg.log_chars = Upper(value);
  ctx.cfg.log_chars_set = true;
}

// "X kb": a drive letter (or, on this platform, a directory) and the
// kilobytes that must be free there.
void CheckMinFree(RunContext& ctx, const std::string& value) {
  std::vector<std::string> words = SplitWords(value);
  if (words.size() < 2) return;
  const std::string& where = words[0];
  auto is_letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  std::string dir;
  if ((where.size() == 1 && is_letter(where[0])) ||
      (where.size() == 2 && is_letter(where[0]) && where[1] == ':'))
    dir = platform::NormalizePath(std::string(1, where[0]) + ":/");
  else
    dir = SettingDir(ctx, where);
  int64_t free_kb = platform::FreeSpaceKb(dir);
  if (free_kb < 0) return;  // cannot be queried: nothing to say
  if (free_kb < ParseDecimal(words[1])) ctx.not_enough_space = true;
}

void SetAttachStyle(RunContext& ctx, const std::string& value) {
  static const struct {
    const char* name;
    AttachStyle style;
  } kStyles[] = {
      {"BINK", AttachStyle::kBink},           {"AMA", AttachStyle::kAma},
      {"FILEBOXES", AttachStyle::kFileboxes}, {"LONGFILEBOXES", AttachStyle::kLongFileboxes},
      {"LBSO", AttachStyle::kLbso},           {"BRAKEFILEBOXES", AttachStyle::kBrakeFileboxes},
  };
  std::string v = TrimRight(value);
  for (const auto& s : kStyles)
    if (EqualsNoCase(v, s.name)) ctx.cfg.attach_style = s.style;
}

void SetReplaces(RunContext& ctx, const std::string& value) {
  std::string v = TrimRight(value);
  ctx.cfg.replaces_mode = EqualsNoCase(v, "NOWILDCARDS") ? 2 : (EqualsNoCase(v, "YES") ? 1 : 0);
}

void SetNoReplace(RunContext& ctx, const std::string& value) {
  ctx.cfg.no_replace = SplitWords(Upper(value));
}

const std::vector<KeyEntry>& KeyTable() {
  using M = MainConfig;
  static const std::vector<KeyEntry> kKeys = {
      Special("ADDRESS", SetAddress),
      Str("ORIGIN", Kind::kText, &M::origin),
      Str("ROBOTNAMES", Kind::kUpperText, &M::robot_names),
      Str("FROMNAME", Kind::kText, &M::from_name),
      Str("STATION", Kind::kText, &M::station),
      Str("LOGNAME", Kind::kFile, &M::log_name),
      Str("MANAGERLOG", Kind::kFile, &M::manager_log),
      Special("LOGCHARS", SetLogChars),
      Special("LOGLEVEL", SetLogLevel),
      Str("DEBUG", Kind::kUpperText, &M::debug),
      Str("LANGUAGE", Kind::kUpperText, &M::language),
      Num("STREAMBUFFER", &M::stream_buffer),
      Str("BUSYFLAG", Kind::kFile, &M::busy_flag),
      Num("BUSYWAIT", &M::busy_wait),
      Special("MINFREE", CheckMinFree),
      Str("NETMAILFLAG", Kind::kFile, &M::netmail_flag),
      Str("ECHOMAILFLAG", Kind::kFile, &M::echomail_flag),
      Str("INBOUND", Kind::kDir, &M::inbound),
      Str("OUTMAIL", Kind::kDir, &M::outmail),
      Str("NETMAIL", Kind::kDir, &M::netmail),
      Str("OUTBOUND", Kind::kDir, &M::outbound),
      Special("ATTACHSTYLE", SetAttachStyle),
      Str("OUTTICS", Kind::kDir, &M::out_tics),
      Str("BADPATH", Kind::kDir, &M::bad_path),
      Str("NEWECHOPATH", Kind::kDir, &M::new_echo_path),
      Str("NEWECHOBASE", Kind::kDir, &M::new_echo_base),
      Str("KEEPTICS", Kind::kDir, &M::keep_tics),
      Num("KEEPTICSDAYS", &M::keep_tics_days),
      Str("DUPESDIR", Kind::kDir, &M::dupes_dir),
      Str("LETTERCOPIES", Kind::kDir, &M::letter_copies),
      Str("PACKETDIR", Kind::kDir, &M::packet_dir),
      Str("QUEUEDIR", Kind::kDir, &M::queue_dir),
      Str("ANNOUNCEPATH", Kind::kDir, &M::announce_path),
      Str("ANNOUNCETEXT", Kind::kFile, &M::announce_text),
      Str("ANNTEMPLATE", Kind::kFile, &M::ann_template),
      Num("ANNOUNCESPLIT", &M::announce_split),
      Num("ANNOUNCEMINCOUNT", &M::announce_min_count),
      Num("ANNOUNCEMINSIZE", &M::announce_min_size),
      Switch("ANNLOWERCASE", &M::ann_lower_case),
      Num("REPLYLINES", &M::reply_lines),
      Str("BADPWD", Kind::kFile, &M::bad_pwd),
      Str("CHANGESTPL", Kind::kFile, &M::changes_tpl),
      Str("NOTLINKTPL", Kind::kFile, &M::not_link_tpl),
      Str("LOCKEDTPL", Kind::kFile, &M::locked_tpl),
      Str("HELPTPL", Kind::kFile, &M::help_tpl),
      Str("FORWARDTPL", Kind::kFile, &M::forward_tpl),
      Str("PASSIVETPL", Kind::kFile, &M::passive_tpl),
      Char("CMDCHAR", Kind::kChar, &M::cmd_char),
      Str("FORWARDAREAFLAGS", Kind::kText, &M::forward_area_flags),
      Switch("SINGLEUPLINK", &M::single_uplink),
      Switch("AVAILLIST", &M::avail_list),
      Switch("RESENDCHECK", &M::resend_check),
      Switch("UNSUBREPORT", &M::unsub_report),
      Num("PASSIVEDAYS", &M::passive_days),
      Switch("PASSIVEKILL", &M::passive_kill),
      Str("DESCNAME", Kind::kText, &M::desc_name),
      Str("DESCLINE", Kind::kText, &M::desc_line),
      Char("DESCCHAR", Kind::kUpperChar, &M::desc_char),
      Str("DESCMARK", Kind::kText, &M::desc_mark),
      Num("DESCMARKPOS", &M::desc_mark_pos),
      Num("DESCWIDTH", &M::desc_width),
      Num("DESCLIMIT", &M::desc_limit),
      Switch("UPDATEDESC", &M::update_desc),
      Switch("REWRITEDESC", &M::rewrite_desc),
      Switch("DIZFROMARCHIVES", &M::diz_from_archives),
      Switch("DIZTOARCHIVES", &M::diz_to_archives),
      Switch("DIZSKIPEMPTY", &M::diz_skip_empty),
      Switch("DIZCLEAN", &M::diz_clean),
      Switch("VERIFYCRC", &M::verify_crc),
      Switch("DUPEWIDE", &M::dupe_wide),
      Switch("SEARCHBADS", &M::search_bads),
      Switch("MOVETOQUEUE", &M::move_to_queue),
      Num("LOSTTICDAYS", &M::lost_tic_days),
      Special("REPLACES", SetReplaces),
      Special("NOREPLACE", SetNoReplace),
      Str("MAGICFILE", Kind::kFile, &M::magic_file),
      Str("MAGICEXTRA", Kind::kText, &M::magic_extra),
      Num("MAGICWIDTH", &M::magic_width),
      Switch("LONGDIRS", &M::long_dirs),
      Str("NEWDESC", Kind::kText, &M::new_desc),
      Switch("NEWECHODESC", &M::new_echo_desc),
      Str("ECHODESCFILE", Kind::kFile, &M::echo_desc_file),
      Str("FREQLIST", Kind::kFile, &M::freq_list),
      Str("ECHOLISTFILE", Kind::kFile, &M::echo_list_file),
      Str("BLSTBBS", Kind::kFile, &M::blst_bbs),
      Switch("HATCHCOPY", &M::hatch_copy),
      Switch("DELETEHATCHED", &M::delete_hatched),
      Switch("HARDLINKS", &M::hard_links),
      Num("UTC", &M::utc),
      Str("SORTLISTS", Kind::kUpperText, &M::sort_lists),
      Switch("SHORTLINKS", &M::short_links),
  };
  return kKeys;
}

const KeyEntry* FindKey(const std::string& key) {
  static const std::unordered_map<uint32_t, const KeyEntry*> kIndex = [] {
    std::unordered_map<uint32_t, const KeyEntry*> index;
    for (const KeyEntry& e : KeyTable()) index.emplace(Crc32(e.name), &e);
    return index;
  }();
  auto it = kIndex.find(Crc32(Upper(key)));
  return it == kIndex.end() ? nullptr : it->second;
}

}  // namespace

void ApplyMainKey(RunContext& ctx, const std::string& key, const std::string& value) {
  const KeyEntry* e = FindKey(key);
  if (!e) return;  // unknown keys are ignored
  MainConfig& c = ctx.cfg;
  switch (e->kind) {
    case Kind::kText:
      c.*e->text = value;
      break;
    case Kind::kUpperText:
      c.*e->text = Upper(value);
      break;
    case Kind::kFile:
      c.*e->text = SettingFile(ctx, value);
      break;
    case Kind::kDir:
      c.*e->text = SettingDir(ctx, value);
      break;
    case Kind::kNumber:
      c.*e->number = ParseDecimal(Upper(value));
      break;
    case Kind::kSwitch:
      c.*e->flag = EqualsNoCase(TrimRight(value), "YES");
      break;
    case Kind::kChar:
      c.*e->character = value.empty() ? '\0' : value[0];
      break;
    case Kind::kUpperChar:
      c.*e->character = value.empty() ? '\0' : UpperChar(value[0]);
      break;
    case Kind::kSpecial:
      e->special(ctx, value);
      break;
  }
}

// Every key of the table, for tests that check the table is complete and
// free of CRC collisions.
std::vector<std::string> MainKeyNames() {
  std::vector<std::string> names;
  for (const KeyEntry& e : KeyTable()) names.emplace_back(e.name);
  return names;
}

}  // namespace olvix
