// Placeholder until the configuration readers land.
#include "config/config.h"
#include "run/context.h"

namespace olvix {
void LoadLinks(RunContext& ctx) { ctx.log.Message('#', 1, 7); }
void LoadSettings(RunContext& ctx) { ctx.log.Message('#', 1, 42); }
int LoadAreas(RunContext& ctx) {
  ctx.log.Message('#', 1, 8);
  return 0;
}
int SaveLinks(RunContext&) { return 0; }
int SaveAreas(RunContext&) { return 0; }
int ExportAreas(RunContext&, const std::string&) { return 0; }
}  // namespace olvix
