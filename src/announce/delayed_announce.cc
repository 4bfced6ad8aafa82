// The delayed announce: tickets stored in ANNOUNCEPATH by the toss, posted
// together by ANNOUNCE once enough files have gathered.
#include <algorithm>
#include <memory>
#include <vector>

#include "announce/announce.h"
#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

std::string DelayedAnnounceText(const TicRecord& tic) {
  std::string out;
  // Each line, its blank and its line end fit into one piece of the
  // reader, so no value runs over into a line of its own.
  auto put = [&out](const std::string& keyword, std::string_view value) {
    out += keyword;
    out += ' ';
    out += OneLineCut(value, kTicLineLimit - keyword.size() - 2);
    out += "\r\n";
  };
  put("From", FormatAddress(tic.from));
  put("Area", tic.area);
  put("File", tic.file);
  put("Origin", FormatAddress(tic.origin));
  put("Size", std::to_string(tic.size));
  put("Crc", Format("%08X", tic.crc));
  for (const std::string& line : TicDescription(tic)) put("Desc", line);
  return out;
}

void StoreDelayedAnnounce(RunContext& ctx) {
  const std::string& dir = ctx.cfg.announce_path;
  if (dir.empty()) return;
  ctx.log.Message('#', 1, 80);
  (void)ChangeDir(ctx, dir);  // every path below is whole
  const std::string key = "announce:delayed";
  std::vector<std::string> written;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    for (const auto& tic : ctx.areas[i].received) {
      // A toss finishing a killed one stores what that one did not.
      if (tic->bad || Covered(ctx, *tic, key)) continue;
      std::string path = JoinPath(dir, NewTicName(ctx, dir));
      int rc = CommitText(ctx, key, path, DelayedAnnounceText(*tic), {tic->tic_name});
      if (rc == 0) {
        written.push_back(path);
        continue;
      }
      if (CurrentToss(ctx)) TossWriteFailed(ctx, path, rc);  // the journal knows the rest
      ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
      // Half the files stored would be announced twice once the same
      // command runs again; none stored, they are announced once.
      for (const std::string& p : written) (void)DeleteLogged(ctx.log, p);
      Shutdown(ctx, 1);
    }
  }
}

void AnnounceCommand(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  if (c.announce_path.empty()) return;
  RemoveDeadAnnounceWork(ctx);
  ctx.log.Message('#', 1, 81);
  (void)ChangeDir(ctx, c.announce_path);  // every path below is whole
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(c.announce_path, "*.tic", false, &entries,
                                platform::EntryDetails::kNamesOnly);  // missing: none
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  int64_t count = 0;
  uint64_t bytes = 0;
  for (const platform::DirEntry& entry : entries) {
    auto tic = std::make_unique<TicRecord>();
    int rc = ReadTic(ctx, JoinPath(c.announce_path, entry.name), tic.get());
    if (rc == kTicNoMemory) {
      ctx.log.Message('!', 0, 86);
      return;
    }
    if (rc != 0) continue;
    ++count;
    bytes += tic->size;
    if (AreaRecord* area = ctx.areas.Find(tic->area)) area->received.push_back(std::move(tic));
  }
  uint64_t kilobytes = bytes / 1024;
  ctx.log.Debug('Z', "ticnum: %i   ticfsize: %i kbs", static_cast<int>(count),
                static_cast<int>(kilobytes));
  if (!ctx.ignore_minimum &&
      (count < c.announce_min_count ||
       kilobytes < static_cast<uint64_t>(std::max(c.announce_min_size, 0)))) {
    ctx.log.Debug('Z', "Announce ignored: too few files or filesizes");
    return;
  }
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    auto& list = ctx.areas[i].received;
    std::stable_sort(list.begin(), list.end(),
                     [](const auto& a, const auto& b) { return a->file < b->file; });
  }
  PostNewFilesReports(ctx);  // ends the run when a report cannot be written
  (void)ChangeDir(ctx, c.announce_path);
  for (size_t i = 0; i < ctx.areas.size(); ++i)
    for (const auto& tic : ctx.areas[i].received) (void)DeleteLogged(ctx.log, tic->tic_name);
}

}  // namespace olvix
