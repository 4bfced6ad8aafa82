// The text of the new-files report, made from a template over the files a
// run accepted. Nothing here touches files.
#ifndef OLVIX_ANNOUNCE_REPORT_H_
#define OLVIX_ANNOUNCE_REPORT_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "announce/template.h"

namespace olvix {

struct AreaRecord;
struct TicRecord;

// @TIME and @DATE, taken once per report.
struct ReportClock {
  std::string time;  // "%H:%M:%S"
  std::string date;  // "%d %B %Y"
};
ReportClock ReportClockAt(int64_t now);

struct NewFilesOptions {
  // Lines per message part; 0 or less: one part (the text report).
  int split = 0;
  bool lower_case = false;             // ANNLOWERCASE: @F in lower case
  std::string version;                 // @VER, the whole tear line
  std::optional<std::string> station;  // @STATION; nullopt when not set
};

// What the report covers: fileechoes in table order, each with its good
// tickets in list order.
struct ReportArea {
  const AreaRecord* area = nullptr;
  std::vector<const TicRecord*> tickets;
};

// The report over `areas`, as message bodies (LF line ends): one per part
// when the report is split every `split` counted lines, else one. Texts
// that came from other systems (tags, descriptions, file names) are made
// single-line first; the byte 8D (CP866 capital EN) becomes "H".
std::vector<std::string> RenderNewFiles(const AnnounceTemplate& tpl,
                                        const std::vector<ReportArea>& areas,
                                        const NewFilesOptions& options, const ReportClock& clock);

}  // namespace olvix

#endif  // OLVIX_ANNOUNCE_REPORT_H_
