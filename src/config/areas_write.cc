// olxareas.ini: the written form of a fileecho, the rewrite, and EXPORT.
#include <algorithm>
#include <cerrno>

#include "config/config.h"
#include "config/config_files.h"
#include "config/parse.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr size_t kLinksWidth = 77;

// The short form of `a` after `prev` on the same Links line, or "" when it
// must be written in full. A point is always written after a node number:
// "2" alone would read back as point 0.
std::string ShortForm(const FtnAddress& prev, const FtnAddress& a) {
  if (a.zone != prev.zone || a.net != prev.net) return "";
  if (a.node != prev.node) {
    std::string s = Format("%u", a.node);
    if (a.point != 0) s += Format(".%u", a.point);
    return s;
  }
  if (a.point != prev.point && a.point != 0) return Format(".%u", a.point);
  return "";
}

const char* ModePrefix(int mode) {
  if (mode == kModeReadOnly) return "!";
  if (mode == kModeWriteOnly) return "~";
  return "";
}

}  // namespace

std::string FormatAreaBlock(AreaRecord& area, bool short_links) {
  std::stable_sort(area.subscribers.begin(), area.subscribers.end(),
                   [](const Subscriber& a, const Subscriber& b) {
                     return CompareAddress(a.link->address, b.link->address) < 0;
                   });
  std::string out =
      Format("Area    %s %s %s %d %d %s", area.tag.c_str(), area.path.c_str(), area.group.c_str(),
             area.read_level, area.write_level, FormatAddress(area.address).c_str());
  if (!area.flags.empty()) out += " " + area.flags;
  if (area.size_limit != 0) {
    if (area.size_limit % 1024 == 0)
      out += Format(" ~M%i", area.size_limit / 1024);
    else
      out += Format(" ~K%i", area.size_limit);
  }
  if (area.age_limit != 0) out += Format(" ~D%i", area.age_limit);
  out += '\n';
  if (area.has_description || !area.description.empty())
    out += "Desc    " + area.description + "\n";
  if (!area.subscribers.empty()) {
    const std::string start = "Links  ";
    std::string line = start;
    const FtnAddress* prev = nullptr;  // the entry before on this line
    for (const Subscriber& s : area.subscribers) {
      const FtnAddress& a = s.link->address;
      std::string text = short_links && prev ? ShortForm(*prev, a) : "";
      if (text.empty()) text = FormatAddress(a);
      if (prev && line.size() + text.size() > kLinksWidth) {
        out += line + "\n";
        line = start;
        text = FormatAddress(a);  // a new line begins with a full address
      }
      line += std::string(" ") + ModePrefix(s.mode) + text;
      prev = &a;
    }
    out += line + "\n";
  }
  out += '\n';
  return out;
}

std::string RewriteAreasText(RunContext& ctx, const std::string& old_text) {
  std::string out;
  size_t cursor = 0;
  auto write_next = [&]() {
    AreaRecord& area = ctx.areas[cursor++];
    ctx.log.Debug('H', "Writing info on area %s", area.tag.c_str());
    out += FormatAreaBlock(area, ctx.cfg.short_links);
  };
  for (const ConfigLine& l : SplitConfigLines(old_text)) {
    if (IsComment(l.piece)) {
      out += l.raw;
      if (out.back() != '\n') out += '\n';
      continue;
    }
    if (!EqualsNoCase(FirstWord(l.piece), "AREA")) continue;  // dropped
    if (cursor < ctx.areas.size()) write_next();
  }
  while (cursor < ctx.areas.size()) {
    out += ";\n";
    write_next();
  }
  return out;
}

int WriteAreaBlock(RunContext& ctx, std::FILE* out, AreaRecord& area) {
  ctx.log.Debug('H', "Writing info on area %s", area.tag.c_str());
  std::string block = FormatAreaBlock(area, ctx.cfg.short_links);
  if (std::fwrite(block.data(), 1, block.size(), out) != block.size()) return errno ? errno : EIO;
  return 0;
}

int SaveAreas(RunContext& ctx) {
  if (ctx.cfg.sort_lists.find('A') != std::string::npos) ctx.areas.SortByTag();
  const std::string path = JoinPath(ctx.home, "olxareas.ini");
  std::string old_text;
  int err = 0;
  if (!ReadConfigFile(ctx, path, true, &old_text, &err)) return err;
  return ReplaceConfigFile(ctx, path, platform::RunTempName(JoinPath(ctx.home, "areatemp.ini")),
                           JoinPath(ctx.home, "olxareas.bak"), RewriteAreasText(ctx, old_text),
                           true);
}

int ExportAreas(RunContext& ctx, const std::string& file) {
  if (file.empty()) {
    ctx.log.Message('!', 1, 119);
    return 0;
  }
  const std::string path = ctx.Path(file);
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(path, "w", &err);
  if (!f) {
    if (err == 0) err = EIO;
    ctx.log.Message('!', 3, 0, path.c_str(), platform::ErrorText(err).c_str());
    return err;
  }
  std::string text;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    const AreaRecord& area = ctx.areas[i];
    text += Format("%-26s %s\n", area.tag.c_str(), area.description.c_str());
  }
  if (std::fwrite(text.data(), 1, text.size(), f) != text.size()) err = errno ? errno : EIO;
  int close_err = ctx.files.Close(f);
  if (err == 0) err = close_err;
  if (err != 0) ctx.log.Message('!', 0, 9, path.c_str(), platform::ErrorText(err).c_str());
  return err;
}

}  // namespace olvix
