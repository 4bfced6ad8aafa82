#include "tic/toss.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "announce/announce.h"
#include "manager/subscribe.h"
#include "outbound/receivers.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/autocreate.h"
#include "tic/descriptions.h"
#include "tic/magic.h"
#include "tic/tic.h"
#include "util/address.h"
#include "util/crc32.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

std::string ReasonText(const TicRecord& tic, const AreaRecord* area, int reason) {
  std::string from = FormatAddress(tic.from);
  const char* tag = area ? area->tag.c_str() : tic.area.c_str();
  switch (reason) {
    case 1:
      return Format("Link %s unknown", from.c_str());
    case 2:
      return Format("Link %s cannot create fechos", from.c_str());
    case 3:
      return Format("Link %s is not in the same group with fileecho %s", from.c_str(), tag);
    case 4:
      return Format("Link %s has not enough security for %s", from.c_str(), tag);
    case 5:
      return Format("Link %s cannot write to fileecho %s", from.c_str(), tag);
    case 6:
      return Format("Link %s is in Read-Only status", from.c_str());
    case 7:
      return Format("Unexpected password \"%s\" for Link %s", tic.password.c_str(), from.c_str());
    case 8:
      return "Invalid CRC-32";
    default:
      return "Invalid file name";
  }
}

bool HasControlOrBlank(const std::string& name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) <= 32) return true;
  return false;
}

// A REPLACES mask may hold wildcards but must stay inside the directory.
bool IsSafeMask(const std::string& mask) { return mask.empty() || IsBareFileName(mask); }

// The file can be read and is completely received. Only a plain file
// counts: a directory could never be copied, so its ticket would end every
// later toss, and a symbolic link could take in a file from anywhere.
bool FilePresent(const std::string& path) {
  return platform::IsPlainFile(path) && !platform::IsHidden(path);
}

// What the toss needs of a received file, in one opening of it: whether it
// is a plain, complete file, its size and (`with_crc`) its CRC-32.
struct InboundFile {
  bool present = false;
  uint32_t size = 0;
  uint32_t crc = 0;
};

InboundFile Inspect(const std::string& path, bool with_crc) {
  InboundFile f;
  if (platform::IsHidden(path)) return f;
  platform::FileInfo info;
  uint32_t crc = 0xFFFFFFFFu;
  int rc;
  if (with_crc) {
    rc = platform::ReadFileChunks(
        path, platform::CopySource::kPlainOnly,
        [&crc](const char* data, size_t n) { crc = Crc32Update(crc, data, n); }, &info);
  } else {
    info = platform::Stat(path);
    rc = info.exists && !info.is_dir && platform::IsPlainFile(path) ? 0 : platform::kNotPlainFile;
  }
  if (rc != 0) return f;
  f.present = true;
  f.size = static_cast<uint32_t>(info.size);
  f.crc = ~crc;
  return f;
}

bool IsUsableName(const RunContext& ctx, const std::string& name) {
  return IsBareFileName(name) && !HasControlOrBlank(name) &&
         !EqualsNoCase(name, ctx.cfg.desc_name) && !platform::IsWorkFileName(Lower(name));
}

// Names a link sends that the toss cannot use: a FILE that would leave the
// inbound or clash with a file of our own, a ticket name no line can carry,
// REPLACES and MAGIC values with a path in them.
bool HasSafeNamesAndMasks(const RunContext& ctx, const TicRecord& tic) {
  return IsUsableName(ctx, tic.file) && !HasControlOrBlank(tic.tic_name) &&
         IsSafeMask(tic.replaces) && IsSafeMask(tic.magic);
}

// A name for the copy in BADPATH that stands on one line and in one
// directory whatever the link sent, and is none of our own names there.
std::string BadCopyName(const RunContext& ctx, const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (static_cast<unsigned char>(c) <= 32 || platform::IsSep(c) || c == ':') c = '_';
  if (out.empty() || out == "." || out == "..") return std::string(1, '_');
  if (EqualsNoCase(out, ctx.cfg.desc_name) || platform::IsWorkFileName(Lower(out))) out += '_';
  return out;
}

void LogSummary(RunContext& ctx, const TicRecord& tic) {
  Log& log = ctx.log;
  log.Message(':', 2, 25, tic.tic_name.c_str());
  log.Message(':', 2, 26, tic.file.c_str());
  for (const std::string& d : tic.desc_list) log.Message(':', 3, 117, d.c_str());
  log.Message(':', 4, 27, static_cast<int>(tic.size));
  log.Message(':', 2, 28, tic.area.c_str());
  if (!tic.area_desc.empty()) log.Message(':', 3, 29, tic.area_desc.c_str());
  if (!tic.magic.empty()) log.Message(':', 4, 30, tic.magic.c_str());
  if (!tic.replaces.empty()) log.Message(':', 4, 31, tic.replaces.c_str());
  log.Message(':', 3, 32, FormatAddress(tic.origin).c_str());
  log.Message(':', 3, 33, FormatAddress(tic.from).c_str());
}

// Notes an inbound name for deletion at the end of the toss.
void SetAside(RunContext& ctx, const std::string& name) {
  if (TossState* toss = CurrentToss(ctx)) toss->set_aside.push_back(name);
}

// The directories the toss writes into, where a killed run may have left
// temporary files.
std::vector<std::string> WrittenDirectories(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  std::vector<std::string> dirs = {ctx.home,    c.inbound,    c.bad_path,
                                   c.dupes_dir, c.queue_dir,  c.keep_tics,
                                   c.out_tics,  c.packet_dir, c.announce_path};
  std::unordered_set<std::string> seen;
  for (size_t i = 0; i < ctx.areas.size(); ++i) dirs.push_back(ctx.areas[i].path);
  for (const TripleRecord& e : c.autocopy) dirs.push_back(e.rest);
  for (const std::string& d : OutboundDirectories(ctx)) dirs.push_back(d);
  std::vector<std::string> out;
  for (const std::string& d : dirs) {
    if (d.empty()) continue;
    if (seen.insert(Lower(platform::NormalizePath(d))).second) out.push_back(d);
  }
  return out;
}

}  // namespace

TossState* CurrentToss(RunContext& ctx) { return ctx.toss; }

void JournalRecord(RunContext& ctx, const std::vector<std::string>& words) {
  TossState* toss = CurrentToss(ctx);
  if (!toss) return;
  int rc = toss->journal.Record(words);
  if (rc != 0) TossWriteFailed(ctx, toss->journal.path(), rc);
}

std::string InboundPath(RunContext& ctx, const std::string& name) {
  TossState* toss = CurrentToss(ctx);
  if (toss && toss->inbound_listed) {
    auto it = toss->inbound_names.find(Lower(name));
    if (it != toss->inbound_names.end()) return JoinPath(ctx.cfg.inbound, it->second);
    return JoinPath(ctx.cfg.inbound, name);  // not there when the toss began
  }
  return platform::NativePath(JoinPath(ctx.cfg.inbound, name));
}

void TossWriteFailed(RunContext& ctx, const std::string& path, int error) {
  ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(error).c_str());
  ctx.log.Message('!', 1, 70);
  Shutdown(ctx, 1);
}

bool IsUsableFileName(const RunContext& ctx, const std::string& name) {
  return IsUsableName(ctx, name);
}

void RejectTic(RunContext& ctx, TicRecord& tic, int reason) {
  const MainConfig& c = ctx.cfg;
  AreaRecord* area = ctx.areas.Find(tic.area);
  std::string text = OneLine(ReasonText(tic, area, reason));
  std::string tic_name = OneLine(tic.tic_name);
  ctx.log.Message('!', 1, 22, tic_name.c_str(), text.c_str());
  ctx.log.Debug('D', "Copying file to bad files directory");
  // Only copies now: the inbound copies go when the toss cleans the
  // inbound, so that a file another ticket of the run names stays for it.
  std::vector<std::string> record = {"X", tic.tic_name};
  auto copy = [&](const std::string& name) {
    std::string src = name == tic.file ? InboundPath(ctx, name) : JoinPath(c.inbound, name);
    if (!FilePresent(src)) return;
    std::string placed;
    int rc = CopyToFreeName(ctx.log, src, c.bad_path, BadCopyName(ctx, name),
                            platform::CopySource::kPlainOnly, &placed);
    if (rc == platform::kNotPlainFile) {
      ctx.log.Message('!', 1, 0, src.c_str(), platform::ErrorText(rc).c_str());
      return;
    }
    if (rc != 0) TossWriteFailed(ctx, JoinPath(c.bad_path, BadCopyName(ctx, name)), rc);
    SetAside(ctx, name);
    record.push_back(name);
  };
  if (reason != kRejectBadName || IsBareFileName(tic.file)) copy(tic.file);
  copy(tic.tic_name);
  tic.bad = true;
  if (c.update_desc) {
    ctx.log.Debug('D', "Updating description file");
    std::string file = OneLine(tic.file);
    std::string lines =
        file + " " + text + "\n" + tic_name + " " + text + " for file " + file + "\n";
    std::string path = JoinPath(c.bad_path, c.desc_name);
    int rc = AppendFileAtomic(path, lines);
    if (rc != 0) TossWriteFailed(ctx, path, rc);
  }
  JournalRecord(ctx, record);
}

int CheckTic(RunContext& ctx, TicRecord& tic, AreaRecord** area_out, const uint32_t* file_crc) {
  ctx.log.Message(':', 2, 35);
  LinkRecord* link = ctx.links.Find(tic.from);
  AreaRecord* area = ctx.areas.Find(tic.area);
  auto reject = [&](int reason) {
    RejectTic(ctx, tic, reason);
    return 1;
  };
  if (!link) return reject(1);
  if (!area) {
    if (!link->may_create || !TagMayBeCreated(tic.area)) return reject(2);
    // Without the areas file written the ticket waits in the inbound.
    if (!CreateFileecho(ctx, tic.area, tic.from, tic.area_desc, "")) return 1;
    area = ctx.areas.Find(tic.area);
  }
  bool same_group = false;
  for (char g : link->group)
    if (area->group.find(g) != std::string::npos) same_group = true;
  if (!same_group) return reject(3);
  if (area->write_level > link->level) return reject(4);
  Subscriber* sub = area->FindSubscriber(link);
  if (!sub && ctx.cfg.single_uplink && !UnsubscribeUplink(ctx, *area, *link)) {
    // The letter to the uplink could not be written: the ticket stays in
    // the inbound, and the next toss asks again.
    ctx.log.Message('!', 1, 70);
    Shutdown(ctx, 1);
  }
  if (!sub || sub->mode == kModeReadOnly) return reject(5);
  if (link->HasOption('O')) return reject(6);
  if (tic.password.empty() || !EqualsNoCase(tic.password, link->password)) return reject(7);
  if (ctx.cfg.verify_crc) {
    uint32_t crc = file_crc ? *file_crc : FileCrc32(ctx.files, InboundPath(ctx, tic.file));
    if (tic.crc == 0)
      tic.crc = crc;
    else if (tic.crc != crc)
      return reject(8);
  }
  *area_out = area;
  return 0;
}

void LoadTics(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  TossState* toss = CurrentToss(ctx);
  int64_t now = platform::Now();
  ctx.log.Message(':', 1, 23);
  (void)ChangeDir(ctx, c.inbound);  // names below are full paths anyway
  // One listing of the whole inbound: the tickets, and the files they name
  // in whatever case.
  std::vector<platform::DirEntry> all;
  (void)platform::ListDirectory(c.inbound, "*", false, &all,
                                platform::EntryDetails::kNamesOnly);  // missing: empty
  std::vector<platform::DirEntry> entries;
  for (platform::DirEntry& e : all) {
    if (toss) {
      auto [it, fresh] = toss->inbound_names.try_emplace(Lower(e.name), e.name);
      if (!fresh && e.name < it->second) it->second = e.name;
    }
    if (platform::NameMatches("*.tic", e.name)) entries.push_back(std::move(e));
  }
  if (toss) toss->inbound_listed = true;
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  // Tickets of this run by area and file name, to find a second ticket for
  // the same file without walking the area's list.
  std::unordered_map<const AreaRecord*, std::unordered_map<std::string, size_t>> seen;

  for (const platform::DirEntry& entry : entries) {
    ctx.log.Debug('D', "Found %s", OneLine(entry.name).c_str());
    const JournalTicket* done = toss ? toss->journal.Find(entry.name) : nullptr;
    if (done && done->set_aside) {
      // Copied aside before the kill; only the deletion is left.
      for (const std::string& name : done->set_aside_names) SetAside(ctx, name);
      continue;
    }
    auto tic = std::make_unique<TicRecord>();
    int rc = ReadTic(ctx, JoinPath(c.inbound, entry.name), tic.get());
    tic->tic_name = entry.name;
    if (rc == kTicNoMemory) {
      ctx.log.Message('!', 1, 86);
      break;
    }
    if (rc != 0) {
      if (rc == platform::kNotPlainFile)
        ctx.log.Message('!', 1, 0, OneLine(entry.name).c_str(), platform::ErrorText(rc).c_str());
      ctx.log.Debug('D', "TIC reading failed");
      continue;
    }
    std::string upper_name = Upper(tic->file);
    AreaRecord* area = nullptr;
    if (done && done->accepted && (area = ctx.areas.Find(done->area)) != nullptr) {
      // Accepted by a toss that did not finish: its checks were passed
      // then, and looking again would take the file it placed for a
      // duplicate.
      tic->crc = done->crc;
      tic->size = done->size;
      if (!done->placed && !FilePresent(InboundPath(ctx, tic->file))) {
        ctx.log.Message('!', 3, 24, tic->file.c_str());
        continue;
      }
    } else {
      if (!HasSafeNamesAndMasks(ctx, *tic)) {
        RejectTic(ctx, *tic, kRejectBadName);
        continue;
      }
      ctx.log.Debug('D', "Checking file existence");
      std::string in_path = InboundPath(ctx, tic->file);
      InboundFile file = Inspect(in_path, c.verify_crc);
      if (!file.present && !c.bad_path.empty() && c.search_bads) {
        ctx.log.Message('.', 3, 116, tic->file.c_str());
        std::string bad = JoinPath(c.bad_path, tic->file);
        if (FilePresent(bad) &&
            CopyToDirectory(ctx.log, bad, c.inbound, platform::CopySource::kPlainOnly) == 0) {
          (void)DeleteLogged(ctx.log, bad);
          in_path = JoinPath(c.inbound, Lower(tic->file));
          if (toss) toss->inbound_names[Lower(tic->file)] = FilePart(in_path);
        }
        file = Inspect(in_path, c.verify_crc);
      }
      if (!file.present) {
        ctx.log.Message('!', 3, 24, tic->file.c_str());
        int64_t mtime = platform::Stat(JoinPath(c.inbound, entry.name)).mtime;
        if ((now - mtime) / 86400 >= c.lost_tic_days)
          (void)DeleteLogged(ctx.log, JoinPath(c.inbound, entry.name));
        continue;
      }
      tic->size = file.size;
      if (CheckTic(ctx, *tic, &area, c.verify_crc ? &file.crc : nullptr) != 0) continue;
      if (!c.keep_tics.empty()) {
        int krc = CopyToDirectory(ctx.log, JoinPath(c.inbound, entry.name), c.keep_tics,
                                  platform::CopySource::kPlainOnly);
        if (krc != 0) TossWriteFailed(ctx, JoinPath(c.keep_tics, Lower(entry.name)), krc);
      }
    }

    auto& by_name = seen[area];
    auto it = by_name.find(upper_name);
    if (it != by_name.end()) {
      ctx.log.Debug('D', "We have found a dupe TIC");
      std::unique_ptr<TicRecord>& earlier = area->received[it->second];
      uint32_t crc = c.verify_crc ? tic->crc : FileCrc32(ctx.files, InboundPath(ctx, tic->file));
      if (crc == earlier->crc) {
        SetAside(ctx, tic->tic_name);  // a repetition: its file is the earlier one's
        JournalRecord(ctx, {"X", tic->tic_name, tic->tic_name});
      } else {
        SetAside(ctx, earlier->tic_name);
        JournalRecord(ctx, {"X", earlier->tic_name, earlier->tic_name});
        earlier = std::move(tic);
      }
      continue;
    }
    by_name.emplace(upper_name, area->received.size());
    LogSummary(ctx, *tic);
    area->received.push_back(std::move(tic));
  }
}

void Toss(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  (void)ChangeDir(ctx, c.inbound);
  auto owner = std::make_unique<TossState>();
  TossState& toss = *owner;
  int error = 0;
  switch (toss.journal.Open(ctx, WrittenDirectories(ctx), &error)) {
    case TossJournal::OpenResult::kBusy:
      // Another copy is tossing this inbound right now; tossing it twice
      // at once could only send files twice.
      ctx.log.Message('!', 1, 74);
      return;
    case TossJournal::OpenResult::kFailed:
      TossWriteFailed(ctx, toss.journal.path(), error);
    case TossJournal::OpenResult::kOpened:
      break;
  }
  ctx.toss = &toss;
  for (const std::string& address : toss.journal.delayed_links())
    if (LinkRecord* link = ctx.links.Find(ParseAddress(address))) link->delayed_attach = true;
  JournalRecord(ctx, {"H", std::to_string(platform::ProcessId())});

  LoadTics(ctx);
  if (!c.dupes_dir.empty()) DupeCheck(ctx);
  // From here on the run's tickets are known: a toss taking over after a
  // kill goes on with exactly these.
  std::vector<std::vector<std::string>> accepted;
  for (size_t i = 0; i < ctx.areas.size(); ++i)
    for (auto& tic : ctx.areas[i].received) {
      const JournalTicket* done = toss.journal.Find(tic->tic_name);
      if (tic->bad || (done && done->accepted)) continue;
      accepted.push_back({"A", tic->tic_name, ctx.areas[i].tag, Format("%08X", tic->crc),
                          std::to_string(tic->size)});
    }
  if (int rc = toss.journal.RecordAll(accepted)) TossWriteFailed(ctx, toss.journal.path(), rc);
  if (c.diz_from_archives) ExtractDizFromArchives(ctx);
  if (PlaceFiles(ctx) != 0) {
    ctx.log.Message('!', 1, 70);
    Shutdown(ctx, 1);
  }
  if (c.diz_to_archives) AddDizToArchives(ctx);
  if (c.desc_limit != 0) {
    for (size_t i = 0; i < ctx.areas.size(); ++i)
      for (auto& tic : ctx.areas[i].received)
        if (!tic->bad) CutDescriptions(ctx, tic.get());
  }
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    auto& list = ctx.areas[i].received;
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return Upper(a->file) < Upper(b->file); });
  }
  if (c.update_desc) {
    auto destination = [&ctx](const AreaRecord&, const TicRecord& tic) {
      return DestinationDir(ctx, tic);
    };
    if (c.rewrite_desc) DeleteOldDescriptions(ctx, destination);
    WriteNewDescriptions(ctx, destination);
  }
  AnnounceNewFiles(ctx);
  if (!c.magic_file.empty()) UpdateMagicNames(ctx);
  if (!c.autostart.empty()) Autostart(ctx);
  if (!c.autoflags.empty()) TouchAutoFlags(ctx);
  (void)ChangeDir(ctx, ctx.home);
  (void)SendToLinks(ctx);  // a failed write has ended the toss there
  (void)ChangeDir(ctx, c.inbound);
  // Nothing leaves the inbound before everything written is on disk.
  int rc = platform::SyncFileSystems(WrittenDirectories(ctx));
  if (rc != 0) TossWriteFailed(ctx, ctx.home, rc);
  CleanInbound(ctx, true);
  toss.journal.Finish();
  ctx.toss = nullptr;
}

}  // namespace olvix
