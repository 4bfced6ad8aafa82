// olvix.ini: the line reader with sections, platform tags, #DEFINE and
// #INCLUDE, and the settings computed after the last line.
#include "config/config.h"
#include "config/config_files.h"
#include "config/parse.h"
#include "config/settings_internal.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Lines tagged with this platform name are read, others with a tag are not.
constexpr const char* kPlatformTag = "(UNIX)";
// #INCLUDE files nest at most this deep; deeper means files include each
// other.
constexpr int kMaxIncludeDepth = 16;
// #DEFINE replacements stop growing a value beyond this size, so that a
// chain of definitions cannot exhaust memory.
constexpr size_t kMaxValueSize = 65536;

struct SectionName {
  const char* header;
  Section section;
};

constexpr SectionName kSections[] = {
    {"[MAIN]", Section::kMain},
    {"[TEMPLATES]", Section::kTemplates},
    {"[PACKERS]", Section::kPackers},
    {"[BADSTRINGS]", Section::kBadStrings},
    {"[AUTOSTART]", Section::kAutostart},
    {"[AUTOCOPY]", Section::kAutocopy},
    {"[UPLINKS]", Section::kUplinks},
    {"[ANNOUNCE]", Section::kAnnounce},
    {"[BLACKLIST]", Section::kBlacklist},
    {"[AUTOFLAGS]", Section::kAutoflags},
    {"[SKIPDUPECHECK]", Section::kSkipDupeCheck},
};

// Splits "key rest" at the first blank; false when there is no blank.
bool SplitKey(const std::string& text, std::string* key, std::string* value) {
  size_t sp = text.find(' ');
  if (sp == std::string::npos) return false;
  *key = text.substr(0, sp);
  *value = TrimLeft(std::string_view(text).substr(sp));
  return true;
}

// Replaces every defined name in `value`, definitions in their order. Text
// just inserted is not searched again, so a replacement that contains its
// own name is inserted once instead of endlessly.
std::string Substitute(const std::vector<DefineRecord>& defines, std::string value) {
  for (const DefineRecord& d : defines) {
    if (d.name.empty()) continue;
    size_t pos = 0;
    while ((pos = FindNoCase(value, d.name, pos)) != std::string::npos) {
      if (value.size() - d.name.size() + d.replacement.size() > kMaxValueSize) return value;
      value.replace(pos, d.name.size(), d.replacement);
      pos += d.replacement.size();
    }
  }
  return value;
}

class SettingsReader {
 public:
  explicit SettingsReader(RunContext& ctx) : ctx_(ctx) {}

  void ReadText(const std::string& text, const std::string& file_name, int depth) {
    for (const ConfigLine& line : SplitConfigLines(text)) Line(line.piece, file_name, depth);
  }

 private:
  void Line(const std::string& piece, const std::string& file_name, int depth);
  void Include(const std::string& value, const std::string& file_name, int depth);

  RunContext& ctx_;
  Section section_ = Section::kMain;  // carries into and out of #INCLUDE files
  SectionState state_;
};

void SettingsReader::Line(const std::string& piece, const std::string& file_name, int depth) {
  if (piece.empty() || piece[0] == ';') return;
  std::string line = piece;
  StripLineEnd(&line);
  line = ExpandTabs(line);
  std::string trimmed = TrimLeft(line);
  const std::string header = TrimRight(trimmed);
  for (const SectionName& s : kSections) {
    if (EqualsNoCase(header, s.header)) {
      section_ = s.section;
      return;
    }
  }
  if (section_ == Section::kBadStrings) {
    ctx_.cfg.bad_strings.push_back(line);
    return;
  }
  // An indented ";" line is a comment too: taken as a key it would make
  // entries of the word lists ([ANNOUNCE], [AUTOSTART], ...).
  if (!trimmed.empty() && trimmed[0] == ';') return;
  if (section_ == Section::kBlacklist) {
    ctx_.cfg.blacklist.push_back(trimmed);
    return;
  }
  std::string key, value;
  if (!SplitKey(trimmed, &key, &value)) return;
  if (key[0] == '(') {
    if (!EqualsNoCase(key, kPlatformTag)) return;  // a line for another platform
    std::string rest = value;
    if (!SplitKey(rest, &key, &value)) return;
  }
  value = Substitute(ctx_.cfg.defines, value);
  if (EqualsNoCase(key, "#DEFINE")) {
    DefineRecord d;
    if (SplitKey(value, &d.name, &d.replacement)) ctx_.cfg.defines.push_back(std::move(d));
    return;
  }
  if (EqualsNoCase(key, "#INCLUDE")) {
    Include(value, file_name, depth);
    return;
  }
  if (section_ == Section::kMain)
    ApplyMainKey(ctx_, key, value);
  else
    ApplySectionLine(ctx_, state_, section_, key, value);
}

void SettingsReader::Include(const std::string& value, const std::string& file_name, int depth) {
  if (depth >= kMaxIncludeDepth) {
    std::string why =
        Format("#INCLUDE %s: more than %d nested include files", value.c_str(), kMaxIncludeDepth);
    ctx_.log.Message('!', 0, 22, file_name.c_str(), why.c_str());
    Shutdown(ctx_, 1);
  }
  const std::string path = SettingFile(ctx_, value);
  std::string text;
  if (!ReadConfigFile(ctx_, path, false, &text, nullptr)) Shutdown(ctx_, 1);
  ReadText(text, path, depth + 1);
}

bool IsFileboxStyle(AttachStyle style) {
  return style == AttachStyle::kFileboxes || style == AttachStyle::kLongFileboxes ||
         style == AttachStyle::kBrakeFileboxes;
}

void FinishSettings(RunContext& ctx) {
  MainConfig& c = ctx.cfg;
  UpperInPlace(&c.robot_names);
  UpperInPlace(&c.sort_lists);
  if (IsFileboxStyle(c.attach_style)) {
    c.fileboxes = true;
    c.queue_dir.clear();  // fileboxes are the queue
  }
  if (c.utc == 99) {
    int64_t now = platform::Now();
    std::tm local = platform::LocalTime(now);
    std::tm utc = platform::UtcTime(now);
    c.utc = UtcOffsetHours(local.tm_hour, local.tm_min, utc.tm_hour, utc.tm_min);
  }
}

}  // namespace

std::string SettingFile(const RunContext& ctx, const std::string& value) {
  std::string v = TrimRight(value);
  return v.empty() ? v : ctx.Path(v);
}

std::string SettingDir(const RunContext& ctx, const std::string& value) {
  std::string v = SettingFile(ctx, value);
  return v.empty() ? v : WithTrailingSep(v);
}

int32_t UtcOffsetHours(int local_hour, int local_min, int utc_hour, int utc_min) {
  int d = (local_hour * 100 + local_min) - (utc_hour * 100 + utc_min);
  if (d < -1200) d += 2400;
  if (d > 1200) d -= 2400;
  return d / 100;
}

void LoadSettingsText(RunContext& ctx, const std::string& text, const std::string& file_name) {
  SettingsReader reader(ctx);
  reader.ReadText(text, file_name, 0);
  FinishSettings(ctx);
}

void LoadSettings(RunContext& ctx) {
  ctx.log.Message('#', 1, 42);
  const std::string path = JoinPath(ctx.home, "olvix.ini");
  std::string text;
  if (!ReadConfigFile(ctx, path, false, &text, nullptr)) Shutdown(ctx, 1);
  LoadSettingsText(ctx, text, path);
}

}  // namespace olvix
