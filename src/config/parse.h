// The text-level halves of the configuration readers and writers: they take
// and return file contents, so tests can feed them string literals. The
// functions of config.h wrap them with file access.
#ifndef OLVIX_CONFIG_PARSE_H_
#define OLVIX_CONFIG_PARSE_H_

#include <string>

#include "config/records.h"

namespace olvix {

struct RunContext;

// --- olxlinks.ini -------------------------------------------------------

// Reads one line of olxlinks.ini. Returns false for comments, other
// keywords and LINK lines with a missing field.
bool ParseLinkLine(const std::string& line, LinkRecord* link);
// Appends the links of a whole olxlinks.ini text to ctx.links.
void LoadLinksText(RunContext& ctx, const std::string& text);
// The written form of a link: one line ending in "\n".
std::string FormatLinkLine(const LinkRecord& link);
// The new olxlinks.ini made from the old text and ctx.links: comments stay
// where they were, every LINK line takes the next record.
std::string RewriteLinksText(RunContext& ctx, const std::string& old_text);

// --- olxareas.ini -------------------------------------------------------

// Appends the fileechoes of a whole olxareas.ini text to ctx.areas. Returns
// 0, or 1 after messages 104 and 113 when a subscriber is no known link.
int LoadAreasText(RunContext& ctx, const std::string& text);
// The written form of a fileecho (sorts its subscribers by address).
std::string FormatAreaBlock(AreaRecord& area, bool short_links);
// The new olxareas.ini made from the old text and ctx.areas; fileechoes
// without an AREA line in the old text are appended, each after a ";" line.
std::string RewriteAreasText(RunContext& ctx, const std::string& old_text);

// --- olvix.ini ----------------------------------------------------------

// Processes the text of olvix.ini (named `file_name` in messages) into
// ctx.cfg, including #INCLUDE files from disk, then finishes the settings
// (fileboxes mark, UTC). Fatal errors end the run through Shutdown.
void LoadSettingsText(RunContext& ctx, const std::string& text,
                      const std::string& file_name = "olvix.ini");
// The offset from UTC in whole hours from the wall-clock readings of the
// same moment: (local hhmm - UTC hhmm) brought into -1200..1200, / 100.
int32_t UtcOffsetHours(int local_hour, int local_min, int utc_hour, int utc_min);

}  // namespace olvix

#endif  // OLVIX_CONFIG_PARSE_H_
