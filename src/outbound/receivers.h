// Handing accepted files on to the links that take their fileecho.
#ifndef OLVIX_OUTBOUND_RECEIVERS_H_
#define OLVIX_OUTBOUND_RECEIVERS_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;
struct AreaRecord;
struct TicRecord;
struct LinkRecord;

// The subscribers of `area` that receive the ticket's file, in subscriber
// order; each is appended to the ticket's SEEN-BY list as it is chosen.
std::vector<LinkRecord*> ChooseReceivers(RunContext& ctx, AreaRecord& area, TicRecord& tic);

// Sends one file with a fresh ticket to one link: the ticket is written into
// OUTTICS for `link` (from `tic`, whose SEEN-BY list must already hold every
// receiver of this pass), then the file at `source` and the ticket are
// attached together. Returns 0 when both were attached or the attach was
// delayed, else an error number (logged).
int SendFileWithTicket(RunContext& ctx, const std::string& source, const TicRecord& tic,
                       LinkRecord& link);

// Sends every good ticket of every area to its receivers: the file first,
// then a fresh ticket written for the link.
// Returns 0, or the first error of a write that failed (in a toss such an
// error ends the run there).
int SendToLinks(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_RECEIVERS_H_
