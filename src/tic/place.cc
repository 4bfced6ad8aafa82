// The steps of the toss after loading: duplicates, placing files, cutting
// descriptions, flag files and cleaning the inbound.
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

bool MaskMatches(const std::string& mask, const std::string& name) {
  if (name.empty()) return false;
  return mask == "*" || WildMatch(mask, name);
}

// A file of this name exists in `dir` and has the CRC `crc`.
bool SameFileIn(RunContext& ctx, const std::string& dir, const TicRecord& tic) {
  std::string path = JoinPath(dir, tic.file);
  if (!Exists(path)) return false;
  return FileCrc32(ctx.files, path) == tic.crc;
}

bool SkipsDupeCheck(const RunContext& ctx, const AreaRecord& area, const TicRecord& tic) {
  for (const SkipDupeRecord& s : ctx.cfg.skip_dupe_check)
    if ((s.tag == "*" || s.tag == area.tag) && MaskMatches(s.mask, tic.file)) return true;
  return false;
}

// Moves a duplicate's ticket and file to DUPESDIR. The file is only copied
// when another good ticket of the run still has to place it.
void MoveToDupes(RunContext& ctx, const TicRecord& tic, bool file_needed) {
  const MainConfig& c = ctx.cfg;
  for (const std::string* name : {&tic.file, &tic.tic_name}) {
    std::string src = JoinPath(c.inbound, *name);
    if (!Exists(src) || CopyToDirectory(ctx.log, src, c.dupes_dir) != 0) continue;
    if (name == &tic.file && file_needed) continue;
    (void)DeleteLogged(ctx.log, src);
  }
}

// DUPEWIDE looks for every ticket's file in the directory of every local
// fileecho and every [AUTOCOPY] entry. Instead of a lookup per ticket and
// directory, each directory is listed once: lower-cased file name -> the
// directories holding it, in the order of the search (fileechoes in table
// order, then the [AUTOCOPY] entries). A directory shared by several
// fileechoes appears once for each of them, as the search would find it.
using WideDupeIndex = std::unordered_map<std::string, std::vector<const std::string*>>;

WideDupeIndex BuildWideDupeIndex(const RunContext& ctx) {
  std::unordered_map<std::string, std::vector<std::string>> listings;
  WideDupeIndex index;
  auto add = [&](const std::string& dir) {
    std::string key = Lower(platform::NormalizePath(dir));
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    auto [it, fresh] = listings.try_emplace(key);
    if (fresh) {
      std::vector<platform::DirEntry> entries;
      (void)platform::ListDirectory(dir, "*", false, &entries);  // missing: holds nothing
      std::unordered_set<std::string> names;
      for (const platform::DirEntry& e : entries)
        if (names.insert(Lower(e.name)).second) it->second.push_back(Lower(e.name));
    }
    for (const std::string& name : it->second) index[name].push_back(&dir);
  };
  for (size_t j = 0; j < ctx.areas.size(); ++j)
    if (!ctx.areas[j].IsPassthrough()) add(ctx.areas[j].path);
  for (const TripleRecord& e : ctx.cfg.autocopy) add(e.rest);
  return index;
}

}  // namespace

bool ReplacesAllowed(const RunContext& ctx, const AreaRecord& area, const TicRecord& tic) {
  const MainConfig& c = ctx.cfg;
  if (area.IsPassthrough() || tic.replaces.empty()) return false;
  for (const std::string& no : c.no_replace)
    if (EqualsNoCase(no, tic.replaces)) return false;
  bool wild = ContainsAny(tic.replaces, "*?");
  if (c.replaces_mode == 0 || (c.replaces_mode == 2 && wild)) return false;
  if (area.flags.find('R') != std::string::npos) return false;
  const LinkRecord* from = ctx.links.Find(tic.from);
  if (from && from->HasOption('R')) return false;
  return true;
}

void RemoveReplaced(RunContext& ctx, const AreaRecord& area, const TicRecord& tic,
                    const std::string& dir, const std::unordered_set<std::string>& keep) {
  ctx.log.Message('.', 2, 47, tic.replaces.c_str(), area.tag.c_str());
  std::vector<platform::DirEntry> found;
  (void)platform::ListDirectory(dir, tic.replaces, false, &found);  // none found: nothing to do
  std::vector<std::string> names;
  for (const platform::DirEntry& e : found) {
    // A mask such as "*" must not take the directory's description file
    // with the files it describes.
    if (EqualsNoCase(e.name, ctx.cfg.desc_name) || keep.count(Upper(e.name))) continue;
    ctx.log.Message('.', 2, 40, e.name.c_str());
    names.push_back(e.name);
  }
  if (names.empty()) return;
  (void)RemoveDescEntries(ctx, dir, names);  // a missing description file is fine
  for (const std::string& n : names) (void)DeleteLogged(ctx.log, JoinPath(dir, n));
}

namespace {

// Keeps an older, different file of the same name by renaming it.
void KeepSameName(RunContext& ctx, const TicRecord& tic) {
  std::string dir = DestinationDir(ctx, tic);
  std::string existing = JoinPath(dir, tic.file);
  if (!Exists(existing)) return;
  ctx.log.Debug('D', "Found different file with same name %s", tic.file.c_str());
  std::string on_disk = FilePart(platform::NativePath(existing));
  std::string renamed;
  for (int n = 1; n < 100000; ++n) {
    std::string candidate = TildeName(on_disk, n);
    if (!Exists(JoinPath(dir, candidate))) {
      renamed = candidate;
      break;
    }
  }
  if (renamed.empty() || platform::RenamePath(existing, JoinPath(dir, renamed)) != 0) return;
  if (ctx.cfg.update_desc) {
    ctx.log.Debug('D', "Move old desc to new location");
    TicRecord old;
    old.file = tic.file;
    ReadDescEntry(ctx, dir, &old);
    if (ctx.cfg.rewrite_desc) {
      old.file = Upper(renamed);
      old.size = static_cast<uint32_t>(FileSizeOf(JoinPath(dir, renamed)));
      (void)AppendDescEntries(ctx, dir, {&old});  // failures are logged there
    }
  }
}

}  // namespace

std::string TildeName(const std::string& name, int n) {
  std::string suffix = "~" + std::to_string(n);
  if (suffix.size() >= name.size()) return suffix;
  return name.substr(0, name.size() - suffix.size()) + suffix;
}

std::string DestinationDir(RunContext& ctx, const std::string& file, const std::string& magic,
                           const std::string& area_tag) {
  ctx.log.Debug('D', "Getting file destination path");
  for (const TripleRecord& e : ctx.cfg.autocopy) {
    if (!(MaskMatches(e.first, file) || MaskMatches(e.first, magic))) continue;
    if (e.second == area_tag || (!e.second.empty() && e.second[0] == '*')) return e.rest;
  }
  const AreaRecord* area = ctx.areas.Find(area_tag);
  return area ? area->path : std::string();
}

std::string DestinationDir(RunContext& ctx, const TicRecord& tic) {
  return DestinationDir(ctx, tic.file, tic.magic, tic.area);
}

void DupeCheck(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  // Good tickets per upper-cased file name: one inbound file may serve
  // tickets of several fileechoes.
  std::unordered_map<std::string, int> users;
  for (size_t i = 0; i < ctx.areas.size(); ++i)
    for (const auto& tic : ctx.areas[i].received)
      if (!tic->bad) ++users[Upper(tic->file)];
  std::unique_ptr<WideDupeIndex> wide;  // built when first needed
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    if (area.IsPassthrough()) continue;
    for (auto& tic : area.received) {
      if (tic->bad || SkipsDupeCheck(ctx, area, *tic)) continue;
      std::vector<std::string> hits;
      std::string dest = DestinationDir(ctx, *tic);
      if (SameFileIn(ctx, dest, *tic)) {
        hits.push_back(area.tag);
      } else if (c.dupe_wide) {
        // The fileecho directories do not change while duplicates are
        // looked for: only the inbound and DUPESDIR do.
        if (!wide) wide = std::make_unique<WideDupeIndex>(BuildWideDupeIndex(ctx));
        auto it = wide->find(Lower(tic->file));
        if (it != wide->end())
          for (const std::string* dir : it->second)
            if (SameFileIn(ctx, *dir, *tic)) hits.push_back(area.tag);
      }
      for (size_t h = 0; h < hits.size(); ++h) {
        ctx.log.Message('#', 1, 75, tic->file.c_str(), hits[h].c_str());
        tic->bad = true;
        if (h == 0) MoveToDupes(ctx, *tic, --users[Upper(tic->file)] > 0);
      }
    }
  }
}

int PlaceFiles(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Message('.', 1, 37);
  std::FILE* index = nullptr;
  if (ctx.areas.purge_mark) index = ctx.files.Open(JoinPath(ctx.home, "olxprg.idx"), "a");
  bool filebox_queue = c.attach_style == AttachStyle::kLongFileboxes ||
                       c.attach_style == AttachStyle::kBrakeFileboxes || !c.queue_dir.empty();
  int result = 0;
  for (size_t i = 0; i < ctx.areas.size() && result == 0; ++i) {
    AreaRecord& area = ctx.areas[i];
    for (auto& tic : area.received) {
      if (tic->bad) continue;
      if (ReplacesAllowed(ctx, area, *tic))
        RemoveReplaced(ctx, area, *tic, DestinationDir(ctx, *tic));
      std::string src = JoinPath(c.inbound, tic->file);
      if (!c.queue_dir.empty()) {
        ctx.log.Debug('D', "Moving file directly to queue path");
        if (CopyToDirectory(ctx.log, src, c.queue_dir) != 0) {
          result = 1;
          break;
        }
      }
      if (!area.IsPassthrough() && c.move_to_queue && filebox_queue) KeepSameName(ctx, *tic);
      if (!(area.IsPassthrough() && filebox_queue)) {
        std::string dest = DestinationDir(ctx, *tic);
        // A fileecho or [AUTOCOPY] directory the sysop has not made yet is
        // made now rather than failing the whole toss.
        if (!platform::IsDirectory(dest)) CreatePath(WithTrailingSep(dest));
        if (CopyToDirectory(ctx.log, src, dest) != 0) {
          result = 1;
          break;
        }
      }
      if (index && !area.IsPassthrough() && (area.size_limit > 0 || area.age_limit > 0))
        std::fprintf(index, "%d %s %d %s\n", static_cast<int>(platform::Now()), area.tag.c_str(),
                     static_cast<int>(tic->size), tic->file.c_str());
    }
  }
  if (index && ctx.files.Close(index) != 0)
    ctx.log.Message('!', 1, 9, "olxprg.idx", platform::ErrorText(28).c_str());
  return result;
}

void TouchAutoFlags(RunContext& ctx) {
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    for (const TripleRecord& e : ctx.cfg.autoflags) {
      if (!(e.second == area.tag || (!e.second.empty() && e.second[0] == '*'))) continue;
      for (auto& tic : area.received) {
        if (tic->bad) continue;
        if (!MaskMatches(e.first, tic->file) && !MaskMatches(e.first, tic->magic)) continue;
        std::string flag = ctx.Path(e.rest);
        if (std::FILE* f = ctx.files.OpenQuiet(flag, "a", nullptr)) (void)ctx.files.Close(f);
      }
    }
  }
}

void CleanInbound(RunContext& ctx, bool delete_files) {
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    for (auto& tic : ctx.areas[i].received) {
      (void)DeleteLogged(ctx.log, JoinPath(ctx.cfg.inbound, tic->tic_name));
      if (delete_files) (void)DeleteLogged(ctx.log, JoinPath(ctx.cfg.inbound, tic->file));
    }
  }
}

}  // namespace olvix
