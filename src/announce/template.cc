#include "announce/template.h"

#include "util/files.h"
#include "util/text.h"

namespace olvix {

namespace {

int MarkerBlock(const std::string& text) {
  if (text == ">---<") return kAreaHeader;
  if (text == ">***<") return kFileLines;
  if (text == "<***>") return kAreaFooter;
  if (text == "<--->") return kFooter;
  return -1;
}

std::string Fit(const std::optional<std::string>& value, size_t width, bool right) {
  std::string v = value ? value->substr(0, width) : std::string();
  return right ? PadLeft(v, width) : PadRight(v, width);
}

}  // namespace

std::vector<TemplateLine> TemplateLines(std::string_view text) {
  std::vector<TemplateLine> lines;
  for (std::string& piece : SplitPieces(std::string(text), kTemplatePiece + 1)) {
    TemplateLine line;
    line.line_end = !piece.empty() && piece.back() == '\n';
    if (line.line_end) piece.pop_back();
    for (char& c : piece)
      if (c == '\0') c = ' ';
    line.text = std::move(piece);
    lines.push_back(std::move(line));
  }
  return lines;
}

AnnounceTemplate ParseAnnounceTemplate(std::string_view text) {
  AnnounceTemplate tpl;
  int block = kHeader;
  for (TemplateLine& line : TemplateLines(text)) {
    // The last line of a file may lack its line end and still be a marker.
    int marker = MarkerBlock(line.text);
    if (marker >= 0) {
      block = marker;
      continue;
    }
    tpl.blocks[block].push_back(std::move(line));
  }
  return tpl;
}

void MacroLine::Fill(std::string_view macro, const std::optional<std::string>& value) {
  if (macro.empty()) return;
  size_t seg = 0, pos = std::string::npos;
  for (; seg < segments_.size(); ++seg) {
    if (!segments_[seg].literal) continue;
    pos = FindNoCase(segments_[seg].text, macro);
    if (pos != std::string::npos) break;
  }
  if (pos == std::string::npos) return;
  const std::string text = segments_[seg].text;
  size_t start = pos;
  while (start > 0 && text[start - 1] == '@') --start;
  if (start < pos) {
    size_t width = pos - start + macro.size();
    bool right = EqualsNoCase(macro, "@S");
    Segment before{text.substr(0, start), true};
    Segment field{Fit(value, width, right), false};
    Segment after{text.substr(pos + macro.size()), true};
    segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(seg));
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(seg), {before, field, after});
    return;
  }
  std::string inserted = value ? *value : std::string(macro.size(), ' ');
  std::vector<Segment> out;
  out.reserve(segments_.size() + 2);
  for (Segment& s : segments_) {
    if (!s.literal) {
      out.push_back(std::move(s));
      continue;
    }
    size_t from = 0, at;
    while ((at = FindNoCase(s.text, macro, from)) != std::string::npos) {
      out.push_back({s.text.substr(from, at - from), true});
      out.push_back({inserted, false});
      from = at + macro.size();
    }
    out.push_back({s.text.substr(from), true});
  }
  segments_.swap(out);
}

bool MacroLine::Holds(std::string_view macro) const {
  for (const Segment& s : segments_)
    if (s.literal && FindNoCase(s.text, macro) != std::string::npos) return true;
  return false;
}

std::string MacroLine::Text() const {
  std::string out;
  for (const Segment& s : segments_) out += s.text;
  return out;
}

std::string FillMacros(std::string_view line, const std::vector<Macro>& macros) {
  MacroLine m(line);
  for (const Macro& macro : macros) m.Fill(macro.name, macro.value);
  return m.Text();
}

}  // namespace olvix
