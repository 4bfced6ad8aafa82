#include "tic/toss.h"

#include <algorithm>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "announce/announce.h"
#include "outbound/receivers.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/address.h"
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

// A REPLACES mask may hold wildcards but must stay inside the directory.
bool IsSafeMask(const std::string& mask) { return mask.empty() || IsBareFileName(mask); }

// Tickets whose FILE, REPLACES or MAGIC would name something outside the
// inbound or the fileecho directory are refused before the file is touched.
bool HasSafeNames(const TicRecord& tic) {
  return IsBareFileName(tic.file) && IsSafeMask(tic.replaces) && IsSafeMask(tic.magic);
}

// The file can be read and is completely received. Only a plain file
// counts: a directory could never be copied, so its ticket would end every
// later toss, and a symbolic link could take in a file from anywhere.
bool FilePresent(const std::string& path) {
  if (!platform::IsPlainFile(path) || platform::IsHidden(path)) return false;
  int err = 0;
  std::FILE* f = platform::OpenStream(path, "rb", &err);
  if (!f) return false;
  std::fclose(f);
  return true;
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

// Copies `name` from `from_dir` into `to_dir` and, for kMove, deletes the
// original when the copy succeeded. A failed copy leaves the file where it
// was.
void MoveInto(RunContext& ctx, const std::string& from_dir, const std::string& name,
              const std::string& to_dir, InboundFile mode = InboundFile::kMove) {
  std::string src = JoinPath(from_dir, name);
  if (!Exists(src)) return;
  if (CopyToDirectory(ctx.log, src, to_dir) == 0 && mode == InboundFile::kMove)
    (void)DeleteLogged(ctx.log, src);
}

}  // namespace

void RejectTic(RunContext& ctx, TicRecord& tic, int reason, InboundFile file) {
  const MainConfig& c = ctx.cfg;
  AreaRecord* area = ctx.areas.Find(tic.area);
  std::string text = ReasonText(tic, area, reason);
  ctx.log.Message('!', 1, 22, tic.tic_name.c_str(), text.c_str());
  ctx.log.Debug('D', "Copying file to bad files directory");
  if (reason != kRejectBadName || IsBareFileName(tic.file))
    MoveInto(ctx, c.inbound, tic.file, c.bad_path, file);
  MoveInto(ctx, c.inbound, tic.tic_name, c.bad_path);
  tic.bad = true;
  if (c.update_desc) {
    ctx.log.Debug('D', "Updating description file");
    int err = 0;
    std::FILE* f = platform::OpenStream(JoinPath(c.bad_path, c.desc_name), "a", &err);
    if (f) {
      std::fprintf(f, "%s %s\n", tic.file.c_str(), text.c_str());
      std::fprintf(f, "%s %s for file %s\n", tic.tic_name.c_str(), text.c_str(), tic.file.c_str());
      std::fclose(f);
    }
  }
}

int CheckTic(RunContext& ctx, TicRecord& tic, AreaRecord** area_out, InboundFile file) {
  ctx.log.Message(':', 2, 35);
  LinkRecord* link = ctx.links.Find(tic.from);
  AreaRecord* area = ctx.areas.Find(tic.area);
  auto reject = [&](int reason) {
    RejectTic(ctx, tic, reason, file);
    return 1;
  };
  if (!link) return reject(1);
  if (!area) {
    if (!link->may_create) return reject(2);
    // Fileechoes are not created automatically by this build: the ticket
    // waits in the inbound for the sysop to add the fileecho.
    ctx.log.Message('!', 1, 91, tic.area.c_str());
    return 1;
  }
  bool same_group = false;
  for (char g : link->group)
    if (area->group.find(g) != std::string::npos) same_group = true;
  if (!same_group) return reject(3);
  if (area->write_level > link->level) return reject(4);
  Subscriber* sub = area->FindSubscriber(link);
  if (!sub || sub->mode == kModeReadOnly) return reject(5);
  if (link->HasOption('O')) return reject(6);
  if (tic.password.empty() || !EqualsNoCase(tic.password, link->password)) return reject(7);
  if (ctx.cfg.verify_crc) {
    uint32_t crc = FileCrc32(ctx.files, JoinPath(ctx.cfg.inbound, tic.file));
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
  int64_t now = platform::Now();
  ctx.log.Message(':', 1, 23);
  (void)ChangeDir(ctx, c.inbound);  // names below are full paths anyway
  std::vector<platform::DirEntry> entries =
      ScanDirectory(JoinPath(c.inbound, "*.tic"), ScanMode::kFiles);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  // Tickets of this run by area and file name, to find a second ticket for
  // the same file without walking the area's list.
  std::unordered_map<const AreaRecord*, std::unordered_map<std::string, size_t>> seen;
  // Upper-cased names of the files that accepted tickets still have to place.
  std::unordered_set<std::string> claimed;

  for (const platform::DirEntry& entry : entries) {
    ctx.log.Debug('D', "Found %s", entry.name.c_str());
    auto tic = std::make_unique<TicRecord>();
    int rc = ReadTic(ctx, entry.name, tic.get());
    if (rc == 4082) {
      ctx.log.Message('!', 1, 86);
      break;
    }
    if (rc != 0) {
      ctx.log.Debug('D', "TIC reading failed");
      continue;
    }
    std::string upper_name = Upper(tic->file);
    InboundFile mode = claimed.count(upper_name) ? InboundFile::kCopy : InboundFile::kMove;
    if (!HasSafeNames(*tic)) {
      RejectTic(ctx, *tic, kRejectBadName, mode);
      continue;
    }
    ctx.log.Debug('D', "Checking file existence");
    std::string in_path = JoinPath(c.inbound, tic->file);
    bool present = FilePresent(in_path);
    if (!present && !c.bad_path.empty() && c.search_bads) {
      ctx.log.Message('.', 3, 116, tic->file.c_str());
      std::string bad = JoinPath(c.bad_path, tic->file);
      if (FilePresent(bad) && CopyToDirectory(ctx.log, bad, c.inbound) == 0)
        (void)DeleteLogged(ctx.log, bad);
      present = FilePresent(in_path);
    }
    if (!present) {
      ctx.log.Message('!', 3, 24, tic->file.c_str());
      if ((now - entry.mtime) / 86400 >= c.lost_tic_days)
        (void)DeleteLogged(ctx.log, JoinPath(c.inbound, entry.name));
      continue;
    }
    tic->size = static_cast<uint32_t>(FileSizeOf(in_path));
    AreaRecord* area = nullptr;
    if (CheckTic(ctx, *tic, &area, mode) != 0) continue;
    if (!c.keep_tics.empty())
      (void)CopyToDirectory(ctx.log, JoinPath(c.inbound, entry.name), c.keep_tics);

    auto& by_name = seen[area];
    auto it = by_name.find(upper_name);
    if (it != by_name.end()) {
      ctx.log.Debug('D', "We have found a dupe TIC");
      std::unique_ptr<TicRecord>& earlier = area->received[it->second];
      uint32_t crc = c.verify_crc ? tic->crc : FileCrc32(ctx.files, in_path);
      if (crc == earlier->crc) {
        (void)DeleteLogged(ctx.log, JoinPath(c.inbound, tic->tic_name));
      } else {
        (void)DeleteLogged(ctx.log, JoinPath(c.inbound, earlier->tic_name));
        earlier = std::move(tic);
      }
      continue;
    }
    by_name.emplace(upper_name, area->received.size());
    claimed.insert(upper_name);
    LogSummary(ctx, *tic);
    area->received.push_back(std::move(tic));
  }
}

void Toss(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  (void)ChangeDir(ctx, c.inbound);
  LoadTics(ctx);
  if (!c.dupes_dir.empty()) DupeCheck(ctx);
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
  if (!c.autoflags.empty()) TouchAutoFlags(ctx);
  (void)ChangeDir(ctx, ctx.home);
  SendToLinks(ctx);
  (void)ChangeDir(ctx, c.inbound);
  CleanInbound(ctx, true);
}

}  // namespace olvix
