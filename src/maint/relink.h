// RELINK: hands this system's subscriptions from one link to another
// (typically from an old uplink to a new one) and asks both robots by
// letter: "+tag" lines to the new link, "-tag" lines to the old one.
#ifndef OLVIX_MAINT_RELINK_H_
#define OLVIX_MAINT_RELINK_H_

#include <string>

namespace olvix {

struct RunContext;

// Moves every subscription of the link `old_text` that is not read-only,
// in the fileechoes whose tags match `mask` (upper-cased; empty: "*"), to
// the link `new_text`, sends the two letters to "AllFix" and rewrites the
// areas file. An empty text names no link. Unknown links: message 104 and
// nothing changes. When the new link is subscribed already, the old
// subscription is dropped and the new one stays as it was. A letter or
// file that cannot be written ends the run (status 1, logged) with the
// areas file as it was.
void RunRelink(RunContext& ctx, const std::string& old_text, const std::string& new_text,
               const std::string& mask);

}  // namespace olvix

#endif  // OLVIX_MAINT_RELINK_H_
