// olxlinks.ini: one LINK line per neighbouring system.
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

constexpr const char* kLinksFile = "olxlinks.ini";

// Takes the first occurrence of `letter` out of `options`; true when found.
bool TakeLetter(std::string* options, char letter) {
  size_t pos = options->find(letter);
  if (pos == std::string::npos) return false;
  options->erase(pos, 1);
  return true;
}

}  // namespace

bool ParseLinkLine(const std::string& line, LinkRecord* link) {
  std::string text = Upper(line);
  // Every control character separates words: a NUL kept inside a word
  // would end the field when the line is written back.
  OneLineInPlace(&text);
  std::vector<std::string> w = SplitWords(text);
  // LINK address group password level create flavour aka status [options]
  if (w.size() < 9 || w[0] != "LINK") return false;
  LinkRecord r;
  r.address = ParseAddress(w[1]);
  r.group = w[2];
  r.password = w[3];
  r.level = ParseDecimal(w[4]);
  r.may_create = w[5] == "YES";
  r.flavour = w[6] == "YES" ? "H" : (w[6] == "NO" ? "D" : w[6]);
  r.aka = ParseAddress(w[7]);
  r.active = w[8][0] == 'A';
  if (w.size() > 9) {
    std::string options = w[9];
    if (TakeLetter(&options, 'D')) r.flavour += 'D';
    if (TakeLetter(&options, 'C')) r.flavour += 'C';
    r.options = options;
  }
  *link = std::move(r);
  return true;
}

void LoadLinksText(RunContext& ctx, const std::string& text) {
  for (const ConfigLine& l : SplitConfigLines(text)) {
    std::string line;
    if (!PrepareLine(l.piece, &line)) continue;
    LinkRecord link;
    if (ParseLinkLine(line, &link)) ctx.links.Add(std::move(link));
  }
}

std::string FormatLinkLine(const LinkRecord& link) {
  std::string s = Format("Link %15s %5s %12s %4d ", FormatAddress(link.address).c_str(),
                         link.group.c_str(), link.password.c_str(), link.level);
  s += link.may_create ? "Yes " : "No  ";
  s += Format("%-4s ", link.flavour.c_str());
  s += Format("%15s ", FormatAddress(link.aka).c_str());
  s += link.active ? "A" : "P";
  if (!link.options.empty()) s += " " + link.options;
  s += '\n';
  return s;
}

std::string RewriteLinksText(RunContext& ctx, const std::string& old_text) {
  std::string out;
  size_t cursor = 0;
  for (const ConfigLine& l : SplitConfigLines(old_text)) {
    if (IsComment(l.piece)) {
      out += l.raw;
      if (out.back() != '\n') out += '\n';
      continue;
    }
    if (!EqualsNoCase(FirstWord(l.piece), "LINK")) continue;  // dropped
    // A LINK line the reader passed over holds no record: it stays as the
    // sysop wrote it, and the record that follows it in the table goes to
    // the next line that does hold one.
    std::string prepared;
    LinkRecord parsed;
    if (!PrepareLine(l.piece, &prepared) || !ParseLinkLine(prepared, &parsed)) {
      out += l.raw;
      if (out.back() != '\n') out += '\n';
      continue;
    }
    if (cursor >= ctx.links.size()) continue;  // more LINK lines than links
    const LinkRecord& link = ctx.links[cursor++];
    ctx.log.Debug('H', "Writing link %s", FormatAddress(link.address).c_str());
    out += FormatLinkLine(link);
  }
  // Links without a line of their own yet.
  for (; cursor < ctx.links.size(); ++cursor) out += FormatLinkLine(ctx.links[cursor]);
  return out;
}

void LoadLinks(RunContext& ctx) {
  ctx.log.Message('#', 1, 7);
  std::string text;
  if (!ReadConfigFile(ctx, JoinPath(ctx.home, kLinksFile), false, &text, nullptr)) return;
  LoadLinksText(ctx, text);
}

int WriteLinkLine(RunContext& ctx, std::FILE* out, const LinkRecord& link) {
  ctx.log.Debug('H', "Writing link %s", FormatAddress(link.address).c_str());
  std::string line = FormatLinkLine(link);
  if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) return errno ? errno : EIO;
  return 0;
}

int SaveLinks(RunContext& ctx) {
  if (ctx.cfg.sort_lists.find('L') != std::string::npos) ctx.links.SortByAddress();
  std::string old_text;
  int err = 0;
  if (!ReadConfigFile(ctx, JoinPath(ctx.home, kLinksFile), false, &old_text, &err)) return err;
  return ReplaceConfigFile(ctx, JoinPath(ctx.home, kLinksFile),
                           platform::RunTempName(JoinPath(ctx.home, "linktemp.ini")),
                           JoinPath(ctx.home, "olxlinks.bak"), RewriteLinksText(ctx, old_text),
                           false);
}

}  // namespace olvix
