// The steps of the toss after loading: duplicates, placing files, flag
// files and cleaning the inbound.
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

const JournalTicket* JournalOf(RunContext& ctx, const TicRecord& tic) {
  TossState* toss = CurrentToss(ctx);
  return toss ? toss->journal.Find(tic.tic_name) : nullptr;
}

// Copies a duplicate's ticket and file to DUPESDIR; the inbound copies go
// when the toss cleans the inbound.
void MoveToDupes(RunContext& ctx, const TicRecord& tic) {
  const MainConfig& c = ctx.cfg;
  std::vector<std::string> record = {"X", tic.tic_name};
  for (const std::string* name : {&tic.file, &tic.tic_name}) {
    std::string src = JoinPath(c.inbound, *name);
    if (!Exists(src)) continue;
    int rc = CopyToDirectory(ctx.log, src, c.dupes_dir, platform::CopySource::kPlainOnly);
    if (rc != 0) TossWriteFailed(ctx, JoinPath(c.dupes_dir, Lower(*name)), rc);
    if (TossState* toss = CurrentToss(ctx)) toss->set_aside.push_back(*name);
    record.push_back(*name);
  }
  JournalRecord(ctx, record);
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
    auto [it, fresh] = listings.try_emplace(DirectoryKey(dir));
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
  std::string key = DirectoryKey(dir) + "/";
  TossState* toss = CurrentToss(ctx);
  std::vector<platform::DirEntry> found;
  (void)platform::ListDirectory(dir, tic.replaces, false, &found);  // none found: nothing to do
  std::vector<std::string> names;
  for (const platform::DirEntry& e : found) {
    // A mask such as "*" must not take the directory's description file
    // with the files it describes, nor a work file of ours.
    if (EqualsNoCase(e.name, ctx.cfg.desc_name) || platform::IsWorkFileName(e.name)) continue;
    // Only what was there before this run: a file another ticket of the
    // run placed (two nodelist differences in one session) still has to
    // reach the links.
    if (toss && toss->placed_names.count(key + Lower(e.name))) continue;
    if (keep.count(Upper(e.name))) continue;
    ctx.log.Message('.', 2, 40, e.name.c_str());
    names.push_back(e.name);
  }
  if (names.empty()) return;
  // The entries go first: a file deleted with its entry still standing
  // would leave a description of nothing.
  int rc = RemoveDescEntries(ctx, dir, names);
  if (rc != 0 && rc != platform::NotFoundCode())  // a missing description file is fine
    DescWriteFailed(ctx, dir, rc);
  for (const std::string& n : names) (void)DeleteLogged(ctx.log, JoinPath(dir, n));
}

namespace {

// Keeps an older, different file of the same name by renaming it.
int KeepSameName(RunContext& ctx, const TicRecord& tic) {
  std::string dir = DestinationDir(ctx, tic);
  std::string existing = JoinPath(dir, tic.file);
  if (!Exists(existing)) return 0;
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
  if (renamed.empty() || platform::RenamePath(existing, JoinPath(dir, renamed)) != 0) return 0;
  if (ctx.cfg.update_desc) {
    ctx.log.Debug('D', "Move old desc to new location");
    TicRecord old;
    old.file = tic.file;
    ReadDescEntry(ctx, dir, &old);
    if (ctx.cfg.rewrite_desc) {
      old.file = Upper(renamed);
      old.size = static_cast<uint32_t>(FileSizeOf(JoinPath(dir, renamed)));
      int rc = AppendDescEntries(ctx, dir, {&old});
      if (rc != 0) {
        ctx.log.Message('!', 1, 9, JoinPath(dir, ctx.cfg.desc_name).c_str(),
                        platform::ErrorText(rc).c_str());
        return rc;
      }
    }
  }
  return 0;
}

// Places one good ticket's file: REPLACES, the queue copy, an older file of
// the same name kept aside, the copy into its destination. 0 or the error
// number (logged with its path).
//
// `may_link`: no later step needs the inbound copy as a file of its own, so
// the file may enter its fileecho as a second name of the inbound file (on
// one file system) instead of as a copy.
int PlaceOne(RunContext& ctx, const AreaRecord& area, const TicRecord& tic, bool filebox_queue,
             bool may_link) {
  const MainConfig& c = ctx.cfg;
  const JournalTicket* done = JournalOf(ctx, tic);
  auto failed = [&ctx](const std::string& path, int rc) {
    ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return rc;
  };
  if (ReplacesAllowed(ctx, area, tic)) RemoveReplaced(ctx, area, tic, DestinationDir(ctx, tic));
  std::string src = InboundPath(ctx, tic.file);
  if (!c.queue_dir.empty()) {
    ctx.log.Debug('D', "Moving file directly to queue path");
    int rc = CopyToDirectory(ctx.log, src, c.queue_dir, platform::CopySource::kPlainOnly);
    if (rc != 0) return failed(JoinPath(c.queue_dir, Lower(tic.file)), rc);
  }
  if (!area.IsPassthrough() && c.move_to_queue && filebox_queue && !(done && done->kept)) {
    if (int rc = KeepSameName(ctx, tic)) return rc;
    JournalRecord(ctx, {"K", tic.tic_name});
  }
  if (!(area.IsPassthrough() && filebox_queue)) {
    std::string dest = DestinationDir(ctx, tic);
    // A fileecho or [AUTOCOPY] directory the sysop has not made yet is
    // made now rather than failing the whole toss.
    CreatePath(WithTrailingSep(dest));
    std::string target = WithTrailingSep(dest) + Lower(tic.file);
    int rc;
    if (may_link && platform::SamePath(dest, area.path)) {
      ctx.log.Message('.', 4, 5, src.c_str(), target.c_str());
      rc = platform::LinkOrCopyFile(src, target);
    } else {
      rc = CopyToDirectory(ctx.log, src, dest, platform::CopySource::kPlainOnly);
    }
    if (rc != 0) return failed(target, rc);
  }
  // Recorded with the next batch: placing again after a kill puts the same
  // file in the same place.
  if (TossState* toss = CurrentToss(ctx)) toss->placed_records.push_back({"P", tic.tic_name});
  return 0;
}

// Writes the placements noted so far into the journal.
void FlushPlaced(RunContext& ctx) {
  TossState* toss = CurrentToss(ctx);
  if (!toss || toss->placed_records.empty()) return;
  if (int rc = toss->journal.RecordAll(toss->placed_records))
    TossWriteFailed(ctx, toss->journal.path(), rc);
  toss->placed_records.clear();
}

}  // namespace

int CommitText(RunContext& ctx, const std::string& key, const std::string& target,
               const std::string& text, const std::vector<std::string>& tics) {
  if (TossState* toss = CurrentToss(ctx)) return toss->journal.CommitText(key, target, text, tics);
  return platform::ReplaceFile(target, text);
}

bool Covered(RunContext& ctx, const TicRecord& tic, const std::string& key) {
  const JournalTicket* done = JournalOf(ctx, tic);
  return done && done->committed.count(key) != 0;
}

bool MaskMatches(const std::string& mask, const std::string& name) {
  if (name.empty()) return false;
  return mask == "*" || WildMatch(mask, name);
}

bool ServedFromAreaDirectories(const MainConfig& c) {
  return c.queue_dir.empty() && c.attach_style != AttachStyle::kLongFileboxes &&
         c.attach_style != AttachStyle::kBrakeFileboxes;
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
  std::unique_ptr<WideDupeIndex> wide;  // built when first needed
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    if (area.IsPassthrough()) continue;
    for (auto& tic : area.received) {
      if (tic->bad || SkipsDupeCheck(ctx, area, *tic)) continue;
      // A ticket accepted by a toss that did not finish was checked then;
      // now its own placed file would look like a duplicate.
      const JournalTicket* done = JournalOf(ctx, *tic);
      if (done && done->accepted) continue;
      std::vector<std::string> hits;
      std::string dest = DestinationDir(ctx, *tic);
      if (SameFileIn(ctx, dest, *tic)) {
        hits.push_back(area.tag);
      } else if (c.dupe_wide) {
        // The fileecho directories do not change while duplicates are
        // looked for: only DUPESDIR does.
        if (!wide) wide = std::make_unique<WideDupeIndex>(BuildWideDupeIndex(ctx));
        auto it = wide->find(Lower(tic->file));
        if (it != wide->end())
          for (const std::string* dir : it->second)
            if (SameFileIn(ctx, *dir, *tic)) hits.push_back(area.tag);
      }
      for (size_t h = 0; h < hits.size(); ++h) {
        ctx.log.Message('#', 1, 75, tic->file.c_str(), hits[h].c_str());
        tic->bad = true;
        if (h == 0) MoveToDupes(ctx, *tic);
      }
    }
  }
}

int PlaceFiles(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Message('.', 1, 37);
  bool filebox_queue = !ServedFromAreaDirectories(c);
  if (TossState* toss = CurrentToss(ctx)) {
    for (size_t i = 0; i < ctx.areas.size(); ++i)
      for (auto& tic : ctx.areas[i].received)
        if (!tic->bad)
          toss->placed_names.insert(DirectoryKey(DestinationDir(ctx, *tic)) + "/" +
                                    Lower(tic->file));
  }
  // Inbound files that more than one good ticket places are copied: the
  // others still need the inbound file as it came.
  std::unordered_map<std::string, int> users;
  for (size_t i = 0; i < ctx.areas.size(); ++i)
    for (auto& tic : ctx.areas[i].received)
      if (!tic->bad) ++users[Lower(tic->file)];
  // Fileboxes with HARDLINKS take links of the inbound file: the
  // fileecho keeps a copy of its own then.
  const bool links_allowed =
      c.queue_dir.empty() && !c.diz_to_archives && !(c.fileboxes && c.hard_links);
  std::string index_lines;
  std::vector<std::string> indexed;
  const std::string index_path = JoinPath(ctx.home, "olxprg.idx");
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    for (auto& tic : area.received) {
      if (tic->bad) continue;
      const JournalTicket* done = JournalOf(ctx, *tic);
      bool may_link = links_allowed && users[Lower(tic->file)] == 1;
      if (!(done && done->placed) && PlaceOne(ctx, area, *tic, filebox_queue, may_link) != 0) {
        FlushPlaced(ctx);
        return 1;
      }
      if (ctx.areas.purge_mark && !area.IsPassthrough() &&
          (area.size_limit > 0 || area.age_limit > 0) && !Covered(ctx, *tic, "index")) {
        index_lines += Format("%d %s %d %s\n", static_cast<int>(platform::Now()), area.tag.c_str(),
                              static_cast<int>(tic->size), tic->file.c_str());
        indexed.push_back(tic->tic_name);
      }
    }
  }
  FlushPlaced(ctx);
  if (!index_lines.empty()) {
    std::string text;
    int rc = AppendedFileText(index_path, index_lines, &text);
    if (rc == 0) rc = CommitText(ctx, "index", index_path, text, indexed);
    if (rc != 0) {
      ctx.log.Message('!', 1, 9, index_path.c_str(), platform::ErrorText(rc).c_str());
      return 1;
    }
  }
  return 0;
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
  const std::string& inbound = ctx.cfg.inbound;
  // The file before its ticket: an interrupted clean leaves at worst a
  // ticket without its file, which waits for LOSTTICDAYS.
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    for (auto& tic : ctx.areas[i].received) {
      if (delete_files) (void)DeleteLogged(ctx.log, InboundPath(ctx, tic->file));
      (void)DeleteLogged(ctx.log, JoinPath(inbound, tic->tic_name));
    }
  }
  if (TossState* toss = CurrentToss(ctx))
    for (const std::string& name : toss->set_aside)
      (void)DeleteLogged(ctx.log, JoinPath(inbound, name));
}

}  // namespace olvix
