// Attaches that could not be written because the outbound file was in use.
#ifndef OLVIX_OUTBOUND_DELAYED_H_
#define OLVIX_OUTBOUND_DELAYED_H_

namespace olvix {

struct RunContext;

// At start-up: writes the attaches that earlier runs had to delay.
void RetryDelayedAttaches(RunContext& ctx);
// At shut-down: writes the attaches of this run that are still pending.
void WritePendingDelayedAttaches(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_DELAYED_H_
