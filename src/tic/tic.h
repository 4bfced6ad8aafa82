// TIC tickets: the record of one ticket and its file form.
#ifndef OLVIX_TIC_TIC_H_
#define OLVIX_TIC_TIC_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/address.h"

namespace olvix {

struct PackerRecord;
struct LinkRecord;
struct RunContext;

struct TicRecord {
  FtnAddress from;
  FtnAddress origin;
  FtnAddress to;
  std::string password;     // upper-cased; empty when absent
  std::string area;         // upper-cased
  std::string area_desc;    // case kept
  std::string file;         // upper-cased
  std::string replaces;     // upper-cased
  std::string magic;        // upper-cased
  std::string tic_name;     // the ticket file that was read
  std::string source_path;  // full path when the file is not in the inbound
  std::vector<std::string> path_list;
  std::vector<std::string> desc_list;
  std::vector<std::string> desc_lines;
  std::vector<std::string> seen_by_list;
  std::vector<std::string> diz_list;
  bool bad = false;
  uint32_t crc = 0;
  uint32_t size = 0;
  const PackerRecord* archiver = nullptr;  // borrowed from MainConfig
};

// Result codes of the ticket reader.
inline constexpr int kTicInvalid = 4081;
inline constexpr int kTicNoMemory = 4082;

// Longest line piece the reader takes at once; the rest of a longer line is
// read as the next line.
inline constexpr size_t kTicLineLimit = 509;
// Longest line written into a ticket, without its line end: what a reader
// taking kTicLineLimit characters at once reads as one piece. Its line end
// then comes as a piece of its own, which holds no blank and makes no line.
inline constexpr size_t kTicWriteLimit = kTicLineLimit;
// A larger ticket is invalid and is not read at all.
inline constexpr size_t kTicMaxSize = 1 << 20;

// Resets every field to its empty value.
void ClearTic(TicRecord* tic);

// Applies one line piece of a ticket (at most kTicLineLimit characters, LF
// line end included or not) to `tic`. Control characters count as blanks
// and are stored as blanks. Unknown keywords and lines without a blank
// change nothing.
void ApplyTicLine(std::string_view piece, TicRecord* tic);

// Whether a filled record makes a valid ticket: a FILE that is a bare file
// name, an AREA and a FROM address with a zone or net.
bool TicIsValid(const TicRecord& tic);

// Parses ticket text (CR LF or LF line ends) into `tic`, which is cleared
// first. Returns 0 with `bad` false for a valid ticket, kTicInvalid with
// `bad` true otherwise. `tic_name` is left empty.
int ParseTic(std::string_view text, TicRecord* tic);

// Reads the ticket file `tic_name` (relative to the current directory or
// absolute) into `tic`. Returns 0 (valid, `bad` false), kTicInvalid (also
// for a file larger than kTicMaxSize), kTicNoMemory,
// platform::kNotPlainFile for anything but a plain file, or the system error
// number of the failed open. The record is cleared first; it keeps
// `tic_name` and whatever was read on failure.
int ReadTic(RunContext& ctx, const std::string& tic_name, TicRecord* tic);

// The text of the ticket for `link` (CR LF line ends) with `now` as the
// time of our Path line.
std::string TicText(RunContext& ctx, const TicRecord& tic, const LinkRecord& link, int64_t now);

// Writes the ticket for `link` into `file_name`, replacing it. The file is
// written under a temporary name in the same directory and renamed into
// place only when every write and the close succeeded, so a mailer never
// sees a partial ticket. Returns 0 or the system error number; on failure
// no temporary file is left.
int WriteTic(RunContext& ctx, const std::string& file_name, const TicRecord& tic,
             const LinkRecord& link);

// The next ticket name of the run's sequence, "olXXXXXX.tic" (lower case),
// whether or not it is taken.
std::string NextTicName(RunContext& ctx);
// A fresh ticket name that does not exist in `dir` (empty: the current
// directory).
std::string NewTicName(RunContext& ctx, const std::string& dir);
// Writes the ticket for `link` into `dir` under a fresh name, taken by
// exclusive creation: `*name` when it is not empty, else the next of the
// sequence; a taken name moves on to the next. On return `*name` holds the
// name tried last. A name that `also_free_in` (when not empty) holds counts
// as taken too: a filebox keeps tickets that have left `dir`. 0 or the
// error number (no file of that name is left then).
int WriteNewTic(RunContext& ctx, const std::string& dir, const TicRecord& tic,
                const LinkRecord& link, std::string* name, const std::string& also_free_in = "");

// True when any text of `list` parses to `address`.
bool SeenByHas(const std::vector<std::string>& list, const FtnAddress& address);

}  // namespace olvix

#endif  // OLVIX_TIC_TIC_H_
