// Description files of the directories that receive files (DESCNAME, one
// entry per file: a DESCLINE entry line and continuation lines), and
// FILE_ID.DIZ taken from and put into archives through the [PACKERS]
// commands.
//
// None of the description-file functions changes the current directory:
// they take the directory and work on the file in it. The archive steps do
// change it, because the archivers unpack into and pack from it.
#ifndef OLVIX_TIC_DESCRIPTIONS_H_
#define OLVIX_TIC_DESCRIPTIONS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace olvix {

struct AreaRecord;
struct MainConfig;
struct PackerRecord;
struct RunContext;
struct TicRecord;

// --- Entries ------------------------------------------------------------

// Fills the macro `macro` ("@S", "@N" or "@D") of a DESCLINE template in
// `line`. A macro with extra "@" directly before it is a fixed-width field
// (the macro and those "@"): only its first occurrence is filled, left-aligned
// ("@S" right-aligned), padded with blanks and cut at the field width. A
// macro without extra "@" is replaced by the value at every occurrence;
// inserted values are never searched again.
void ExpandDescLine(const std::string& macro, const std::string& value, std::string* line);

// The entry line: `tmpl` with "@S" = size, then "@N" = name, then "@D" =
// the first description line. Values inserted for one macro are not taken
// for another (a file named "A@D.ZIP" stays as it is).
std::string FormatDescLine(const std::string& tmpl, uint32_t size, const std::string& name,
                           const std::string& first_line);

// The description of a ticket: its FILE_ID.DIZ lines when there are any,
// else its DESC lines.
const std::vector<std::string>& TicDescription(const TicRecord& tic);

// Appends the entry of `tic` to `out`: the entry line (the first line of
// the description, or "No description found"), then one continuation line
// per further line (ContinuationLead, the line). Lines end in LF and are
// cut to kDescLineLimit. Logs message 40.
void WriteDescEntry(RunContext& ctx, const TicRecord& tic, std::string* out);

// Longest line written into a description file, without its line end: the
// readers of such files take lines of up to 255 characters.
inline constexpr size_t kDescLineLimit = 255;

// What begins a continuation line: DESCWIDTH-1 blanks, then DESCCHAR; one
// blank when that would be nothing, so that a continuation line never
// begins like an entry line.
std::string ContinuationLead(const MainConfig& cfg);

// How a line of a description file (tabs expanded, no line end) is taken.
enum class DescLineKind { kEntry, kContinuation, kOther };
// Classifies `line`; for an entry line `name` receives its file name (the
// text before the first blank).
DescLineKind ClassifyDescLine(const MainConfig& cfg, const std::string& line, std::string* name);

// The description lines of every entry of the description file of `dir`
// (empty: the current directory), by upper-cased file name; a name with
// several entries gets the lines of all of them. A missing file gives none.
using DescEntries = std::unordered_map<std::string, std::vector<std::string>>;
DescEntries ReadDescEntries(const RunContext& ctx, const std::string& dir);

// Appends the lines `entries` hold for `tic->file` (without regard to case)
// to `tic->desc_list`, with the debug line of a look into the file.
void TakeDescEntry(RunContext& ctx, const DescEntries& entries, TicRecord* tic);

// ReadDescEntries and TakeDescEntry for one file.
void ReadDescEntry(RunContext& ctx, const std::string& dir, TicRecord* tic);

// Removes the entries of `names` (without regard to case), with their
// continuation lines, from the description file of `dir`. The file is
// rewritten through a temporary file; kept lines are written tab-expanded.
// Returns 0, or the system error number with the file unchanged.
int RemoveDescEntries(RunContext& ctx, const std::string& dir,
                      const std::vector<std::string>& names);

// A description file of `dir` that cannot be rewritten ends the run before
// the files it should describe are sent: a toss through TossWriteFailed (its
// journal lets the next TOSS finish), anything else with message 9 and
// status 1 (HATCH is run again).
[[noreturn]] void DescWriteFailed(RunContext& ctx, const std::string& dir, int rc);

// Appends the entries of `tickets` to the description file of `dir`,
// creating it when missing. The file is rewritten through a temporary file,
// so a failure leaves the old file as it was. Returns 0 or the system error
// number.
int AppendDescEntries(RunContext& ctx, const std::string& dir,
                      const std::vector<const TicRecord*>& tickets);

// Cuts every line longer than `width` into pieces of at most `width`
// characters, at the last blank within the first `width` + 1 characters when
// it lies at most 10 characters back (the blank is dropped), else hard after
// `width` characters. A width of 0 or less changes nothing.
std::vector<std::string> CutDescriptionLines(const std::vector<std::string>& lines, int width);

// DESCLIMIT: replaces `tic->diz_list` with the cut lines of the ticket's
// description; `desc_list` stays whole for the tickets sent on.
void CutDescriptions(RunContext& ctx, TicRecord* tic);

// --- Toss steps -----------------------------------------------------------

// The directory a ticket's file was placed in (the toss's destination rule).
using DestinationFn = std::function<std::string(const AreaRecord&, const TicRecord&)>;

// The good tickets of the non-passthrough fileechoes grouped by destination
// directory: directories in the order they first come up (fileechoes in
// table order, tickets in list order), tickets in that order within each.
struct DescBatch {
  std::string dir;
  std::vector<const TicRecord*> tickets;
};
std::vector<DescBatch> BatchByDestination(RunContext& ctx, const DestinationFn& destination);

// Removes the old entries of the files tossed into each directory (message
// 38 per directory), one rewrite per directory. A failed rewrite ends the
// run (status 1, logged).
void DeleteOldDescriptions(RunContext& ctx, const DestinationFn& destination);
// Appends the entries of the files tossed into each directory (message 39
// per directory), one rewrite per directory. A failed rewrite ends the run
// (status 1, logged).
void WriteNewDescriptions(RunContext& ctx, const DestinationFn& destination);

// --- Archives and FILE_ID.DIZ -------------------------------------------

// The [PACKERS] archiver of a file: by the extension of its name (the text
// after the first "."), else by the signature found at the archiver's
// offset in the file. nullptr when none matches.
const PackerRecord* DetectArchiver(const MainConfig& cfg, const std::string& path);

// A [PACKERS] command template with "@NAME" (any case) replaced by
// `archive_path` quoted as one word for the command interpreter and "@FILE"
// by "file_id.diz".
std::string PackerCommand(const std::string& tmpl, const std::string& archive_path);

// Takes one line piece of a FILE_ID.DIZ through DIZSKIPEMPTY, [BADSTRINGS],
// DIZCLEAN and tab expansion; appends what survives to `out`.
void AddDizLine(const MainConfig& cfg, std::string_view piece, std::vector<std::string>* out);

// Detects the archiver of `tic->file` in `dir` (stored in `tic->archiver`)
// and, when it has an EXTRACT command, unpacks file_id.diz into the current
// directory and appends its lines to `tic->diz_list`. file_id.diz stays for
// the caller to delete.
void ExtractDiz(RunContext& ctx, const std::string& dir, TicRecord* tic);
// The same for the archive at `archive` (an absolute on-disk path).
void ExtractDizAt(RunContext& ctx, const std::string& archive, TicRecord* tic);

// Enters a work directory of its own under the home directory, for the
// archivers to unpack file_id.diz into; returns its path ("" when it cannot
// be made or entered). LeaveDizWorkDir removes it again.
std::string EnterDizWorkDir(RunContext& ctx);
void LeaveDizWorkDir(RunContext& ctx, const std::string& dir);

// Toss step: ExtractDiz for every good ticket of every fileecho without
// flag D, unpacking in a work directory of its own under the home
// directory.
void ExtractDizFromArchives(RunContext& ctx);

// Toss step: puts a FILE_ID.DIZ made from the DESC lines into the archive
// of every good ticket without FILE_ID.DIZ lines whose archiver has an ADD
// command, in the directory of every fileecho without flags P and D. When
// the files are served from the fileecho directories, the ticket's crc and
// size are taken anew from the changed archive.
void AddDizToArchives(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_TIC_DESCRIPTIONS_H_
