// Shared between the olvix.ini line reader and the handlers of its keys and
// sections.
#ifndef OLVIX_CONFIG_SETTINGS_INTERNAL_H_
#define OLVIX_CONFIG_SETTINGS_INTERNAL_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;

enum class Section {
  kMain,
  kTemplates,
  kPackers,
  kBadStrings,
  kAutostart,
  kAutocopy,
  kUplinks,
  kAnnounce,
  kBlacklist,
  kAutoflags,
  kSkipDupeCheck,
};

// A [MAIN] line: `key` as written, `value` left-trimmed with #DEFINE names
// replaced. Keys are recognised by the CRC-32 of their upper-cased text;
// unknown keys are ignored.
void ApplyMainKey(RunContext& ctx, const std::string& key, const std::string& value);
// What the section handlers remember between lines of one olvix.ini.
struct SectionState {
  bool uplink_known = false;  // the last UPLINK line named a known link
};

// The names of the [MAIN] key table.
std::vector<std::string> MainKeyNames();
// A line of any other section that takes key and value (not [BADSTRINGS]
// or [BLACKLIST], which take whole lines).
void ApplySectionLine(RunContext& ctx, SectionState& state, Section section, const std::string& key,
                      const std::string& value);

// A file name from the configuration: trailing blanks dropped, made
// absolute relative to the home directory, case kept.
std::string SettingFile(const RunContext& ctx, const std::string& value);
// A directory from the configuration: as SettingFile, ending in the
// platform separator.
std::string SettingDir(const RunContext& ctx, const std::string& value);

}  // namespace olvix

#endif  // OLVIX_CONFIG_SETTINGS_INTERNAL_H_
