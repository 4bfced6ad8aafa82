// Announcement templates: the five blocks of a new-files template and the
// macros filled into template lines.
#ifndef OLVIX_ANNOUNCE_TEMPLATE_H_
#define OLVIX_ANNOUNCE_TEMPLATE_H_

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {

// Template lines are read in pieces of at most this many characters, line
// end included; the rest of a longer line is the next piece.
inline constexpr size_t kTemplatePiece = 249;

// One piece of a template: its text without the line end, and whether it
// ended a line (the last piece of a file, or of a cut line, may not).
struct TemplateLine {
  std::string text;
  bool line_end = true;
};

// The text of a template file (read in text mode) in pieces. NUL bytes
// become blanks.
std::vector<TemplateLine> TemplateLines(std::string_view text);

// The blocks of a new-files template.
enum TemplateBlock : int { kHeader = 0, kAreaHeader, kFileLines, kAreaFooter, kFooter };
inline constexpr int kTemplateBlocks = 5;

struct AnnounceTemplate {
  std::vector<TemplateLine> blocks[kTemplateBlocks];
};

// Splits a new-files template at its marker lines (">---<", ">***<",
// "<***>", "<--->", each alone on its line): block 1 runs from the start,
// the others begin after their marker. A marker that comes again adds to
// its block. Marker lines belong to no block.
AnnounceTemplate ParseAnnounceTemplate(std::string_view text);

// A template line while its macros are filled in. Values once inserted are
// never searched again, so a description holding "@DATE" stays as it is.
class MacroLine {
 public:
  explicit MacroLine(std::string_view text) : segments_{{std::string(text), true}} {}

  // Fills `macro` ("@AREA"), found without regard to ASCII case. When its
  // first occurrence has a run of "@" directly before it, the run and the
  // macro are a field of fixed width: only that occurrence is overwritten,
  // with the value left-aligned (right-aligned for "@S"), padded with
  // blanks and cut to the width. Otherwise every occurrence is replaced by
  // the value. An absent value (nullopt) gives blanks of the field's or
  // the macro's width.
  void Fill(std::string_view macro, const std::optional<std::string>& value);
  // True when `macro` still occurs in the template text.
  bool Holds(std::string_view macro) const;
  std::string Text() const;

 private:
  struct Segment {
    std::string text;
    bool literal;  // template text, still searched for macros
  };
  std::vector<Segment> segments_;
};

// A macro and its value, for FillAll; nullopt: absent.
struct Macro {
  std::string_view name;
  std::optional<std::string> value;
};

// Fills `macros` in order into `line` and returns the text.
std::string FillMacros(std::string_view line, const std::vector<Macro>& macros);

}  // namespace olvix

#endif  // OLVIX_ANNOUNCE_TEMPLATE_H_
