// Loading and writing the three configuration files.
#ifndef OLVIX_CONFIG_CONFIG_H_
#define OLVIX_CONFIG_CONFIG_H_

#include <cstdio>
#include <string>

namespace olvix {

struct RunContext;
struct LinkRecord;
struct AreaRecord;

// Reads olxlinks.ini from the home directory into ctx.links. A missing file
// leaves the table empty (the driver reports it).
void LoadLinks(RunContext& ctx);
// Reads olvix.ini and its #INCLUDE files into ctx.cfg; an unreadable file
// ends the run with status 1.
void LoadSettings(RunContext& ctx);
// Reads olxareas.ini into ctx.areas. Returns 0, or non-zero when the run
// must end (the message has been logged).
int LoadAreas(RunContext& ctx);
// Rewrite the links and areas files; 0 or an error number. A failed write
// leaves the old file in place (message 9).
int SaveLinks(RunContext& ctx);
int SaveAreas(RunContext& ctx);
// Write the written form of one link or one fileecho to `out`, with the
// debug line of category H; 0 or an error number. The area block sorts the
// fileecho's subscribers by address.
int WriteLinkLine(RunContext& ctx, std::FILE* out, const LinkRecord& link);
int WriteAreaBlock(RunContext& ctx, std::FILE* out, AreaRecord& area);
// EXPORT: writes the tag and description of every fileecho into `file`.
int ExportAreas(RunContext& ctx, const std::string& file);

}  // namespace olvix

#endif  // OLVIX_CONFIG_CONFIG_H_
