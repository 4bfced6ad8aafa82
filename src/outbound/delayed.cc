// Attaches that had to wait: a link whose flow or list file was in use got
// its reference line in a ".olx" file beside it and its delayed-attach bit.
// The bits are carried to the next run in delayed.att in the home
// directory; every run starts by moving the waiting lines into place.
#include "outbound/delayed.h"

#include <cstdio>

#include "config/records.h"
#include "outbound/busy.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr size_t kLinePiece = 511;  // lines of at most 510 characters

std::string DelayedAttPath(const RunContext& ctx) { return ctx.home + "delayed.att"; }

// Moves the waiting lines of one link into its flow or list file. False
// when they have to wait longer.
bool MoveDelayedLines(RunContext& ctx, LinkRecord& link) {
  std::string base = ctx.cfg.attach_style == AttachStyle::kBink ? BsoBaseName(ctx, link.address)
                                                                : LbsoBaseName(ctx, link.address);
  std::string delayed = base + ".olx";
  std::string target = base + FlowExtension(ctx, link);
  std::string lines;
  if (!ReadWholeFile(delayed, true, &lines)) {
    link.delayed_attach = false;  // nothing waits any more
    return true;
  }
  int error = 0;
  switch (AppendUnderBusyFlag(ctx, base, target, lines, OpenFailure::kQuiet, &error)) {
    case FlowAppend::kWritten:
      link.delayed_attach = false;
      (void)DeleteLogged(ctx.log, delayed);  // logged there
      return true;
    case FlowAppend::kFailed:
      // The lines stay in the delayed file; some may now stand twice in
      // the flow file, which a mailer sends once.
      ctx.log.Message('!', 1, 9, target.c_str(), platform::ErrorText(error).c_str());
      return false;
    case FlowAppend::kLocked:
      return false;
  }
  return false;
}

}  // namespace

void RetryDelayedAttaches(RunContext& ctx) {
  std::string att = DelayedAttPath(ctx);
  int err = 0;
  std::FILE* f = ctx.files.OpenQuiet(att, "r", &err);
  if (!f) return;
  ctx.log.Message('#', 1, 84);
  std::string line;
  while (ReadTextPiece(f, kLinePiece, &line)) {
    StripLineEnd(&line);
    ctx.log.Debug('S', "Link %s have delayed attache", line.c_str());
    if (LinkRecord* link = ctx.links.Find(ParseAddress(line))) link->delayed_attach = true;
  }
  (void)ctx.files.Close(f);  // read only
  // delayed.att stays until shut-down writes it anew: a run killed before
  // then leaves the marks for the next one.

  for (size_t i = 0; i < ctx.links.size(); ++i) {
    LinkRecord& link = ctx.links[i];
    if (link.delayed_attach) (void)MoveDelayedLines(ctx, link);  // a link still held keeps its bit
  }
}

void WritePendingDelayedAttaches(RunContext& ctx) {
  ReleaseBusyFlagSource(ctx);
  std::string text;
  for (size_t i = 0; i < ctx.links.size(); ++i) {
    const LinkRecord& link = ctx.links[i];
    if (!link.delayed_attach) continue;
    if (text.empty()) ctx.log.Message('#', 1, 85);
    std::string address = FormatAddress(link.address);
    ctx.log.Debug('S', "Delayed atttache for %s", address.c_str());
    text += address + "\n";
  }
  std::string att = DelayedAttPath(ctx);
  if (text.empty()) {
    if (Exists(att)) (void)DeleteLogged(ctx.log, att);  // logged there
    return;
  }
  int rc = WriteFileAtomic(att, text);
  if (rc != 0) ctx.log.Message('!', 1, 9, att.c_str(), platform::ErrorText(rc).c_str());
}

}  // namespace olvix
