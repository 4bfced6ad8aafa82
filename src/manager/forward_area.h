// The fileecho a forward request creates for the tag it asked an uplink
// for.
#ifndef OLVIX_MANAGER_FORWARD_AREA_H_
#define OLVIX_MANAGER_FORWARD_AREA_H_

#include <string>

namespace olvix {

struct AreaRecord;
struct LinkRecord;
struct RunContext;

// Creates the fileecho `tag` fed by `uplink`, with FORWARDAREAFLAGS, and
// rewrites the areas file. Returns it (owned by ctx.areas), or nullptr
// when it could not be created.
AreaRecord* CreateForwardedArea(RunContext& ctx, const std::string& tag, const LinkRecord& uplink);

}  // namespace olvix

#endif  // OLVIX_MANAGER_FORWARD_AREA_H_
