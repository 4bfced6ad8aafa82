// Placeholder until the outbound lands.
#include "outbound/delayed.h"

namespace olvix {
void RetryDelayedAttaches(RunContext&) {}
void WritePendingDelayedAttaches(RunContext&) {}
}  // namespace olvix
