// Busy flags beside flow and list files: while a mailer is in session with
// a link it holds "<base>.bsy" and may read or truncate the link's flow
// file; while this program writes that file, the flag is ours.
//
// Our flags say that they are ours and which run holds them: each is a
// further name of one file per run that holds "olvix <pid>" and that the
// run keeps locked. A flag of ours whose run is gone (a kill) is removed
// by the next run that needs it, with a log line; any other flag is the
// mailer's and is left alone.
#ifndef OLVIX_OUTBOUND_BUSY_H_
#define OLVIX_OUTBOUND_BUSY_H_

#include <string>

namespace olvix {

struct RunContext;

// Puts up the busy flag `busy` (created exclusively): 0 when it is ours
// now, already-exists when a mailer (or a live run) holds it, else the
// error.
int TakeBusyFlag(RunContext& ctx, const std::string& busy);
// Takes the flag down again.
void DropBusyFlag(RunContext& ctx, const std::string& busy);

// At start-up: when a run of ours was killed while it had flags up, every
// flag of the outbound that a run of ours left behind is removed (logged).
void RemoveStaleBusyFlags(RunContext& ctx);

// Whether `busy` is a flag of ours whose run has ended.
bool IsStaleBusyFlag(const std::string& busy);

// Removes the file the busy flags of this run were made from (at
// shut-down; the flags themselves are gone by then).
void ReleaseBusyFlagSource(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_BUSY_H_
