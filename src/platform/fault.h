// The fault-injection seam of the platform layer, in the build made for
// tests only (OLVIX_FAULT_INJECTION): every operation that changes a file
// passes a fault point. The product build has neither the points nor this
// function.
//
// Plans (also read from the environment variable OLVIX_FAULT at start):
//   "kill:N"           the process dies as by SIGKILL just before operation N;
//   "enospc:N[:TEXT]"  from operation N on, every operation that needs space
//                      (on paths holding TEXT, when given) fails with ENOSPC;
//   "nosync:0"         making written files durable is left out (for the
//                      benchmark that weighs what it costs);
//   ""                 no faults.
#ifndef OLVIX_PLATFORM_FAULT_H_
#define OLVIX_PLATFORM_FAULT_H_

#include <string>

namespace olvix::platform {

// Replaces the plan and restarts the count.
void SetFaultPlan(const std::string& plan);

}  // namespace olvix::platform

#endif  // OLVIX_PLATFORM_FAULT_H_
