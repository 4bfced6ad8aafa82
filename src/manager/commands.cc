#include "manager/commands.h"

#include <algorithm>
#include <vector>

#include "config/config.h"
#include "config/config_files.h"
#include "config/records.h"
#include "manager/request.h"
#include "manager/template.h"
#include "outbound/receivers.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Lines of the RESEND template are read in pieces of at most 88
// characters.
constexpr size_t kResendPiece = 89;

void SetStatus(RunContext& ctx, ManagerRequest& req, LinkRecord& link, bool active) {
  link.active = active;
  ctx.log.Message('*', 1, active ? 63 : 62, FormatAddress(link.address).c_str());
  // Message 9 names the file and the reason; the letter is kept for the
  // next run.
  if (SaveLinks(ctx) != 0) req.failed = true;
  req.handled = true;
}

const TemplateRecord* ResendTemplate(const MainConfig& cfg) {
  for (const TemplateRecord& t : cfg.templates)
    if (t.keyword == "RESEND") return &t;
  return nullptr;
}

bool AreaMatches(const MainConfig& cfg, const std::string& mask, const std::string& tag) {
  return cfg.resend_check ? WildMatch(mask, tag) : EqualsNoCase(mask, tag);
}

// The files of `area` that match the mask, in name order. The description
// file of the directory is no file of the fileecho.
std::vector<std::string> MatchingFiles(RunContext& ctx, const AreaRecord& area,
                                       const std::string& mask) {
  std::vector<platform::DirEntry> entries;
  // Names only: each is looked at as a plain file below.
  (void)platform::ListDirectory(area.path, mask, false, &entries,
                                platform::EntryDetails::kNamesOnly);  // missing: no files
  std::vector<std::string> names;
  for (platform::DirEntry& e : entries) {
    if (!ctx.cfg.resend_check && !EqualsNoCase(e.name, mask)) continue;
    if (EqualsNoCase(e.name, ctx.cfg.desc_name)) continue;
    if (!platform::IsPlainFile(JoinPath(area.path, e.name))) continue;
    names.push_back(std::move(e.name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Sends one file of a fileecho, with a ticket unless `no_tic`.
void ResendFile(RunContext& ctx, LinkRecord& link, const AreaRecord& area, const std::string& name,
                bool no_tic, DescEntries* descs, bool* descs_read) {
  const std::string source = JoinPath(area.path, name);
  if (no_tic) {
    // Failures are logged by the outbound; the next file is sent all the same.
    (void)SendFileToLink(ctx, source, link, AfterSending::kKeep, BoxPlacement::kMayLink);
    return;
  }
  if (!*descs_read) {
    *descs = ReadDescEntries(ctx, area.path);
    *descs_read = true;
  }
  TicRecord tic;
  tic.from = tic.origin = ctx.cfg.addresses.empty() ? link.aka : ctx.cfg.addresses[0];
  tic.password = link.password;
  tic.area = area.tag;
  tic.file = Upper(name);
  auto it = descs->find(tic.file);
  if (it != descs->end()) tic.desc_list = it->second;
  tic.crc = FileCrc32(ctx.files, source);
  int64_t size = FileSizeOf(source);
  tic.size = size > 0 ? static_cast<uint32_t>(size) : 0;
  (void)SendFileWithTicket(ctx, source, tic, link);  // failures are logged there
}

}  // namespace

bool IsSafeResendMask(const std::string& mask) {
  return mask.find_first_of("\\/:") == std::string::npos && mask.find("..") == std::string::npos;
}

bool ParseResend(const std::string& params, ResendRequest* out) {
  std::vector<std::string> words = SplitWords(params);
  if (words.empty()) return false;
  const std::string& word = words[0];
  size_t colon = word.find(':');
  if (colon == std::string::npos) {
    out->area_mask = "*";
    out->file_mask = word;
  } else {
    out->area_mask = word.substr(0, colon);
    out->file_mask = word.substr(colon + 1);
    if (out->area_mask.empty() || out->file_mask.empty()) return false;
  }
  out->no_tic = words.size() > 1 && words[1] == "NOTIC";
  return true;
}

void Resend(RunContext& ctx, ManagerRequest& req, LinkRecord& link, const ResendRequest& what,
            const std::string& answer_name) {
  const MainConfig& cfg = ctx.cfg;
  ctx.log.Debug('H', "RSND: fe: %s, fn: %s, notic: %i", what.area_mask.c_str(),
                what.file_mask.c_str(), what.no_tic ? 1 : 0);
  const TemplateRecord* tmpl = ResendTemplate(cfg);
  if (!tmpl) return;
  std::string text;
  if (!ReadConfigFile(ctx, tmpl->file, false, &text, nullptr)) return;
  std::vector<std::string> lines = SplitPieces(text, kResendPiece);
  size_t marker = std::find(lines.begin(), lines.end(), "@FILES\n") - lines.begin();
  bool has_files = marker < lines.size();
  std::string report;
  for (size_t i = 0; i < marker && i < lines.size(); ++i) report += lines[i];

  // Masks from a letter that could leave a fileecho's directory match
  // nothing: the report says "<not found>".
  bool safe = IsSafeResendMask(what.area_mask) && IsSafeResendMask(what.file_mask);
  std::string fbox = safe ? FileboxPath(ctx, link) : "";
  bool found = false;
  for (size_t a = 0; safe && a < ctx.areas.size(); ++a) {
    const AreaRecord& area = ctx.areas[a];
    if (!AreaMatches(cfg, what.area_mask, area.tag)) continue;
    DescEntries descs;
    bool descs_read = false;
    for (const std::string& name : MatchingFiles(ctx, area, what.file_mask)) {
      found = true;
      std::string line = Format("%-29s %-19s ", area.tag.c_str(), name.c_str());
      if (!fbox.empty() && platform::FileExists(JoinPath(fbox, name))) {
        if (has_files) report += line + "already exists in your fbox\n";
        continue;
      }
      if (has_files) report += line + "ok\n";
      ResendFile(ctx, link, area, name, what.no_tic, &descs, &descs_read);
    }
  }
  if (has_files) {
    if (!found) report += Format("%-50s <not found>\n", what.file_mask.c_str());
    for (size_t i = marker + 1; i < lines.size(); ++i) report += lines[i];
  }
  if (!SendWorkFile(ctx, "temprsnd.$$$", report, cfg.from_name, answer_name, "Resend report", link))
    req.failed = true;  // logged; the letter is carried out again later
  req.handled = true;
}

void RunCommand(RunContext& ctx, ManagerRequest& req, const std::string& line, LinkRecord& link,
                const std::string& answer_name) {
  ctx.log.Message('*', 1, 59, line.c_str(), FormatAddress(link.address).c_str());
  if (line == "PAUSE") SetStatus(ctx, req, link, false);
  if (line == "RESUME") SetStatus(ctx, req, link, true);
  if (req.failed) return;
  ctx.log.Debug('H', "Retrieving parametres");
  size_t blank = line.find(' ');
  std::string word = line.substr(0, blank);
  std::string params = blank == std::string::npos ? "" : TrimLeft(line.substr(blank + 1));
  if (word == "RESEND") {
    ResendRequest what;
    if (ParseResend(params, &what)) Resend(ctx, req, link, what, answer_name);
    return;
  }
  ctx.log.Debug('H', "Looking for a template %s", word.c_str());
  for (const TemplateRecord& entry : ctx.cfg.templates) {
    if (!EqualsNoCase(entry.keyword, word)) continue;
    req.handled = true;
    if (!entry.command.empty()) {
      // The command line is the sysop's; each word after it comes from a
      // letter and reaches the program as one word, never as shell text.
      std::string command = entry.command + " ";
      std::vector<std::string> words = SplitWords(params);
      for (size_t i = 0; i < words.size(); ++i)
        command += (i ? " " : "") + platform::ShellQuote(words[i]);
      ctx.log.Message('#', 2, 61, command.c_str());
      (void)ChangeDir(ctx, ctx.home);       // entered at start
      (void)platform::RunCommand(command);  // the program reports its own trouble
    }
    if (!SendTemplateAnswer(ctx, entry.file, link, answer_name)) {
      req.failed = true;  // logged; the letter is carried out again later
      return;
    }
  }
}

}  // namespace olvix
