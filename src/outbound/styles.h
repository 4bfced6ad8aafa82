// Handing one file to one link through the outbound, in the one style the
// configuration chose: flow files (BINK), list files (LBSO), three kinds of
// fileboxes, or file-attach letters (AMA).
#ifndef OLVIX_OUTBOUND_STYLES_H_
#define OLVIX_OUTBOUND_STYLES_H_

#include <string>
#include <unordered_map>
#include <vector>

#include "util/address.h"

namespace olvix {

struct LinkRecord;
struct RunContext;
struct TicRecord;

// What becomes of the file once the mailer has sent it.
enum class AfterSending { kKeep, kKill };
// Whether a filebox may receive the file as a hard link (HARDLINKS).
enum class BoxPlacement { kCopyOnly, kMayLink };

// Logs message 49 and attaches the file at `path` for `link` in the
// configured style. Returns 0 when the file or a reference to it was
// placed, or the attach was delayed (the link then has its delayed-attach
// bit); otherwise non-zero (an error number, or 1), after logging why.
// `shown`: the file's name in message 49 when not the name part of `path`
// (the name a ticket gives a file stored under its lower-case name).
[[nodiscard]] int SendFileToLink(RunContext& ctx, const std::string& path, LinkRecord& link,
                                 AfterSending after, BoxPlacement placement,
                                 const std::string& shown = "");

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

// Every directory where this system writes for the mailer, each once: the
// outbound root, the zone and point directories and fileboxes of the links,
// OUTMAIL when it is set. Nothing is created.
std::vector<std::string> OutboundDirectories(const RunContext& ctx);

// The flow or list file line of one file: "^" when it goes once sent, the
// file's on-disk path, LF. Empty when the path holds a line break.
std::string FlowLine(const std::string& path, AfterSending after);
// The same for a path that is known to stand as written on disk (a file
// this system just made under its own name): no lookup.
std::string FlowLineOnDisk(const std::string& path, AfterSending after);

// Lines for the flow and list files of a sending pass: each link's file is
// rewritten once, at the end of the pass, under its busy flag.
struct FlowBatch {
  struct Entry {
    LinkRecord* link;
    std::string base;  // flow file name without extension
    std::string flow;
    std::string lines;
    std::vector<std::string> tics;  // the inbound tickets the lines serve
    size_t count = 0;               // lines
  };
  std::vector<Entry> entries;
  std::unordered_map<std::string, size_t> by_flow;  // lower-cased flow path
};

// Adds flow lines for `link` (BINK and LBSO): to the open batch
// (ctx.flow_batch) or, without one, to the flow file at once. `tic` names
// the inbound ticket they serve, for the journal of a toss ("" for none).
// 0 or the error number (logged).
int AddFlowLines(RunContext& ctx, LinkRecord& link, const std::string& lines,
                 const std::string& tic);
// Writes the lines of every link of the batch, each link's file through a
// complete temporary file and a rename under its busy flag, or into its
// ".olx" file while a mailer holds the flag. 0 or the first error (logged).
int FlushFlowBatch(RunContext& ctx, FlowBatch& batch);
// Whether the flow or delayed file of `link` was committed with the lines
// of `tic` by this or an interrupted toss.
bool FlowCovers(RunContext& ctx, const TicRecord& tic, const LinkRecord& link);

// Result of appending to a link's flow or list file.
enum class FlowAppend { kWritten, kLocked, kFailed };
enum class OpenFailure { kLog, kQuiet };
// Appends `lines` to `flow_path` while holding the link's busy flag
// (`base` + ".bsy"), created exclusively; the file is rewritten through a
// temporary file, and lines that already end it are not added again.
// kLocked when a mailer holds the flag (message 0 with kLog when the flag
// cannot be made); kFailed (error number in *error) when the rewrite failed.
FlowAppend AppendUnderBusyFlag(RunContext& ctx, const std::string& base,
                               const std::string& flow_path, const std::string& lines,
                               OpenFailure report, int* error);

}  // namespace olvix

#endif  // OLVIX_OUTBOUND_STYLES_H_
