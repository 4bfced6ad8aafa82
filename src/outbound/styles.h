// Handing one file to one link through the outbound, in the one style the
// configuration chose: flow files (BINK), list files (LBSO), three kinds of
// fileboxes, or file-attach letters (AMA).
#ifndef OLVIX_OUTBOUND_STYLES_H_
#define OLVIX_OUTBOUND_STYLES_H_

#include <string>

#include "util/address.h"

namespace olvix {

struct LinkRecord;
struct RunContext;

// What becomes of the file once the mailer has sent it.
enum class AfterSending { kKeep, kKill };
// Whether a filebox may receive the file as a hard link (HARDLINKS).
enum class BoxPlacement { kCopyOnly, kMayLink };

// Logs message 49 and attaches the file at `path` for `link` in the
// configured style. Returns 0 when the file or a reference to it was
// placed, or the attach was delayed (the link then has its delayed-attach
// bit); otherwise non-zero (an error number, or 1), after logging why.
[[nodiscard]] int SendFileToLink(RunContext& ctx, const std::string& path, LinkRecord& link,
                                 AfterSending after, BoxPlacement placement);

// The styles themselves; same results as SendFileToLink.
[[nodiscard]] int AttachBso(RunContext& ctx, const std::string& path, LinkRecord& link,
                            AfterSending after);
[[nodiscard]] int AttachLbso(RunContext& ctx, const std::string& path, LinkRecord& link,
                             AfterSending after);
[[nodiscard]] int AttachFilebox(RunContext& ctx, const std::string& path, const LinkRecord& link,
                                AfterSending after, BoxPlacement placement);
[[nodiscard]] int AttachArcMail(RunContext& ctx, const std::string& path, const LinkRecord& link,
                                AfterSending after);

// The flow-file base name of `a` (the full path without the flavour
// extension), creating its zone and point directories:
// <OUTBOUND>[.zzz]/nnnnffff[.pnt/pppppppp].
std::string BsoBaseName(RunContext& ctx, const FtnAddress& a);
// The list-file base name of `a`: <OUTBOUND>/Fidonet.z.n.f.p.
std::string LbsoBaseName(RunContext& ctx, const FtnAddress& a);
// The extension of `link`'s flow file (BINK) or list file (every other
// style) for its current flavour.
std::string FlowExtension(const RunContext& ctx, const LinkRecord& link);

// The link's filebox directory (ending in the separator), created; empty
// when no filebox style is in use.
std::string FileboxPath(RunContext& ctx, const LinkRecord& link);
// Places the file at `path` into the box directory `box` by hard link,
// falling back to a copy. Returns 0 or 1.
int SendLink(RunContext& ctx, const std::string& path, const std::string& box);
// The branch of SendLink for a box on another volume than the file: the
// first box gets a copy, every later box a hard link to that copy
// (ctx.first_copies). Returns 0 or 1.
int SendLinkAcrossVolumes(RunContext& ctx, const std::string& path, const std::string& box);

// Removes the file the busy flags of this run were made from (at
// shut-down; the flags themselves are gone by then).
void ReleaseBusyFlagSource(RunContext& ctx);

// Result of appending to a link's flow or list file.
enum class FlowAppend { kWritten, kLocked, kFailed };
enum class OpenFailure { kLog, kQuiet };
// Appends `lines` to `flow_path` while holding the link's busy flag
// (`base` + ".bsy"), created exclusively. kLocked when a mailer holds the
// flag or the file cannot be opened (message 0 with kLog); kFailed (error
// number in *error) when a write or the close failed.
FlowAppend AppendUnderBusyFlag(RunContext& ctx, const std::string& base,
                               const std::string& flow_path, const std::string& lines,
                               OpenFailure report, int* error);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_STYLES_H_
