#include "tic/autocreate.h"

#include <unordered_set>

#include "announce/announce.h"
#include "config/config.h"
#include "config/config_files.h"
#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/side_files.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// A tag appears twice in its AREA line with LONGDIRS (as the tag and in the
// path); this keeps the line well inside the areas file's line limit.
constexpr size_t kMaxTag = 128;
// "Desc    " and the description fit one line piece of the areas file.
constexpr size_t kMaxDescription = kConfigPiece - 9;
// Lines of a description file are read up to 255 characters.
constexpr size_t kDescFileLine = 254;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// A description from any source as one line of the areas file.
std::string CleanDescription(const std::string& text) {
  return TrimRight(TrimLeft(OneLineCut(text, kMaxDescription)));
}

std::string ReadListFile(RunContext& ctx, const std::string& path) {
  ctx.log.Debug('D', "Gonna to take description from %s", path.c_str());
  std::string text;
  (void)ReadWholeFile(path, true, &text);  // an unreadable list file describes nothing
  return text;
}

// `name` when nothing of that name is in `base` and no fileecho uses that
// directory yet, else the first free name.1, name.2, ...
std::string FreeDirName(RunContext& ctx, const std::string& base, const std::string& name) {
  std::unordered_set<std::string> used;
  for (size_t i = 0; i < ctx.areas.size(); ++i) used.insert(DirectoryKey(ctx.areas[i].path));
  auto taken = [&](const std::string& n) {
    std::string path = JoinPath(base, n);
    return Exists(path) || used.count(DirectoryKey(path)) != 0;
  };
  if (!taken(name)) return name;
  for (unsigned n = 1;; ++n) {
    std::string candidate = name + "." + std::to_string(n);
    if (!taken(candidate)) return candidate;
  }
}

// What [UPLINKS] prescribes for fileechoes created from `link`: its
// subscribers, group, flags and levels, and a description from its
// fileecho list while there is none yet.
void ApplyUplinks(RunContext& ctx, const LinkRecord* link, AreaRecord* area, std::string* desc) {
  std::unordered_set<const LinkRecord*> subscribed{link};
  for (const UplinkRecord& u : ctx.cfg.uplinks) {
    if (u.link != link) continue;
    if (desc->empty() && !u.list_file.empty()) {
      ctx.log.Debug('D', "May be we can found description in uplink's area list?");
      std::string text;
      if (ReadWholeFile(u.list_file, true, &text)) *desc = UplinkListDescription(text, area->tag);
    }
    for (const UplinkSubscriber& s : u.links) {
      LinkRecord* sub = ctx.links.Find(s.link->address);
      // A link named twice would get every file twice.
      if (sub && subscribed.insert(sub).second) area->subscribers.push_back({sub, s.mode});
    }
    if (!u.area_group.empty()) area->group = u.area_group;
    if (!u.area_flags.empty()) area->flags = u.area_flags;
    area->read_level = u.area_read;
    area->write_level = u.area_write;
  }
}

std::string BaseDirectory(RunContext& ctx, const LinkRecord* link, const AreaRecord& area) {
  const MainConfig& c = ctx.cfg;
  if (area.IsPassthrough() && !c.new_echo_base.empty()) return c.new_echo_base;
  for (const UplinkRecord& u : c.uplinks) {
    if (u.link != link || u.create_path.empty()) continue;
    CreatePath(u.create_path);
    return u.create_path;
  }
  return c.new_echo_path;
}

// The lines a fileecho with its own directory gets in the files other
// programs read: the file-request list, the base directory's description
// file and the BLSTBBS configuration. Each holds the resolved directory
// path the way those programs must open it.
void AddDirectoryLines(RunContext& ctx, const AreaRecord& area, const std::string& base,
                       const std::string& name) {
  const MainConfig& c = ctx.cfg;
  std::string dir = NativeDir(area.path);
  if (!c.freq_list.empty()) {
    ctx.log.Debug('D', "Updating freq directories list");
    AppendLinesOnce(ctx, c.freq_list, dir + "\n");
  }
  if (c.new_echo_desc) {
    ctx.log.Debug('D', "Updating description file");
    std::string line = OneLineCut(name + " " + area.tag + " " + area.description, kDescFileLine);
    AppendLinesOnce(ctx, JoinPath(base, c.desc_name), line + "\n");
  }
  if (!c.blst_bbs.empty()) {
    ctx.log.Debug('D', "Updating BLSTBBS configuration");
    const std::string& title = area.description.empty() ? area.tag : area.description;
    AppendLinesOnce(ctx, c.blst_bbs, "\nName " + title + "\nPath " + dir + "\n");
  }
}

}  // namespace

bool TagMayBeCreated(const std::string& tag) {
  if (tag.empty() || tag.size() > kMaxTag) return false;
  for (char c : tag)
    if (c == ' ' || IsControl(c)) return false;
  return true;
}

std::string NewEchoDirName(const std::string& tag, bool long_dirs) {
  std::string name = long_dirs ? tag : tag.substr(0, 8);
  const std::string unsafe = long_dirs ? "\\/:" : "\\.:*?/+";
  for (char& c : name)
    if (IsControl(c) || unsafe.find(c) != std::string::npos) c = '_';
  // "." and ".." name the base directory and its parent, not a new one.
  if (name.find_first_not_of('.') == std::string::npos) name.assign(name.size(), '_');
  return name;
}

AreaRecord* CreateFileecho(RunContext& ctx, const std::string& tag_text, const FtnAddress& creator,
                           const std::string& offered_desc, const std::string& offered_flags) {
  const MainConfig& c = ctx.cfg;
  const std::string tag = Upper(tag_text);
  if (AreaRecord* known = ctx.areas.Find(tag)) return known;
  LinkRecord* link = ctx.links.Find(creator);
  if (!link || !TagMayBeCreated(tag)) {
    ctx.log.Debug('D', "Fileecho %s cannot be created", OneLine(tag).c_str());
    return nullptr;
  }
  ctx.log.Message('#', 1, 34, tag.c_str());
  AreaRecord area;
  area.tag = tag;

  std::string desc;
  if (!c.echo_list_file.empty())
    desc = EchoListDescription(ReadListFile(ctx, c.echo_list_file), tag);
  if (desc.empty() && !c.echo_desc_file.empty())
    desc = EchoDescFileDescription(ReadListFile(ctx, c.echo_desc_file), tag);
  area.subscribers.push_back({link, kModeFull});
  area.address = link->aka;
  ApplyUplinks(ctx, link, &area, &desc);

  if (!c.long_dirs) ctx.log.Debug('D', "Reducing directory name");
  std::string name = NewEchoDirName(tag, c.long_dirs);
  for (char f : Upper(offered_flags)) {
    // The flags are one word of the AREA line.
    if (f == ' ' || IsControl(f) || area.flags.find(f) != std::string::npos) continue;
    area.flags += f;
  }

  std::string base = BaseDirectory(ctx, link, area);
  ctx.log.Debug('D', "Fileecho is to be created in %s", base.c_str());
  (void)ChangeDir(ctx, base);  // names below are full paths anyway
  ctx.log.Debug('D', "Checking for directories with the same name");
  name = FreeDirName(ctx, base, name);
  area.path = JoinPath(base, name) + platform::kSep;
  ctx.log.Debug('D', "Result directory name is %s", area.path.c_str());

  if (desc.empty() && !offered_desc.empty()) {
    desc = offered_desc;
  } else if (desc.empty() && !c.new_desc.empty()) {
    ctx.log.Debug('D', "Using NEWDESC as a description");
    desc = c.new_desc;
    ExpandDescLine("@LINK", FormatAddress(link->address), &desc);
  }
  area.description = CleanDescription(desc);
  area.has_description = !area.description.empty();

  // The side files come before the areas file: until the areas file holds
  // the fileecho, a repeated run picks the same name again and finds its
  // lines already there.
  if (!area.IsPassthrough()) AddDirectoryLines(ctx, area, base, name);
  if (area.group.empty()) area.group = link->group;
  if (area.IsPassthrough()) ctx.areas.purge_mark = true;

  AreaRecord* added = ctx.areas.Add(std::move(area));
  int rc = SaveAreas(ctx);
  if (rc != 0) {
    const std::string areas_file = JoinPath(ctx.home, "olxareas.ini");
    // The ticket stays in the inbound; the next toss creates the fileecho.
    if (CurrentToss(ctx)) TossWriteFailed(ctx, areas_file, rc);
    ctx.log.Message('!', 0, 9, areas_file.c_str(), platform::ErrorText(rc).c_str());
    ctx.areas.Remove(added);
    (void)ChangeDir(ctx, c.inbound);
    return nullptr;
  }
  // Made once the areas file names it: a run interrupted before that leaves
  // no directory to push the next attempt on to name.1. Loading the areas
  // file makes a missing one.
  bool sent_from_elsewhere = !ServedFromAreaDirectories(c);
  if (!(added->IsPassthrough() && sent_from_elsewhere)) CreatePath(added->path);

  for (const AnnounceDefinition& def : c.announces)
    if (!def.new_echo_template.empty())
      NewEchoReport(ctx, added->tag, creator, added->description, def);
  (void)ChangeDir(ctx, c.inbound);
  return added;
}

}  // namespace olvix
