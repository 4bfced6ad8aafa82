#include "tic/magic.h"

#include <string_view>
#include <unordered_map>

#include "config/config_files.h"
#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/side_files.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Readers of the magic names file take lines of up to 509 characters.
constexpr size_t kMagicLineLimit = kConfigPiece - 1;

// The key of a line of the magic names file, upper-cased; "" for a comment
// or a line without a blank, which are no entries.
std::string LineKey(std::string_view line) {
  if (line.empty() || line[0] == ';') return "";
  size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return "";
  return Upper(line.substr(0, blank));
}

bool HasControlOrBlank(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return true;
  return false;
}

bool HasControl(const std::string& s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

// The entries of this toss, in the order the per-ticket rewrites take them.
std::vector<MagicEntry> CollectMagicEntries(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  std::vector<MagicEntry> entries;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    if (area.flags.find_first_of("PM") != std::string::npos) continue;
    for (const auto& tic : area.received) {
      if (tic->bad || tic->magic.empty()) continue;
      const LinkRecord* from = ctx.links.Find(tic->from);
      if (from && from->HasOption('M')) continue;
      std::string key = c.magic_extra + tic->magic;
      std::string path = platform::NativePath(JoinPath(DestinationDir(ctx, *tic), tic->file));
      std::string line = MagicEntryLine(key, path, c.magic_width);
      // An entry that could not be read back as this key, or that a reader
      // would split, is not written.
      if (HasControlOrBlank(key) || HasControl(path) || line.size() > kMagicLineLimit + 1) {
        ctx.log.Debug('D', "Magic name %s cannot be written", OneLine(key).c_str());
        continue;
      }
      entries.push_back({key, line});
    }
  }
  return entries;
}

}  // namespace

std::string MagicEntryLine(const std::string& key, const std::string& path, int width) {
  size_t column = width > 1 ? static_cast<size_t>(width - 1) : 0;
  std::string line = key;
  do {
    line += ' ';
  } while (line.size() < column);
  return line + path + "\n";
}

std::string ApplyMagicEntries(const std::string& text, const std::vector<MagicEntry>& entries) {
  std::vector<std::string> lines;
  std::unordered_map<std::string, std::vector<size_t>> by_key;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(pos, end - pos));
    std::string key = LineKey(lines.back());
    if (!key.empty()) by_key[key].push_back(lines.size() - 1);
    pos = end;
  }
  for (const MagicEntry& e : entries) {
    std::vector<size_t>& at = by_key[Upper(e.key)];
    if (at.empty()) {
      // A last line without its line end must not run into the new one.
      if (!lines.empty() && lines.back().back() != '\n') lines.back() += '\n';
      lines.push_back(e.line);
      at.push_back(lines.size() - 1);
      continue;
    }
    for (size_t i : at) lines[i] = e.line;
  }
  std::string out;
  out.reserve(text.size());
  for (const std::string& l : lines) out += l;
  return out;
}

void UpdateMagicNames(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Message('#', 1, 50);
  std::string dir = DirPart(c.magic_file);
  CreatePath(dir);
  (void)ChangeDir(ctx, dir);  // names below are full paths anyway
  // Thousands of tickets with magic names in one toss would rewrite the
  // file thousands of times; one rewrite leaves what those would.
  std::vector<MagicEntry> entries = CollectMagicEntries(ctx);
  if (entries.empty()) return;
  std::string text;
  int err = 0;
  if (!ReadConfigFile(ctx, c.magic_file, true, &text, &err)) {
    if (err != platform::NotFoundCode()) {
      ctx.log.Message('!', 3, 0, c.magic_file.c_str(), platform::ErrorText(err).c_str());
      return;
    }
    text = kMagicFileHeader;
  }
  (void)ReplaceTextFile(ctx, c.magic_file, JoinPath(dir, "olmagic.$$$"),
                        ApplyMagicEntries(text, entries), false);  // failures are logged there
}

std::string AutostartCommand(const std::string& command, const std::string& file,
                             const std::string& dir) {
  std::string out;
  // One pass: a name holding "@PATH" is inserted, not expanded again.
  for (size_t i = 0; i < command.size();) {
    std::string_view rest = std::string_view(command).substr(i);
    if (rest.substr(0, 5) == "@FILE") {
      out += platform::ShellQuote(file);
      i += 5;
    } else if (rest.substr(0, 5) == "@PATH") {
      out += platform::ShellQuote(dir);
      i += 5;
    } else {
      out += command[i++];
    }
  }
  return out;
}

void Autostart(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  const bool served_here = ServedFromAreaDirectories(c);
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    for (size_t n = 0; n < c.autostart.size(); ++n) {
      const TripleRecord& e = c.autostart[n];
      if (!(e.second == area.tag || (!e.second.empty() && e.second[0] == '*'))) continue;
      // A toss taking over after a kill runs no command a second time.
      const std::string step = "autostart:" + std::to_string(n);
      for (auto& tic : area.received) {
        if (tic->bad || Covered(ctx, *tic, step)) continue;
        if (!MaskMatches(e.first, tic->file) && !MaskMatches(e.first, tic->magic)) continue;
        std::string dest = DestinationDir(ctx, *tic);
        std::string path = JoinPath(dest, tic->file);
        // The command opens the file as it lies on disk (lower case), not
        // as the ticket spells it.
        std::string name = Exists(path) ? FilePart(platform::NativePath(path)) : tic->file;
        std::string command = AutostartCommand(e.rest, name, NativeDir(dest));
        // A file name may hold a CR: the log line must stay one line.
        ctx.log.Message('#', 2, 61, OneLine(command).c_str());
        (void)ChangeDir(ctx, dest);           // the command works in the file's directory
        (void)platform::RunCommand(command);  // its exit status is not ours to judge
        int64_t size = served_here ? FileSizeOf(path) : -1;
        if (size >= 0) {  // a file gone is for the sending step to report
          tic->size = static_cast<uint32_t>(size);
          tic->crc = FileCrc32(ctx.files, path);
          JournalRecord(ctx,
                        {"C", tic->tic_name, Format("%08X", tic->crc), std::to_string(tic->size)});
        }
        JournalRecord(ctx, {"R", tic->tic_name, step});
      }
    }
  }
}

}  // namespace olvix
