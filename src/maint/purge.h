// The clean-ups of files nobody needs any more: PURGE (size and age limits
// of local fileechoes, passthrough fileechoes emptied of what no waiting
// ticket names), the purge of kept tickets, and the queue clean after a
// toss.
#ifndef OLVIX_MAINT_PURGE_H_
#define OLVIX_MAINT_PURGE_H_

namespace olvix {

struct RunContext;

// PURGE: reads the purge index, purges every local fileecho with a size or
// age limit and, when neither QUEUEDIR nor fileboxes are in use, every
// passthrough fileecho by the tickets waiting in OUTTICS, removes the
// description entries of deleted files, and rewrites the index. Ends
// without deleting anything or rewriting the index when the index or a
// waiting ticket cannot be read (logged). A description file or the index
// that cannot be rewritten ends the run with status 1 (logged) once every
// fileecho has been purged.
void PurgeCommand(RunContext& ctx);

// Deletes the tickets in KEEPTICS older than KEEPTICSDAYS whole days.
void PurgeKeptTics(RunContext& ctx);

// After a toss: deletes every file of QUEUEDIR that no ticket in OUTTICS
// names. Does nothing without QUEUEDIR, and deletes nothing when a waiting
// ticket cannot be read (logged).
void QueueClean(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_MAINT_PURGE_H_
