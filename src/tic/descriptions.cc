#include "tic/descriptions.h"

#include <unordered_map>
#include <unordered_set>

#include "config/main_config.h"
#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// A template being filled: literal pieces still searched for macros and the
// values already inserted, which are not.
struct Segment {
  std::string text;
  bool literal;
};

std::string FitField(const std::string& value, size_t width, bool right) {
  std::string v = value.size() > width ? value.substr(0, width) : value;
  return right ? PadLeft(v, width) : PadRight(v, width);
}

// `grow`: a value longer than its field is written whole, pushing the rest
// of the line right, and is kept apart from it by a blank.
void ExpandSegments(const std::string& macro, const std::string& value, std::vector<Segment>* segs,
                    bool grow = false) {
  if (macro.empty()) return;
  // The first occurrence decides: a fixed-width field is filled once, a
  // plain macro everywhere.
  size_t first_seg = 0, first_pos = std::string::npos;
  for (size_t i = 0; i < segs->size() && first_pos == std::string::npos; ++i) {
    if (!(*segs)[i].literal) continue;
    size_t pos = (*segs)[i].text.find(macro);
    if (pos != std::string::npos) {
      first_seg = i;
      first_pos = pos;
    }
  }
  if (first_pos == std::string::npos) return;
  const std::string& text = (*segs)[first_seg].text;
  size_t start = first_pos;
  while (start > 0 && text[start - 1] == '@') --start;
  size_t extra = first_pos - start;
  if (extra > 0) {
    size_t width = extra + macro.size();
    Segment before{text.substr(0, start), true};
    Segment field{FitField(value, width, macro == "@S"), false};
    Segment after{text.substr(first_pos + macro.size()), true};
    if (grow && value.size() >= width) {
      field.text = value;
      if (!after.text.empty() && after.text[0] != ' ') field.text += ' ';
    }
    segs->erase(segs->begin() + static_cast<std::ptrdiff_t>(first_seg));
    segs->insert(segs->begin() + static_cast<std::ptrdiff_t>(first_seg), {before, field, after});
    return;
  }
  std::vector<Segment> out;
  for (Segment& s : *segs) {
    if (!s.literal) {
      out.push_back(std::move(s));
      continue;
    }
    size_t from = 0, pos;
    while ((pos = s.text.find(macro, from)) != std::string::npos) {
      out.push_back({s.text.substr(from, pos - from), true});
      out.push_back({value, false});
      from = pos + macro.size();
    }
    out.push_back({s.text.substr(from), true});
  }
  segs->swap(out);
}

std::string JoinSegments(const std::vector<Segment>& segs) {
  std::string out;
  for (const Segment& s : segs) out += s.text;
  return out;
}

std::string DescPath(const RunContext& ctx, const std::string& dir) {
  return JoinPath(dir, ctx.cfg.desc_name);
}

// Splits text into lines without their LF; a last line without LF counts.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t from = 0;
  while (from < text.size()) {
    size_t nl = text.find('\n', from);
    if (nl == std::string::npos) nl = text.size();
    lines.push_back(text.substr(from, nl - from));
    from = nl + 1;
  }
  return lines;
}

// The journal's name for the description file of `dir`.
std::string DescKey(const std::string& dir) { return "desc:" + DirectoryKey(dir); }

}  // namespace

void DescWriteFailed(RunContext& ctx, const std::string& dir, int rc) {
  std::string path = DescPath(ctx, dir);
  if (CurrentToss(ctx)) TossWriteFailed(ctx, path, rc);
  ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
  Shutdown(ctx, 1);
}

void ExpandDescLine(const std::string& macro, const std::string& value, std::string* line) {
  std::vector<Segment> segs{{*line, true}};
  ExpandSegments(macro, value, &segs);
  *line = JoinSegments(segs);
}

std::string FormatDescLine(const std::string& tmpl, uint32_t size, const std::string& name,
                           const std::string& first_line) {
  std::vector<Segment> segs{{tmpl, true}};
  ExpandSegments("@S", std::to_string(size), &segs);
  // A name cut to its field would describe another file, and no longer
  // match its own.
  ExpandSegments("@N", name, &segs, true);
  ExpandSegments("@D", first_line, &segs);
  return JoinSegments(segs);
}

const std::vector<std::string>& TicDescription(const TicRecord& tic) {
  return tic.diz_list.empty() ? tic.desc_list : tic.diz_list;
}

void WriteDescEntry(RunContext& ctx, const TicRecord& tic, std::string* out) {
  ctx.log.Message('.', 2, 40, tic.file.c_str());
  ctx.log.Debug('B', "Filling descline");
  const MainConfig& cfg = ctx.cfg;
  const std::vector<std::string>& lines = TicDescription(tic);
  auto put = [out](std::string line) {
    if (line.size() > kDescLineLimit) line.resize(kDescLineLimit);
    OneLineInPlace(&line);  // a CR would end the line for some readers
    *out += line;
    *out += '\n';
  };
  put(FormatDescLine(cfg.desc_line, tic.size, tic.file,
                     lines.empty() ? std::string("No description found") : lines[0]));
  std::string lead = ContinuationLead(cfg);
  for (size_t i = 1; i < lines.size(); ++i) {
    std::string line = lead + lines[i];
    // A continuation line must never read back as an entry line: not by
    // DESCMARK at its column either, so a mark character there gives way
    // to a blank.
    if (!cfg.desc_mark.empty() && cfg.desc_mark_pos >= 0) {
      size_t pos = static_cast<size_t>(cfg.desc_mark_pos);
      if (pos < line.size() && line[pos] == cfg.desc_mark[0]) line[pos] = ' ';
    }
    put(std::move(line));
  }
}

std::string ContinuationLead(const MainConfig& cfg) {
  std::string lead;
  if (cfg.desc_width > 1) lead.assign(static_cast<size_t>(cfg.desc_width - 1), ' ');
  if (cfg.desc_char != 0) lead += cfg.desc_char;
  // Without indent and mark a continuation line would begin like an entry
  // line: the text of a description could then stand for another file.
  if (lead.empty()) lead = " ";
  return lead;
}

DescLineKind ClassifyDescLine(const MainConfig& cfg, const std::string& line, std::string* name) {
  bool continuation = false;
  if (cfg.desc_width > 1) {
    size_t n = static_cast<size_t>(cfg.desc_width - 1);
    continuation = line.size() >= n && line.find_first_not_of(' ') >= n;
  } else if (cfg.desc_char == 0) {
    continuation = !line.empty() && line[0] == ' ';
  }
  if (!continuation && cfg.desc_char != 0) {
    size_t first = line.find_first_not_of(" \t");
    continuation = first != std::string::npos && line[first] == cfg.desc_char;
  }
  // DESCMARK at its column makes an entry line whatever the indent says.
  if (continuation && !cfg.desc_mark.empty() && cfg.desc_mark_pos >= 0 &&
      static_cast<size_t>(cfg.desc_mark_pos) < line.size() &&
      line[static_cast<size_t>(cfg.desc_mark_pos)] == cfg.desc_mark[0])
    continuation = false;
  if (continuation) return DescLineKind::kContinuation;
  size_t blank = line.find(' ');
  if (blank == std::string::npos) return DescLineKind::kOther;
  if (name) *name = line.substr(0, blank);
  return DescLineKind::kEntry;
}

DescEntries ReadDescEntries(const RunContext& ctx, const std::string& dir) {
  const MainConfig& cfg = ctx.cfg;
  DescEntries out;
  std::string text;
  if (!ReadWholeFile(DescPath(ctx, dir), true, &text)) return out;
  // Column where the description of an entry line starts.
  int64_t column = cfg.desc_mark.empty() ? static_cast<int64_t>(cfg.desc_mark_pos) - 1
                                         : static_cast<int64_t>(cfg.desc_mark_pos) +
                                               static_cast<int64_t>(cfg.desc_mark.size());
  const size_t start = column < 0 ? 0 : static_cast<size_t>(column);
  std::vector<std::string>* entry = nullptr;
  std::string name;
  // Whole lines are classified: cutting a long line would make its tail look
  // like the entry of another file and lose the rest of the wanted entry.
  for (std::string raw : SplitLines(text)) {
    size_t nul = raw.find('\0');
    if (nul != std::string::npos) raw.resize(nul);
    std::string line = ExpandTabs(raw);
    std::string copy = TrimLeft(line);
    switch (ClassifyDescLine(cfg, line, &name)) {
      case DescLineKind::kEntry:
        entry = &out[Upper(name)];
        entry->push_back(start < copy.size() ? copy.substr(start) : std::string());
        break;
      case DescLineKind::kContinuation:
        if (!entry) break;
        if (cfg.desc_char != 0 && !copy.empty() && copy[0] == cfg.desc_char) copy.erase(0, 1);
        entry->push_back(copy);
        break;
      case DescLineKind::kOther:
        break;
    }
  }
  return out;
}

void TakeDescEntry(RunContext& ctx, const DescEntries& entries, TicRecord* tic) {
  ctx.log.Debug('T', "Let's try to get description from %s", ctx.cfg.desc_name.c_str());
  auto it = entries.find(Upper(tic->file));
  if (it != entries.end())
    tic->desc_list.insert(tic->desc_list.end(), it->second.begin(), it->second.end());
}

void ReadDescEntry(RunContext& ctx, const std::string& dir, TicRecord* tic) {
  TakeDescEntry(ctx, ReadDescEntries(ctx, dir), tic);
}

int RemoveDescEntries(RunContext& ctx, const std::string& dir,
                      const std::vector<std::string>& names) {
  ctx.log.Debug('T', "Gonna to remove some trash from %s", ctx.cfg.desc_name.c_str());
  std::string path = DescPath(ctx, dir);
  std::string text;
  int err = 0;
  if (!ReadWholeFile(path, true, &text, &err)) return err != 0 ? err : platform::NotFoundCode();
  std::unordered_set<std::string> wanted;
  for (const std::string& n : names) wanted.insert(Upper(n));
  std::string out;
  out.reserve(text.size());
  bool removing = false;
  std::string name;
  for (const std::string& raw : SplitLines(text)) {
    std::string line = ExpandTabs(raw);
    switch (ClassifyDescLine(ctx.cfg, line, &name)) {
      case DescLineKind::kEntry:
        removing = wanted.count(Upper(name)) != 0;
        if (removing) continue;
        break;
      case DescLineKind::kContinuation:
        if (removing) continue;
        break;
      case DescLineKind::kOther:
        break;  // kept, and the removal goes on past it
    }
    out += line;
    out += '\n';
  }
  return WriteFileAtomic(path, out);
}

int AppendDescEntries(RunContext& ctx, const std::string& dir,
                      const std::vector<const TicRecord*>& tickets) {
  std::string path = DescPath(ctx, dir);
  // An old last line without line end gets one: it would otherwise run
  // into the first new entry line.
  std::string text;
  if (int rc = AppendedFileText(path, "", &text)) return rc;
  std::vector<std::string> names;
  for (const TicRecord* tic : tickets) {
    WriteDescEntry(ctx, *tic, &text);
    names.push_back(tic->tic_name);
  }
  return CommitText(ctx, DescKey(dir), path, text, names);
}

std::vector<std::string> CutDescriptionLines(const std::vector<std::string>& lines, int width) {
  if (width <= 0) return lines;
  const size_t w = static_cast<size_t>(width);
  std::vector<std::string> out;
  for (const std::string& line : lines) {
    std::string rest = line;
    while (rest.size() > w) {
      size_t p = w;
      while (p >= 1 && rest[p] != ' ') --p;
      if (p >= 1 && w - p <= 10) {
        out.push_back(rest.substr(0, p));
        rest.erase(0, p + 1);
      } else {
        out.push_back(rest.substr(0, w));
        rest.erase(0, w);
      }
    }
    out.push_back(std::move(rest));
  }
  return out;
}

void CutDescriptions(RunContext& ctx, TicRecord* tic) {
  ctx.log.Debug('D', "Cutting description for %s", tic->file.c_str());
  tic->diz_list = CutDescriptionLines(TicDescription(*tic), ctx.cfg.desc_limit);
}

std::vector<DescBatch> BatchByDestination(RunContext& ctx, const DestinationFn& destination) {
  std::vector<DescBatch> batches;
  std::unordered_map<std::string, size_t> index;
  for (size_t a = 0; a < ctx.areas.size(); ++a) {
    const AreaRecord& area = ctx.areas[a];
    if (area.IsPassthrough()) continue;
    for (const auto& tic : area.received) {
      if (tic->bad) continue;
      std::string dir = destination(area, *tic);
      // Described already by a toss that did not finish.
      if (Covered(ctx, *tic, DescKey(dir))) continue;
      auto [it, added] = index.emplace(DirectoryKey(dir), batches.size());
      if (added) batches.push_back({dir, {}});
      batches[it->second].tickets.push_back(tic.get());
    }
  }
  return batches;
}

void DeleteOldDescriptions(RunContext& ctx, const DestinationFn& destination) {
  for (const DescBatch& batch : BatchByDestination(ctx, destination)) {
    ctx.log.Message('.', 1, 38, batch.dir.c_str());
    std::vector<std::string> names;
    names.reserve(batch.tickets.size());
    for (const TicRecord* tic : batch.tickets) names.push_back(tic->file);
    int rc = RemoveDescEntries(ctx, batch.dir, names);
    if (rc != 0 && rc != platform::NotFoundCode())  // no description file: nothing to remove
      DescWriteFailed(ctx, batch.dir, rc);
  }
}

void WriteNewDescriptions(RunContext& ctx, const DestinationFn& destination) {
  for (const DescBatch& batch : BatchByDestination(ctx, destination)) {
    ctx.log.Message('.', 1, 39, batch.dir.c_str());
    int rc = AppendDescEntries(ctx, batch.dir, batch.tickets);
    if (rc != 0) DescWriteFailed(ctx, batch.dir, rc);
  }
}

}  // namespace olvix
