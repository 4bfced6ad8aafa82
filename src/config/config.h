// Loading and writing the three configuration files.
#ifndef OLVIX_CONFIG_CONFIG_H_
#define OLVIX_CONFIG_CONFIG_H_

#include <string>

namespace olvix {

struct RunContext;

// Reads olxlinks.ini from the home directory into ctx.links. A missing file
// leaves the table empty (the driver reports it).
void LoadLinks(RunContext& ctx);
// Reads olvix.ini and its #INCLUDE files into ctx.cfg; an unreadable file
// ends the run with status 1.
void LoadSettings(RunContext& ctx);
// Reads olxareas.ini into ctx.areas. Returns 0, or non-zero when the run
// must end (the message has been logged).
int LoadAreas(RunContext& ctx);
// Rewrite the links and areas files; 0 or an error number.
int SaveLinks(RunContext& ctx);
int SaveAreas(RunContext& ctx);
// EXPORT: writes the tag and description of every fileecho into `file`.
int ExportAreas(RunContext& ctx, const std::string& file);

}  // namespace olvix

#endif  // OLVIX_CONFIG_CONFIG_H_
