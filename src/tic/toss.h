// TOSS: takes every ticket in the inbound, checks it, places its file into
// the fileecho and hands it on to the subscribed links.
#ifndef OLVIX_TIC_TOSS_H_
#define OLVIX_TIC_TOSS_H_

#include <string>
#include <unordered_set>
#include <vector>

namespace olvix {

struct RunContext;
struct TicRecord;
struct AreaRecord;

// The whole pipeline. Ends the run (status 1) when a file cannot be placed.
void Toss(RunContext& ctx);

// Loads, checks and registers every inbound ticket in its area's list.
void LoadTics(RunContext& ctx);

// What a ticket set aside does with its file in the inbound: kMove takes it
// away; kCopy leaves it there because an accepted ticket of the run names
// the same file and still has to place it (the inbound is cleaned at the end).
enum class InboundFile { kMove, kCopy };

// 0 when the ticket is accepted; 1 when rejected (its files were handled by
// RejectTic). `area` receives the ticket's fileecho when accepted.
int CheckTic(RunContext& ctx, TicRecord& tic, AreaRecord** area,
             InboundFile file = InboundFile::kMove);
// Moves a rejected ticket and its file to BADPATH. Reasons 1 to 8 are those
// of the checks; kRejectBadName is a name that would leave the inbound.
inline constexpr int kRejectBadName = 9;
void RejectTic(RunContext& ctx, TicRecord& tic, int reason, InboundFile file = InboundFile::kMove);

// The directory a file goes to: the first matching [AUTOCOPY] directory,
// else the fileecho's directory.
std::string DestinationDir(RunContext& ctx, const TicRecord& tic);
std::string DestinationDir(RunContext& ctx, const std::string& file, const std::string& magic,
                           const std::string& area_tag);

// Whether the REPLACES value of `tic` is honoured in `area`: not
// passthrough, not in NOREPLACE, allowed by REPLACES, no flag R on the
// fileecho and no option R on the sending link.
bool ReplacesAllowed(const RunContext& ctx, const AreaRecord& area, const TicRecord& tic);
// Deletes the files of `dir` that match the REPLACES value of `tic`, with
// their description entries (message 47, then 40 per file); never the
// description file nor a name (upper-cased) in `keep`.
void RemoveReplaced(RunContext& ctx, const AreaRecord& area, const TicRecord& tic,
                    const std::string& dir, const std::unordered_set<std::string>& keep = {});

void DupeCheck(RunContext& ctx);
// 0, or 1 when a copy failed.
int PlaceFiles(RunContext& ctx);
void TouchAutoFlags(RunContext& ctx);
void CleanInbound(RunContext& ctx, bool delete_files);

// The name FILE.ZIP takes when it is kept beside a newer file: the last
// characters replaced by "~" and n (FILE.Z~1).
std::string TildeName(const std::string& name, int n);

}  // namespace olvix

#endif  // OLVIX_TIC_TOSS_H_
