// Text files beside the fileechoes that the toss keeps up to date for other
// programs (the magic names file, the file-request directory list, the
// BLSTBBS configuration, the description file of a base directory). Each is
// replaced as a whole: a reader sees the old file or the new one, never a
// part of either.
#ifndef OLVIX_TIC_SIDE_FILES_H_
#define OLVIX_TIC_SIDE_FILES_H_

#include <string>

namespace olvix {

struct RunContext;

enum class ReplaceResult {
  kDone,
  kNotOpened,  // `temp` could not be created; nothing was changed
  kFailed,     // a write, the close or the rename failed (message 9 logged)
};

// Replaces `path` by `contents`: written to `temp` (in the same directory),
// checked and closed, then renamed onto `path`. On any failure `temp` is
// removed and `path` stays as it was. A `temp` that cannot be created is
// reported as message 0 unless `quiet_open`. A failed write during a toss
// (a full disk included, even for `temp`) ends the toss (TossWriteFailed);
// elsewhere it is logged and returned.
ReplaceResult ReplaceTextFile(RunContext& ctx, const std::string& path, const std::string& temp,
                              const std::string& contents, bool quiet_open);

// Appends `block` (whole lines, each ending in "\n") to `path`, creating it
// when missing, through ReplaceTextFile with the temporary name
// path + ".$$$". Nothing is written when the file already holds exactly
// these lines one after another, so a step repeated after an interrupted
// run does not add them twice. A file that cannot be read, or a temporary
// file that cannot be created, is skipped silently.
void AppendLinesOnce(RunContext& ctx, const std::string& path, const std::string& block);

}  // namespace olvix

#endif  // OLVIX_TIC_SIDE_FILES_H_
