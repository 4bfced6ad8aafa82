// TOSS: takes every ticket in the inbound, checks it, places its file into
// the fileecho and hands it on to the subscribed links.
//
// The toss is safe against a kill at any point: what it has done is kept in
// its journal (tic/journal.h) before it takes effect, nothing leaves the
// inbound before everything written is durable, and the next TOSS finishes
// an interrupted one. A write that fails ends the toss (status 1) before
// anything is deleted; the next run, with space freed, completes it.
#ifndef OLVIX_TIC_TOSS_H_
#define OLVIX_TIC_TOSS_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tic/journal.h"

namespace olvix {

struct MainConfig;
struct RunContext;
struct TicRecord;
struct AreaRecord;

// What one toss keeps besides the area lists.
struct TossState {
  TossJournal journal;
  // Inbound names set aside this run (rejected, duplicate or repeated
  // tickets and their files): deleted with the rest of the inbound at the
  // end, once everything is durable.
  std::vector<std::string> set_aside;
  // Lower-cased "directory/NAME" of every file a good ticket of this run
  // places: REPLACES never takes one of them.
  std::unordered_set<std::string> placed_names;
  // The inbound as the toss found it: lower-cased name -> the name on disk
  // (the byte-wise smallest of several spellings). Tickets name their
  // files in any case; one listing answers for all of them.
  std::unordered_map<std::string, std::string> inbound_names;
  bool inbound_listed = false;
  // Journal records written with the next batch.
  std::vector<std::vector<std::string>> placed_records;
};

// The inbound path of `name` (a file a ticket names) as it stands on disk.
std::string InboundPath(RunContext& ctx, const std::string& name);

// The whole pipeline. Ends the run (status 1) when a file cannot be placed
// or anything the toss writes fails.
void Toss(RunContext& ctx);

// Loads, checks and registers every inbound ticket in its area's list.
void LoadTics(RunContext& ctx);

// 0 when the ticket is accepted; 1 when rejected (its files were handled by
// RejectTic). `area` receives the ticket's fileecho when accepted.
// `file_crc`: the CRC-32 of the inbound file when the caller has it.
int CheckTic(RunContext& ctx, TicRecord& tic, AreaRecord** area,
             const uint32_t* file_crc = nullptr);
// Copies a rejected ticket and its file to BADPATH (under free names: what
// BADPATH holds is never overwritten) and notes them in its description
// file; the inbound copies go at the end of the toss. Reasons 1 to 8 are
// those of the checks; kRejectBadName is a name the toss cannot use.
inline constexpr int kRejectBadName = 9;
void RejectTic(RunContext& ctx, TicRecord& tic, int reason);

// Whether a received file name can be used: a bare name without blanks or
// control characters that is not the description file's name nor one of
// the work names of this system (".$$$").
bool IsUsableFileName(const RunContext& ctx, const std::string& name);

// Whether the links get the files from the fileecho directories: neither
// long nor brake fileboxes nor a queue directory send them from elsewhere.
bool ServedFromAreaDirectories(const MainConfig& c);

// Whether a mask of a configuration section takes the file or magic name
// `name`; an empty name matches nothing.
bool MaskMatches(const std::string& mask, const std::string& name);

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
// 0, or 1 when a copy or write failed (logged with its path and reason).
int PlaceFiles(RunContext& ctx);
void TouchAutoFlags(RunContext& ctx);
// Deletes the inbound copies of every ticket of the run and of the tickets
// set aside, each file before its ticket.
void CleanInbound(RunContext& ctx, bool delete_files);

// Ends the toss after a failed write: message 9 with the path and the
// system's reason, message 70, status 1. Nothing has been deleted from the
// inbound; the journal lets the next TOSS complete the work.
[[noreturn]] void TossWriteFailed(RunContext& ctx, const std::string& path, int error);

// The toss in progress, or nullptr.
TossState* CurrentToss(RunContext& ctx);

// Appends one record to the journal of the toss in progress (nothing
// outside a toss). A failed write ends the toss (TossWriteFailed).
void JournalRecord(RunContext& ctx, const std::vector<std::string>& words);

// Replaces `target` by `text` through a complete temporary file and a
// rename; in a toss the rename is recorded in the journal as covering
// `tics`, so that a toss taking over after a kill knows whether it
// happened. 0 or the error number (the old file stays).
int CommitText(RunContext& ctx, const std::string& key, const std::string& target,
               const std::string& text, const std::vector<std::string>& tics);
// Whether a commit of `key` in this or an interrupted toss covers `tic`.
bool Covered(RunContext& ctx, const TicRecord& tic, const std::string& key);

}  // namespace olvix

#endif  // OLVIX_TIC_TOSS_H_
