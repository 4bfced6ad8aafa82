#include "tic/hatch.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "announce/announce.h"
#include "config/records.h"
#include "outbound/receivers.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/charset.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Arguments before the options: the command, the name and the tag.
constexpr size_t kFirstOption = 3;
// -G lines are read in pieces of at most this many characters.
constexpr size_t kDescFilePiece = 255;
// A description value, "LDesc " and the line end fit one line of a ticket
// reader.
constexpr size_t kDescLimit = kTicLineLimit - 8;

// What one HATCH command shares between its files.
struct HatchJob {
  AreaRecord* area = nullptr;
  std::string typed_dir;   // the directory part of the name as given, "" for none
  std::string source_dir;  // where the files are, absolute
  bool elsewhere = false;  // source_dir is not the fileecho's directory
  std::string mask;
  std::unordered_set<std::string> matched;  // upper-cased names the mask matches there
  bool matched_listed = false;
  std::vector<std::string> rewritten;  // names whose old description entries go
  std::string purge_lines;             // for olxprg.idx
  DescEntries source_descs;            // of source_dir's description file, read once
  bool source_descs_read = false;
};

// A file that could not be written ends the run before anything is sent
// or deleted: the sysop runs the command again.
[[noreturn]] void WriteFailed(RunContext& ctx, const std::string& path, int rc) {
  ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
  ctx.log.Message('!', 1, 70);
  Shutdown(ctx, 1);
}

// Copies `source` into `dir` (lower-case name), or ends the run.
void CopyOrStop(RunContext& ctx, const std::string& source, const std::string& dir) {
  if (!platform::IsDirectory(dir)) CreatePath(WithTrailingSep(dir));
  int rc = CopyToDirectory(ctx.log, source, dir);
  if (rc != 0) WriteFailed(ctx, WithTrailingSep(dir) + Lower(FilePart(source)), rc);
}

// Applies @ADDR, @TIME and @DATE to a description line.
std::string DescMacros(const std::string& line, const AreaRecord& area, const std::string& time,
                       const std::string& date) {
  std::string out = line;
  ExpandDescLine("@ADDR", FormatAddress(area.address), &out);
  ExpandDescLine("@TIME", time, &out);
  ExpandDescLine("@DATE", date, &out);
  return out;
}

// A description line made fit for a ticket line.
std::string TicketLine(std::string_view line) { return OneLineCut(ExpandTabs(line), kDescLimit); }

// The options of the command line (from the fourth argument on).
struct HatchOptions {
  std::string magic, replaces, desc_file;
  bool has_desc = false;
  std::string desc;
};

HatchOptions ParseOptions(const std::vector<std::string>& args) {
  HatchOptions o;
  bool open = false;  // a -D takes the words that follow it
  for (size_t i = kFirstOption; i < args.size(); ++i) {
    const std::string& a = args[i];
    char option = a.size() >= 2 && a[0] == '-' ? UpperChar(a[1]) : '\0';
    if (option == 'A') {
      o.magic = a.substr(2);
      open = false;
    } else if (option == 'D') {
      o.desc = a.substr(2);
      o.has_desc = open = true;
    } else if (option == 'R') {
      o.replaces = a.substr(2);
      open = false;
    } else if (option == 'G') {
      o.desc_file = a;
      open = false;
    } else if (open) {
      o.desc += ' ';
      o.desc += a;
    }
  }
  return o;
}

// -C<y|n> after the tag sets HATCHCOPY for the rest of the run and is
// taken out of the arguments.
void TakeCopySwitch(RunContext& ctx, std::vector<std::string>* args) {
  for (size_t i = kFirstOption; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    if (a.size() < 3 || a[0] != '-' || UpperChar(a[1]) != 'C') continue;
    char yn = UpperChar(a[2]);
    if (yn != 'Y' && yn != 'N') continue;
    ctx.cfg.hatch_copy = yn == 'Y';
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
    return;
  }
}

// Names in the fileecho directory that the hatched mask matches: REPLACES
// never takes a file this command hatches.
const std::unordered_set<std::string>& MatchedInArea(HatchJob& job) {
  if (!job.matched_listed) {
    std::vector<platform::DirEntry> entries;
    (void)platform::ListDirectory(job.area->path, job.mask, false, &entries);  // none: empty
    for (const platform::DirEntry& e : entries) job.matched.insert(Upper(e.name));
    job.matched_listed = true;
  }
  return job.matched;
}

void ReadDescFile(RunContext& ctx, const std::string& arg, const AreaRecord& area,
                  const std::string& time, const std::string& date, TicRecord* tic) {
  std::string text;
  if (!ReadWholeFile(ctx.Path(arg.substr(2)), true, &text)) return;  // left to FILE_ID.DIZ
  for (std::string& piece : SplitPieces(text, kDescFilePiece + 1)) {
    if (!piece.empty() && piece.back() == '\n') piece.pop_back();
    tic->desc_list.push_back(TicketLine(DescMacros(piece, area, time, date)));
  }
}

void HatchOne(RunContext& ctx, std::vector<std::string>* args, HatchJob& job,
              const std::string& file) {
  MainConfig& c = ctx.cfg;
  AreaRecord& area = *job.area;
  const int64_t now = platform::Now();
  const std::tm local = platform::LocalTime(now);
  const std::string date = platform::FormatTime("%d/%m/%y", local);
  const std::string time = platform::FormatTime("%H:%M:%S", local);
  const bool passthrough = area.IsPassthrough();
  if (passthrough) (void)ChangeDir(ctx, area.path);
  std::string shown = job.typed_dir + file;
  ctx.log.Message('#', 1, 54, shown.c_str(), area.tag.c_str());

  auto tic = std::make_unique<TicRecord>();
  ctx.log.Debug('D', "Getting path from filename");
  tic->from = area.address;
  const std::string original = JoinPath(job.source_dir, file);
  tic->source_path = job.elsewhere ? original : JoinPath(area.path, file);
  if (job.elsewhere) {
    TakeCopySwitch(ctx, args);
    if (c.hatch_copy && (!passthrough || ServedFromAreaDirectories(c))) {
      ctx.log.Debug('D', "Let's copy this damn file to %s", area.path.c_str());
      CopyOrStop(ctx, original, area.path);
      tic->source_path = JoinPath(area.path, Lower(file));
    }
  }

  ctx.log.Debug('D', "Analyzing command line parametres");
  HatchOptions o = ParseOptions(*args);
  tic->magic = OneLine(o.magic);
  tic->replaces = OneLine(o.replaces);
  // A mask that names another directory never deletes anything there.
  if (c.hatch_copy && IsBareFileName(tic->replaces) && ReplacesAllowed(ctx, area, *tic)) {
    std::unordered_set<std::string> keep = MatchedInArea(job);
    keep.insert(Upper(file));
    RemoveReplaced(ctx, area, *tic, area.path, keep);
  }

  ctx.log.Debug('D', "Changing @ADDR to its value");
  if (o.has_desc) {
    ctx.log.Debug('D', "Description: %s", o.desc.c_str());
    std::string desc = DescMacros(o.desc, area, time, date);
    ctx.log.Debug('D', "Converting description to 866 charset");
    desc = TicketLine(Utf8ToCp866(desc));
    tic->desc_list.push_back(desc);
    ctx.log.Debug('D', "Result description: %s", desc.c_str());
  }
  tic->area = area.tag;
  tic->origin = area.address;
  tic->file = file;
  tic->bad = false;
  ctx.log.Debug('D', "Retrieving CRC and file size");
  tic->crc = FileCrc32(ctx.files, tic->source_path);
  tic->size = static_cast<uint32_t>(std::max<int64_t>(FileSizeOf(tic->source_path), 0));
  if (o.desc_file.size() > 2) ReadDescFile(ctx, o.desc_file, area, time, date, tic.get());
  tic->seen_by_list.push_back(FormatAddress(area.address));

  if (tic->desc_list.empty() && c.diz_from_archives && area.flags.find('D') == std::string::npos) {
    ctx.log.Debug('D', "There is no description found. Let's try FILE_ID.DIZ");
    std::string work = EnterDizWorkDir(ctx);
    if (!work.empty()) {
      ExtractDiz(ctx, job.source_dir, tic.get());
      for (const std::string& line : tic->diz_list) tic->desc_list.push_back(TicketLine(line));
      tic->diz_list.clear();
      LeaveDizWorkDir(ctx, work);
    }
  }
  if (tic->desc_list.empty() && o.desc_file.empty()) {
    if (!job.source_descs_read) {
      job.source_descs = ReadDescEntries(ctx, job.source_dir);
      job.source_descs_read = true;
    }
    TakeDescEntry(ctx, job.source_descs, tic.get());
    for (std::string& line : tic->desc_list) line = TicketLine(line);
  }

  if (!passthrough && c.update_desc && c.hatch_copy && c.rewrite_desc)
    job.rewritten.push_back(file);
  if (!c.keep_tics.empty()) {
    // Kept as if written for a link that is this node itself.
    LinkRecord self;
    self.address = area.address;
    self.aka = area.address;
    std::string name;
    int rc = WriteNewTic(ctx, c.keep_tics, *tic, self, &name);
    if (rc != 0) WriteFailed(ctx, JoinPath(c.keep_tics, name), rc);
  }
  if (!c.queue_dir.empty()) {
    (void)ChangeDir(ctx, DirPart(tic->source_path));
    CopyOrStop(ctx, tic->source_path, c.queue_dir);
    tic->source_path.clear();  // sent from the queue
  }
  if (ctx.areas.purge_mark && !passthrough && (area.size_limit > 0 || area.age_limit > 0))
    job.purge_lines += Format("%d %s %d %s\n", static_cast<int>(now), area.tag.c_str(),
                              static_cast<int>(tic->size), tic->file.c_str());
  area.received.push_back(std::move(tic));
}

// The purge index lines of the command, added in one rewrite of the
// index: complete or not at all.
void AppendPurgeIndex(RunContext& ctx, const std::string& lines) {
  if (lines.empty()) return;
  (void)ChangeDir(ctx, ctx.home);
  std::string path = JoinPath(ctx.home, "olxprg.idx");
  // Without their lines PURGE would date the files by its own first look.
  int rc = AppendFileAtomic(path, lines);
  if (rc != 0) WriteFailed(ctx, path, rc);
}

}  // namespace

void HatchCommand(RunContext& ctx, std::vector<std::string> args) {
  if (args.size() < kFirstOption) {
    ctx.log.Message('!', 1, 51);
    SetActivity(ctx, "Dialog Hatching");
    HatchDialog(ctx);
    return;
  }
  const MainConfig& c = ctx.cfg;
  HatchJob job;
  job.area = ctx.areas.Find(args[2]);
  if (!job.area) {
    ctx.log.Message('!', 1, 52, args[2].c_str());
    return;
  }
  AreaRecord& area = *job.area;
  // Copies and tickets a killed HATCH left half written; those of a killed
  // toss are left to the next TOSS, whose journal needs them.
  if (!platform::FileExists(ctx.home + "olxtoss.jnl"))
    for (const std::string& dir : {area.path, c.queue_dir, c.keep_tics, c.out_tics})
      if (!dir.empty()) RemoveDeadRunTemps(dir);
  if (!area.IsPassthrough()) (void)ChangeDir(ctx, area.path);
  const std::string typed = args[1];
  const std::string name = Utf8ToCp866(typed);
  std::vector<platform::DirEntry> found;
  // The name is tried as converted, then as typed: a file on this system
  // may carry its name in either character set.
  for (const std::string* candidate : {&name, &typed}) {
    job.typed_dir = DirPart(*candidate);
    job.mask = FilePart(*candidate);
    job.source_dir = job.typed_dir.empty() ? area.path : WithTrailingSep(ctx.Path(job.typed_dir));
    found.clear();
    if (!job.mask.empty())
      (void)platform::ListDirectory(job.source_dir, job.mask, false, &found);  // none: not found
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&c](const platform::DirEntry& e) {
                                 return EqualsNoCase(e.name, c.desc_name);
                               }),
                found.end());
    if (!found.empty() || name == typed) break;
  }
  if (found.empty()) {
    ctx.log.Message('!', 1, 53, typed.c_str());
    return;
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  job.elsewhere = !job.typed_dir.empty() && !platform::SamePath(job.source_dir, area.path);
  for (const platform::DirEntry& e : found) {
    // A name the links' tosses would refuse (a blank, a control character,
    // a work file of ours) is never sent.
    if (!IsUsableFileName(ctx, e.name)) {
      ctx.log.Message('!', 1, 22, OneLine(e.name).c_str(), "Invalid file name");
      continue;
    }
    HatchOne(ctx, &args, job, e.name);
  }
  AppendPurgeIndex(ctx, job.purge_lines);

  const bool passthrough = area.IsPassthrough();
  if (!job.rewritten.empty()) {
    // Left in place, the old entries would stand beside the new ones.
    int rc = RemoveDescEntries(ctx, area.path, job.rewritten);
    if (rc != 0 && rc != platform::NotFoundCode())  // no description file yet: fine
      WriteFailed(ctx, JoinPath(area.path, c.desc_name), rc);
  }
  if (!passthrough && c.update_desc && c.hatch_copy) {
    ctx.log.Debug('D', "Updating description files");
    WriteNewDescriptions(ctx, [](const AreaRecord& a, const TicRecord&) { return a.path; });
  }
  (void)ChangeDir(ctx, ctx.home);
  // The sources stay where they are unless every link has them.
  if (int rc = SendToLinks(ctx); rc != 0) {
    ctx.log.Message('!', 1, 9, ctx.cfg.outbound.c_str(), platform::ErrorText(rc).c_str());
    Shutdown(ctx, 1);
  }
  if (job.elsewhere && c.hatch_copy && c.delete_hatched && !ServedFromAreaDirectories(c)) {
    (void)ChangeDir(ctx, job.source_dir);
    ctx.log.Message('.', 1, 118);
    for (const auto& tic : area.received) {
      if (tic->bad) continue;
      ctx.log.Message('.', 4, 40, tic->file.c_str());
      (void)DeleteLogged(ctx.log, JoinPath(job.source_dir, tic->file));
    }
  }
  if (c.desc_limit != 0)
    for (auto& tic : area.received)
      if (!tic->bad) CutDescriptions(ctx, tic.get());
  AnnounceNewFiles(ctx);
}

}  // namespace olvix
