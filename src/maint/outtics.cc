#include "maint/outtics.h"

#include <algorithm>

#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

std::vector<platform::DirEntry> ListSorted(const std::string& dir, const std::string& pattern,
                                           bool with_dirs, platform::EntryDetails details) {
  std::vector<platform::DirEntry> entries;
  (void)platform::ListDirectory(dir, pattern, with_dirs, &entries, details);  // missing: none
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return a.name < b.name; });
  return entries;
}

int ReadWaitingTickets(RunContext& ctx, const std::string& dir, std::vector<WaitingTicket>* out) {
  std::vector<platform::DirEntry> entries = ListSorted(dir, "*.tic", false);
  try {
    out->reserve(out->size() + entries.size());
    TicRecord tic;
    for (const platform::DirEntry& e : entries) {
      WaitingTicket t;
      t.name = e.name;
      t.mtime = e.mtime;
      t.result = ReadTic(ctx, JoinPath(dir, e.name), &tic);
      if (t.result == kTicNoMemory) return kTicNoMemory;
      if (IsBareFileName(tic.file)) t.file = tic.file;
      t.area = tic.area;
      t.magic = tic.magic;
      t.to = tic.to;
      out->push_back(std::move(t));
    }
  } catch (const std::bad_alloc&) {
    return kTicNoMemory;
  }
  return 0;
}

bool TicketUnreadable(const WaitingTicket& t) {
  // Something other than a plain file was never written by this system.
  return t.result != 0 && t.result != kTicInvalid && t.result != platform::NotFoundCode() &&
         t.result != platform::kNotPlainFile;
}

// A read-only attribute stops a removal only on systems that have one, and
// changing the permissions of what turned into a symbolic link since it was
// checked would reach outside the directory: so the attributes are cleared
// only when the plain removal failed.
int RemovePlainFile(RunContext& ctx, const std::string& path) {
  if (platform::RemoveFile(path) == 0) {
    ctx.log.Debug('F', "File \"%s\"  was deleted", OneLine(path).c_str());
    return 0;
  }
  (void)platform::ClearAttributes(path);  // the second try tells whether it helped
  return DeleteLogged(ctx.log, path);
}

}  // namespace olvix
