#include "tic/side_files.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "run/context.h"
#include "tic/toss.h"
#include "util/files.h"

namespace olvix {

ReplaceResult ReplaceTextFile(RunContext& ctx, const std::string& path, const std::string& temp,
                              const std::string& contents, bool quiet_open) {
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(temp, "wb", &err);
  if (!f) {
    // A full disk is a failed write, not a file that cannot be opened: a
    // toss stops rather than lose the line.
    if (err == platform::NoSpaceCode() && CurrentToss(ctx)) TossWriteFailed(ctx, temp, err);
    if (!quiet_open)
      ctx.log.Message('!', 3, 0, temp.c_str(), platform::ErrorText(err ? err : EIO).c_str());
    return ReplaceResult::kNotOpened;
  }
  bool written = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
  err = written ? 0 : (errno ? errno : EIO);
  int close_err = ctx.files.Close(f);
  if (err == 0) err = close_err;
  const std::string* failed = &temp;
  if (err == 0) {
    err = platform::RenamePath(temp, path);
    failed = &path;
  }
  if (err == 0) return ReplaceResult::kDone;
  (void)platform::RemoveFile(temp);  // incomplete: the old file stays in place
  // A toss stops here, before anything leaves the inbound; its journal
  // lets the next one finish the work.
  if (CurrentToss(ctx)) TossWriteFailed(ctx, *failed, err);
  ctx.log.Message('!', 0, 9, failed->c_str(), platform::ErrorText(err).c_str());
  return ReplaceResult::kFailed;
}

void AppendLinesOnce(RunContext& ctx, const std::string& path, const std::string& block) {
  std::string text;
  int err = 0;
  if (!ReadWholeFile(path, false, &text, &err) && err != platform::NotFoundCode()) return;
  // Compare whole lines: "\n" before both sides makes a match start at a
  // line's beginning. Lines written on Windows end in CR LF.
  std::string lf = "\n";
  for (char c : text)
    if (c != '\r') lf += c;
  if (lf.find("\n" + block) != std::string::npos) return;
  // A last line without its line end must not run into the first new one.
  if (!text.empty() && text.back() != '\n') text += '\n';
  text += block;
  (void)ReplaceTextFile(ctx, path, path + ".$$$", text, true);  // failures are logged there
}

}  // namespace olvix
