// Handing accepted files on to the links that take their fileecho.
#ifndef OLVIX_OUTBOUND_RECEIVERS_H_
#define OLVIX_OUTBOUND_RECEIVERS_H_

#include <vector>

namespace olvix {

struct RunContext;
struct AreaRecord;
struct TicRecord;
struct LinkRecord;

// The subscribers of `area` that receive the ticket's file, in subscriber
// order; each is appended to the ticket's SEEN-BY list as it is chosen.
std::vector<LinkRecord*> ChooseReceivers(RunContext& ctx, AreaRecord& area, TicRecord& tic);

// Sends every good ticket of every area to its receivers: the file first,
// then a fresh ticket written for the link.
void SendToLinks(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_RECEIVERS_H_
