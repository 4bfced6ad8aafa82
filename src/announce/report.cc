#include "announce/report.h"

#include "config/records.h"
#include "platform/platform.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/address.h"
#include "util/text.h"

namespace olvix {

namespace {

using Value = std::optional<std::string>;

// Collects the written lines into parts, splitting as the packet report
// does: every line is counted, only lines after the header are checked.
class PartWriter {
 public:
  explicit PartWriter(int split) : split_(split) {}

  void Header(const TemplateLine& line, const std::string& text) { Put(line, text); }
  void Body(const TemplateLine& line, const std::string& text) {
    Put(line, text);
    // Only lines after the header are checked, and only for equality: a
    // header longer than a part leaves the whole report in one part.
    if (split_ <= 0 || count_ != split_) return;
    current_ += "\n *** Continued on next page ***\n";
    parts_.push_back(std::move(current_));
    current_ = "\r *** Continued from previous page ***\n";
    current_ += Format(" *** Part %d\n", static_cast<int>(parts_.size()) + 1);
    count_ = 0;
  }
  std::vector<std::string> Finish() {
    parts_.push_back(std::move(current_));
    return std::move(parts_);
  }

 private:
  void Put(const TemplateLine& line, std::string text) {
    for (char& c : text)
      if (static_cast<unsigned char>(c) == 0x8D) c = 'H';
    current_ += text;
    if (line.line_end) current_ += '\n';
    if (split_ > 0) ++count_;
  }

  int split_;
  int count_ = 0;
  std::string current_;
  std::vector<std::string> parts_;
};

Value AreaDescValue(const AreaRecord& area) {
  if (area.description.empty()) return std::nullopt;
  return OneLine(area.description);
}

}  // namespace

ReportClock ReportClockAt(int64_t now) {
  std::tm local = platform::LocalTime(now);
  ReportClock c;
  c.time = platform::FormatTime("%H:%M:%S", local).substr(0, 59);
  c.date = platform::FormatTime("%d %B %Y", local).substr(0, 59);
  return c;
}

std::vector<std::string> RenderNewFiles(const AnnounceTemplate& tpl,
                                        const std::vector<ReportArea>& areas,
                                        const NewFilesOptions& options, const ReportClock& clock) {
  PartWriter out(options.split);
  const Value time = clock.time, date = clock.date, version = options.version;
  for (const TemplateLine& line : tpl.blocks[kHeader])
    out.Header(line, FillMacros(line.text, {{"@VER", version},
                                            {"@STATION", options.station},
                                            {"@TIME", time},
                                            {"@DATE", date}}));
  uint64_t total_files = 0, total_bytes = 0;
  for (const ReportArea& ra : areas) {
    const AreaRecord& area = *ra.area;
    const Value tag = OneLine(area.tag), desc = AreaDescValue(area);
    const Value kind = std::string(area.IsPassthrough() ? "P" : "L");
    for (const TemplateLine& line : tpl.blocks[kAreaHeader])
      out.Body(
          line,
          FillMacros(
              line.text,
              {{"@AREA", tag}, {"@DESC", desc}, {"@P", kind}, {"@TIME", time}, {"@DATE", date}}));
    uint64_t files = 0, bytes = 0;
    for (const TicRecord* tic : ra.tickets) {
      bytes += tic->size;
      ++files;
      std::string name = OneLine(options.lower_case ? Lower(tic->file) : tic->file);
      const std::vector<std::string>& lines = TicDescription(*tic);
      const std::vector<Macro> file_macros = {{"@S", FormatThousands(tic->size)},
                                              {"@O", FormatAddress(tic->origin)},
                                              {"@L", FormatAddress(tic->from)},
                                              {"@F", name},
                                              {"@TIME", time},
                                              {"@DATE", date}};
      for (const TemplateLine& line : tpl.blocks[kFileLines]) {
        MacroLine m(line.text);
        for (const Macro& macro : file_macros) m.Fill(macro.name, macro.value);
        if (!m.Holds("@D") || lines.empty()) {
          m.Fill("@D", std::nullopt);
          out.Body(line, m.Text());
          continue;
        }
        m.Fill("@D", OneLine(lines[0]));
        out.Body(line, m.Text());
        // Further description lines stand under the first, with the name,
        // size and address columns left blank.
        for (size_t i = 1; i < lines.size(); ++i)
          out.Body(line, FillMacros(line.text, {{"@S", std::nullopt},
                                                {"@O", std::nullopt},
                                                {"@L", std::nullopt},
                                                {"@F", std::nullopt},
                                                {"@TIME", time},
                                                {"@DATE", date},
                                                {"@D", OneLine(lines[i])}}));
      }
    }
    for (const TemplateLine& line : tpl.blocks[kAreaFooter])
      out.Body(line, FillMacros(line.text, {{"@AREA", tag},
                                            {"@DESC", desc},
                                            {"@P", kind},
                                            {"@NUMB", std::to_string(files)},
                                            {"@SIZE", FormatThousands(bytes)},
                                            {"@TIME", time},
                                            {"@DATE", date}}));
    total_files += files;
    total_bytes += bytes;
  }
  for (const TemplateLine& line : tpl.blocks[kFooter])
    out.Body(line, FillMacros(line.text, {{"@STATION", options.station},
                                          {"@VER", version},
                                          {"@FNUMB", std::to_string(total_files)},
                                          {"@FSIZE", FormatThousands(total_bytes)},
                                          {"@TIME", time},
                                          {"@DATE", date}}));
  return out.Finish();
}

}  // namespace olvix
