#include "maint/purge.h"

#include <algorithm>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/records.h"
#include "maint/outtics.h"
#include "maint/purge_index.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

using NameSet = std::unordered_set<std::string>;  // upper-cased file names
// Per fileecho: the files that tickets waiting in OUTTICS still send.
using WaitingFiles = std::unordered_map<const AreaRecord*, NameSet>;

// Logs why a waiting ticket stops a clean-up. Without its contents the
// files it still needs are unknown, so nothing may be deleted.
void ReportUnreadable(RunContext& ctx, const std::string& dir, const WaitingTicket& t) {
  ctx.log.Message('!', 1, 0, OneLine(JoinPath(dir, t.name)).c_str(),
                  platform::ErrorText(t.result).c_str());
}

// Loads the files the waiting tickets protect, per fileecho. False when
// PURGE must end (logged).
bool LoadWaitingFiles(RunContext& ctx, WaitingFiles* waiting) {
  const std::string& dir = ctx.cfg.out_tics;
  ctx.log.Message(':', 1, 23);
  (void)ChangeDir(ctx, dir);  // paths below are full ones
  std::vector<WaitingTicket> tickets;
  if (ReadWaitingTickets(ctx, dir, &tickets) == kTicNoMemory) {
    ctx.log.Message('!', 0, 86);
    return false;
  }
  for (const WaitingTicket& t : tickets) {
    ctx.log.Debug('I', "Found file %s", OneLine(t.name).c_str());
    if (TicketUnreadable(t)) {
      ReportUnreadable(ctx, dir, t);
      return false;
    }
    // A damaged ticket that still names its file protects it all the same.
    if (t.file.empty()) continue;
    if (t.result == 0) ctx.log.Debug('I', "TIC is for file %s", OneLine(t.file).c_str());
    if (const AreaRecord* area = ctx.areas.Find(t.area)) (*waiting)[area].insert(Upper(t.file));
  }
  return true;
}

bool IsDescFile(const RunContext& ctx, const std::string& name) {
  return EqualsNoCase(name, ctx.cfg.desc_name);
}

void PurgePassthrough(RunContext& ctx, const AreaRecord& area, const NameSet* waiting) {
  ctx.log.Debug('P', "Passthrow");
  for (const platform::DirEntry& e :
       ListSorted(area.path, "*", false, platform::EntryDetails::kNamesOnly)) {
    std::string shown = OneLine(e.name);
    ctx.log.Debug('I', "Found file %s", shown.c_str());
    ctx.log.Debug('I', "Checking for file presence in TICs data");
    // The sysop's description file is no file of the fileecho.
    if (IsDescFile(ctx, e.name)) continue;
    std::string path = JoinPath(area.path, e.name);
    if (!platform::IsPlainFile(path)) continue;  // a link could lead anywhere
    if (waiting && waiting->count(Upper(e.name))) continue;
    ctx.log.Message('#', 2, 65, shown.c_str());
    (void)RemovePlainFile(ctx, path);  // a failure is logged; the file stays
  }
}

// Chooses the entries of `area` to delete: by size, newest kept first,
// and by age. A file tossed again has several entries; only the newest
// counts, the older ones are dropped, so that the arrival of a new version
// does not count as the age of the old one.
void ChooseByLimits(const AreaRecord& area, std::vector<PurgeEntry>& entries,
                    const std::vector<size_t>& mine, int64_t now, NameSet* doomed, NameSet* kept) {
  std::unordered_map<std::string, size_t> newest;
  newest.reserve(mine.size());
  for (size_t i : mine) {
    auto [it, fresh] = newest.try_emplace(Upper(entries[i].name), i);
    if (!fresh && entries[i].time >= entries[it->second].time) it->second = i;
  }
  std::vector<size_t> order;
  order.reserve(newest.size());
  for (size_t i : mine) {
    if (newest[Upper(entries[i].name)] == i)
      order.push_back(i);
    else
      entries[i].time = 0;
  }
  if (area.size_limit > 0)
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].time > entries[b].time; });
  const uint64_t size_limit = static_cast<uint64_t>(area.size_limit) * 1024;
  const int64_t age_limit = static_cast<int64_t>(area.age_limit) * 86400;
  uint64_t total = 0;
  for (size_t i : order) {
    PurgeEntry& e = entries[i];
    total += e.size;
    bool chosen = area.size_limit > 0 && total > size_limit;
    // An arrival time ahead of the clock (the clock was set back) is no
    // great age.
    if (!chosen && area.age_limit > 0) chosen = now - e.time > age_limit;
    if (chosen) {
      e.time = 0;
      doomed->insert(Upper(e.name));
    } else {
      kept->insert(Upper(e.name));
    }
  }
}

// False when the description file could not be rewritten (logged).
bool PurgeLocal(RunContext& ctx, const AreaRecord& area, std::vector<PurgeEntry>& entries,
                const std::vector<size_t>& mine, const NameSet* waiting, int64_t now) {
  ctx.log.Debug('P', "Normal");
  NameSet doomed, kept;
  ChooseByLimits(area, entries, mine, now, &doomed, &kept);
  NameSet survivors;  // chosen, but the file stays
  for (const platform::DirEntry& e : ListSorted(area.path, "*", false)) {
    std::string shown = OneLine(e.name);
    ctx.log.Debug('I', "Found file %s", shown.c_str());
    if (IsDescFile(ctx, e.name)) continue;
    // A work file left by an interrupted rewrite or copy is no file of the
    // fileecho: it gets no entry that would keep it.
    if (platform::IsWorkFileName(e.name)) continue;
    std::string path = JoinPath(area.path, e.name);
    if (!platform::IsPlainFile(path)) continue;  // a link could lead anywhere
    std::string upper = Upper(e.name);
    bool is_doomed = doomed.count(upper) != 0;
    if (!is_doomed && !kept.count(upper)) {
      if (FitsPurgeIndex(area.tag, e.name)) {
        ctx.log.Debug('I', "Add to purgeindex info about unknown file %s", shown.c_str());
        PurgeEntry fresh;
        fresh.time = now;
        fresh.size = static_cast<uint32_t>(e.size);
        fresh.tag = area.tag;
        fresh.name = e.name;
        entries.push_back(std::move(fresh));
      }
      kept.insert(upper);  // a second spelling of the name gets no second entry
    }
    ctx.log.Debug('I', "Checking for file presence in TICs data");
    if (!is_doomed) continue;
    if (waiting && waiting->count(upper)) {
      survivors.insert(upper);
      continue;
    }
    ctx.log.Message('#', 2, 65, shown.c_str());
    if (RemovePlainFile(ctx, path) != 0) survivors.insert(upper);
  }
  if (!ctx.cfg.update_desc || doomed.empty()) return true;
  // A file that stays keeps its description.
  std::vector<std::string> gone;
  for (const std::string& name : doomed)
    if (!survivors.count(name)) gone.push_back(name);
  if (gone.empty()) return true;
  int rc = RemoveDescEntries(ctx, area.path, gone);
  if (rc == 0 || rc == platform::NotFoundCode()) return true;
  ctx.log.Message('!', 1, 9, JoinPath(area.path, ctx.cfg.desc_name).c_str(),
                  platform::ErrorText(rc).c_str());
  return false;
}

void Purge(RunContext& ctx, const std::string& index_path, const std::string& index_text) {
  const MainConfig& c = ctx.cfg;
  int64_t now = platform::Now();
  std::vector<PurgeEntry> entries = ParsePurgeIndex(index_text, ctx.areas);
  // With a queue or fileboxes the files are sent from there; the queue
  // clean looks after them.
  const bool passthrough = c.queue_dir.empty() && !c.fileboxes;
  WaitingFiles waiting;
  if (passthrough && !LoadWaitingFiles(ctx, &waiting)) return;
  std::unordered_map<std::string, std::vector<size_t>> by_tag;
  for (size_t i = 0; i < entries.size(); ++i) by_tag[Upper(entries[i].tag)].push_back(i);
  const std::vector<size_t> none;
  bool failed = false;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    const AreaRecord& area = ctx.areas[i];
    bool local = !area.IsPassthrough() && (area.size_limit > 0 || area.age_limit > 0);
    if (!(area.IsPassthrough() ? passthrough : local)) continue;
    ctx.log.Message('#', 2, 106, area.tag.c_str(), area.path.c_str());
    (void)ChangeDir(ctx, area.path);  // a missing directory lists nothing below
    auto w = waiting.find(&area);
    const NameSet* protect = w == waiting.end() ? nullptr : &w->second;
    if (area.IsPassthrough()) {
      PurgePassthrough(ctx, area, protect);
    } else {
      auto it = by_tag.find(Upper(area.tag));
      if (!PurgeLocal(ctx, area, entries, it == by_tag.end() ? none : it->second, protect, now))
        failed = true;
    }
  }
  (void)ChangeDir(ctx, ctx.home);
  // Files deleted above whose entries stay because this write failed are
  // chosen again, and dropped, by the next PURGE.
  int rc = WriteFileAtomic(index_path, FormatPurgeIndex(entries));
  if (rc != 0) ctx.log.Message('!', 1, 9, index_path.c_str(), platform::ErrorText(rc).c_str());
  // Cron must learn that the purge is not complete.
  if (failed || rc != 0) Shutdown(ctx, 1);
}

}  // namespace

void PurgeCommand(RunContext& ctx) {
  (void)ChangeDir(ctx, ctx.home);
  std::string index_path = JoinPath(ctx.home, kPurgeIndexName);
  std::string text;
  int err = 0;
  // An index that is there but cannot be read would be replaced by one
  // that has forgotten every arrival.
  if (!ReadWholeFile(index_path, true, &text, &err) && err != platform::NotFoundCode()) {
    ctx.log.Message('!', 1, 0, index_path.c_str(), platform::ErrorText(err).c_str());
    return;
  }
  try {
    Purge(ctx, index_path, text);
  } catch (const std::bad_alloc&) {
    ctx.log.Message('!', 0, 86);
  }
}

void PurgeKeptTics(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Debug('I', "Purging incomming TICs in directory specifyed as KEEPTICS in olvix.ini");
  ctx.log.Message('#', 1, 68);
  (void)ChangeDir(ctx, c.keep_tics);
  int64_t now = platform::Now();
  for (const platform::DirEntry& e : ListSorted(c.keep_tics, "*.tic", false)) {
    std::string shown = OneLine(e.name);
    // A time ahead of the clock gives a negative age: kept.
    int64_t age = (now - e.mtime) / 86400;
    int shown_age = static_cast<int>(std::clamp<int64_t>(age, INT32_MIN, INT32_MAX));
    if (age > c.keep_tics_days) {
      ctx.log.Debug('I', "Decided to delete old TIC \"%s\"", shown.c_str());
      ctx.log.Debug('I', " Reason: TIC age(%d) > then KEEPTICSDAYS(%d)", shown_age,
                    c.keep_tics_days);
      std::string path = JoinPath(c.keep_tics, e.name);
      if (platform::IsPlainFile(path)) (void)DeleteLogged(ctx.log, path);  // logged there
    } else {
      ctx.log.Debug('I', "Decided to keep this TIC \"%s\"", shown.c_str());
      ctx.log.Debug('I', " Reason: TIC age(%d) < then KEEPTICSDAYS(%d)", shown_age,
                    c.keep_tics_days);
    }
  }
}

void QueueClean(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  if (c.queue_dir.empty()) return;
  ctx.log.Message('#', 1, 4);
  (void)ChangeDir(ctx, c.out_tics);
  try {
    std::vector<WaitingTicket> tickets;
    if (ReadWaitingTickets(ctx, c.out_tics, &tickets) == kTicNoMemory) {
      ctx.log.Message('!', 0, 86);
      return;
    }
    NameSet needed;
    needed.reserve(tickets.size());
    for (const WaitingTicket& t : tickets) {
      if (TicketUnreadable(t)) {
        ReportUnreadable(ctx, c.out_tics, t);
        return;
      }
      // A damaged ticket that still names its file keeps it.
      if (!t.file.empty()) needed.insert(Upper(t.file));
    }
    (void)ChangeDir(ctx, c.queue_dir);
    for (const platform::DirEntry& e :
         ListSorted(c.queue_dir, "*", false, platform::EntryDetails::kNamesOnly)) {
      ctx.log.Debug('Z', "QUEUE_CLEAN: found %s", OneLine(e.name).c_str());
      if (needed.count(Upper(e.name))) continue;
      std::string path = JoinPath(c.queue_dir, e.name);
      if (platform::IsPlainFile(path)) (void)DeleteLogged(ctx.log, path);  // logged there
    }
  } catch (const std::bad_alloc&) {
    ctx.log.Message('!', 0, 86);
  }
}

}  // namespace olvix
