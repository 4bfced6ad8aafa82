// The tickets waiting in OUTTICS for the mailer: what PURGE, the queue
// clean and OLDCHECK learn from them.
#ifndef OLVIX_MAINT_OUTTICS_H_
#define OLVIX_MAINT_OUTTICS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "util/address.h"

namespace olvix {

struct RunContext;

struct WaitingTicket {
  std::string name;  // the ticket's file name as listed
  int64_t mtime = 0;
  int result = 0;  // of ReadTic: 0, kTicInvalid, or the error number of the open
  // As far as they were read (an invalid ticket may still name its file).
  std::string file;  // a bare file name or empty
  std::string area;
  std::string magic;
  FtnAddress to;
};

// Reads every "*.tic" file of `dir`, in name order. Returns 0, or
// kTicNoMemory when memory ran out (reading stopped there).
int ReadWaitingTickets(RunContext& ctx, const std::string& dir, std::vector<WaitingTicket>* out);

// The entries of `dir` matching `pattern`, in name order (byte-wise), so
// that runs over the same directory act and log in the same order. A
// missing directory lists nothing. kNamesOnly for callers that need no
// size or time.
std::vector<platform::DirEntry> ListSorted(
    const std::string& dir, const std::string& pattern, bool with_dirs,
    platform::EntryDetails details = platform::EntryDetails::kFull);

// Whether the files a ticket protects cannot be known: a ticket that was
// read (valid or not) names them, one that vanished since the listing or
// is no plain file protects nothing; any other failure to open it leaves
// them unknown.
bool TicketUnreadable(const WaitingTicket& t);

// Removes a plain file; 0 when it is gone, else the error (logged as a
// debug line). The removal is tried before the attributes are touched.
int RemovePlainFile(RunContext& ctx, const std::string& path);

}  // namespace olvix

#endif  // OLVIX_MAINT_OUTTICS_H_
