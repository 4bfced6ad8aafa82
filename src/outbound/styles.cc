// Flow files, list files, file-attach letters and the choice among the
// styles. Fileboxes are in filebox.cc.
#include "outbound/styles.h"

#include <cstdio>
#include <unordered_set>
#include <vector>

#include "config/records.h"
#include "manager/letter.h"
#include "outbound/busy.h"
#include "outbound/names.h"
#include "platform/platform.h"
#include "run/context.h"
#include "run/version.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

NameCase OutboundCase() {
  return platform::LowerCaseOutboundNames() ? NameCase::kLower : NameCase::kUpper;
}

// OUTBOUND without a trailing separator: the flow styles append a zone
// extension or a separator themselves.
std::string OutboundRoot(const RunContext& ctx) {
  std::string root = ctx.cfg.outbound;
  while (root.size() > 1 && platform::IsSep(root.back())) root.pop_back();
  return root;
}

// The on-disk path other programs are given for a file: absolute, with the
// case of the names as they stand in their directories.
std::string MailerPath(const std::string& path) {
  return platform::NativePath(platform::AbsolutePath(path));
}

// A line break in a path would end the reference early and add a line of
// the sender's choosing to the flow file.
bool FitsOnOneLine(const std::string& path) {
  return path.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The journal keys of a link's flow (or list) file and its delayed file.
std::string FlowKey(const LinkRecord& link) { return "flow:" + FormatAddress(link.address); }
std::string DelayedKey(const LinkRecord& link) { return "olx:" + FormatAddress(link.address); }

// `text` with `lines` added at its end, a missing last line end supplied.
std::string Appended(std::string text, const std::string& lines) {
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text + lines;
}

// Adds `lines` to the file `path` by writing the whole new file and
// renaming it into place (recorded under `key` for `tics` in a toss): a
// kill or a full disk never leaves a fragment for the next line to run
// into. 0 or the error number.
int CommitLines(RunContext& ctx, const std::string& key, const std::string& path,
                const std::string& lines, const std::vector<std::string>& tics) {
  std::string text;
  if (int rc = AppendedFileText(path, lines, &text)) return rc;
  return CommitText(ctx, key, path, text, tics);
}

// Writes one link's lines: into its flow file under its busy flag, or,
// while a mailer holds the flag, into the delayed file beside it. 0 or the
// error number (logged).
int WriteFlowEntry(RunContext& ctx, FlowBatch::Entry& e) {
  std::string busy = e.base + ".bsy";
  int rc = TakeBusyFlag(ctx, busy);
  if (rc == 0) {
    rc = CommitLines(ctx, FlowKey(*e.link), e.flow, e.lines, e.tics);
    DropBusyFlag(ctx, busy);
    if (rc != 0) ctx.log.Message('!', 1, 9, e.flow.c_str(), platform::ErrorText(rc).c_str());
    return rc;
  }
  if (!platform::IsAlreadyExists(rc))
    ctx.log.Message('!', 3, 0, busy.c_str(), platform::ErrorText(rc).c_str());
  for (size_t i = 0; i < e.count; ++i) ctx.log.Message('!', 3, 83, e.flow.c_str());
  std::string delayed = e.base + ".olx";
  rc = CommitLines(ctx, DelayedKey(*e.link), delayed, e.lines, e.tics);
  if (rc != 0) {
    ctx.log.Message('!', 1, 9, delayed.c_str(), platform::ErrorText(rc).c_str());
    return rc;
  }
  e.link->delayed_attach = true;
  return 0;
}

int AttachThroughFlow(RunContext& ctx, const std::string& path, LinkRecord& link,
                      AfterSending after, bool long_names) {
  ctx.log.Debug('E',
                long_names ? "Sending %s through Long Binkly Style Outbound"
                           : "Sending %s through binkley-style outbound",
                path.c_str());
  std::string line = FlowLine(path, after);
  if (line.empty()) {
    ctx.log.Message('!', 1, 9, path.c_str(), "the file name holds a line break");
    return kInvalidContent;
  }
  return AddFlowLines(ctx, link, line, "");
}

}  // namespace

std::vector<std::string> OutboundDirectories(const RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  std::vector<std::string> dirs;
  // Each once: the links of one zone share its directory, and a sweep of
  // the outbound lists every directory named here.
  std::unordered_set<std::string> seen;
  auto add = [&](std::string dir) {
    if (!dir.empty() && seen.insert(dir).second) dirs.push_back(std::move(dir));
  };
  add(OutboundRoot(ctx) + platform::kSep);
  add(c.outmail);
  NameCase nc = OutboundCase();
  uint32_t main_zone = c.addresses.empty() ? 0 : c.addresses[0].zone;
  for (size_t i = 0; i < ctx.links.size(); ++i) {
    const LinkRecord& link = ctx.links[i];
    const FtnAddress& a = link.address;
    if (c.fileboxes) {
      add(WithTrailingSep(c.outbound) +
          FileboxName(c.attach_style, a, AttachFlavour(link.flavour)) + platform::kSep);
    } else if (c.attach_style == AttachStyle::kBink) {
      std::string dir = OutboundRoot(ctx);
      if (a.zone != main_zone) dir += BsoZoneExtension(a.zone, nc);
      dir += platform::kSep;
      add(dir);
      if (a.point != 0)
        add(dir + BsoNodeName(a.net, a.node, nc) + BsoPointDirExtension(nc) + platform::kSep);
    }
  }
  return dirs;
}

std::string FlowLineOnDisk(const std::string& path, AfterSending after) {
  if (!FitsOnOneLine(path)) return "";
  return (after == AfterSending::kKill ? "^" : "") + platform::AbsolutePath(path) + "\n";
}

std::string FlowLine(const std::string& path, AfterSending after) {
  // A line break in a path would end the reference early and add a line of
  // the sender's choosing to the flow file.
  if (!FitsOnOneLine(path)) return "";
  return (after == AfterSending::kKill ? "^" : "") + MailerPath(path) + "\n";
}

int AddFlowLines(RunContext& ctx, LinkRecord& link, const std::string& lines,
                 const std::string& tic) {
  std::string base = ctx.cfg.attach_style == AttachStyle::kLbso ? LbsoBaseName(ctx, link.address)
                                                                : BsoBaseName(ctx, link.address);
  std::string flow = base + FlowExtension(ctx, link);
  size_t count = 0;
  for (char c : lines)
    if (c == '\n') ++count;
  FlowBatch one;
  FlowBatch& batch = ctx.flow_batch ? *ctx.flow_batch : one;
  auto [it, fresh] = batch.by_flow.try_emplace(Lower(flow), batch.entries.size());
  if (fresh) batch.entries.push_back({&link, base, flow, "", {}, 0});
  FlowBatch::Entry& e = batch.entries[it->second];
  e.lines += lines;
  e.count += count;
  if (!tic.empty()) e.tics.push_back(tic);
  if (ctx.flow_batch) return 0;
  return WriteFlowEntry(ctx, e);
}

int FlushFlowBatch(RunContext& ctx, FlowBatch& batch) {
  int first_error = 0;
  for (FlowBatch::Entry& e : batch.entries) {
    int rc = WriteFlowEntry(ctx, e);
    if (rc != 0 && first_error == 0) first_error = rc;
  }
  batch.entries.clear();
  batch.by_flow.clear();
  return first_error;
}

bool FlowCovers(RunContext& ctx, const TicRecord& tic, const LinkRecord& link) {
  return Covered(ctx, tic, FlowKey(link)) || Covered(ctx, tic, DelayedKey(link));
}

FlowAppend AppendUnderBusyFlag(RunContext& ctx, const std::string& base,
                               const std::string& flow_path, const std::string& lines,
                               OpenFailure report, int* error) {
  std::string busy = base + ".bsy";
  int rc = TakeBusyFlag(ctx, busy);
  if (rc != 0) {
    if (!platform::IsAlreadyExists(rc) && report == OpenFailure::kLog)
      ctx.log.Message('!', 3, 0, busy.c_str(), platform::ErrorText(rc).c_str());
    return FlowAppend::kLocked;
  }
  std::string text;
  int err = 0;
  FlowAppend result = FlowAppend::kWritten;
  if (!ReadWholeFile(flow_path, false, &text, &err) && err != platform::NotFoundCode()) {
    *error = err != 0 ? err : 5;
    result = FlowAppend::kFailed;
  } else if (!lines.empty() && text.size() >= lines.size() &&
             text.compare(text.size() - lines.size(), lines.size(), lines) == 0) {
    // The lines stand there already: a run killed after writing them but
    // before it could say so.
  } else if ((rc = platform::ReplaceFile(flow_path, Appended(std::move(text), lines))) != 0) {
    *error = rc;
    result = FlowAppend::kFailed;
  }
  DropBusyFlag(ctx, busy);
  return result;
}

std::string BsoBaseName(RunContext& ctx, const FtnAddress& a) {
  ctx.log.Debug('D', "Building a BINKley-style filename");
  NameCase nc = OutboundCase();
  std::string path = OutboundRoot(ctx);
  uint32_t main_zone = ctx.cfg.addresses.empty() ? 0 : ctx.cfg.addresses[0].zone;
  if (a.zone != main_zone) path += BsoZoneExtension(a.zone, nc);
  path += platform::kSep;
  CreatePath(path);
  path += BsoNodeName(a.net, a.node, nc);
  if (a.point != 0) {
    path += BsoPointDirExtension(nc) + platform::kSep;
    CreatePath(path);
    path += BsoPointName(a.point, nc);
  }
  return path;
}

std::string LbsoBaseName(RunContext& ctx, const FtnAddress& a) {
  ctx.log.Debug('D', "Building a Long Binkly-Style filename");
  std::string path = OutboundRoot(ctx) + platform::kSep;
  CreatePath(path);
  return path + LbsoNodeName(a);
}

std::string FlowExtension(const RunContext& ctx, const LinkRecord& link) {
  char flavour = AttachFlavour(link.flavour);
  if (ctx.cfg.attach_style == AttachStyle::kBink) return BsoFlowExtension(flavour, OutboundCase());
  return LbsoListExtension(flavour);
}

int AttachBso(RunContext& ctx, const std::string& path, LinkRecord& link, AfterSending after) {
  return AttachThroughFlow(ctx, path, link, after, false);
}

int AttachLbso(RunContext& ctx, const std::string& path, LinkRecord& link, AfterSending after) {
  return AttachThroughFlow(ctx, path, link, after, true);
}

int AttachArcMail(RunContext& ctx, const std::string& path, const LinkRecord& link,
                  AfterSending after) {
  ctx.log.Debug('E', "Sending %s through ArcMail-Attach", path.c_str());
  ctx.log.Debug('E', "Allocating memory");
  EchoMessage msg;
  ctx.log.Debug('E', "deGenerating tearline");
  msg.tear_line = std::string("--- Olvix ") + kVersion + " (" + platform::PlatformName() + ")";
  msg.pid = msg.tear_line.substr(4);
  ctx.log.Debug('E', "Filling other message fields");
  msg.origin = link.aka;
  msg.destination = link.address;
  msg.from_name = ctx.cfg.from_name;
  msg.to_name = "Sysop";
  msg.subject = MailerPath(path);
  msg.origin_text = ctx.cfg.origin;
  bool direct = link.flavour.size() > 1 && UpperChar(link.flavour[1]) == 'D';
  if (direct) msg.flags = "DIR";
  if (after == AfterSending::kKill) msg.flags += direct ? " KFS" : "KFS";
  msg.attributes = kAttrPrivate | kAttrFileAttached | kAttrKillSent | kAttrLocal;
  if (AttachFlavour(link.flavour) == 'H') msg.attributes |= kAttrHold;
  std::string receiver = FormatAddress(link.address);
  // The subject field holds 71 characters; a longer path would name a file
  // that does not exist.
  if (msg.subject.size() > 71) {
    ctx.log.Message('!', 1, 89, receiver.c_str(), "the file path is longer than 71 characters");
    return kInvalidContent;
  }
  int rc = WriteMessageFile(ctx, msg, "", TextFileAfter::kKeep, ctx.cfg.outmail);
  if (rc != 0) ctx.log.Message('!', 1, 89, receiver.c_str(), platform::ErrorText(rc).c_str());
  return rc;
}

int SendFileToLink(RunContext& ctx, const std::string& path, LinkRecord& link, AfterSending after,
                   BoxPlacement placement, const std::string& shown) {
  ctx.log.Message('#', 1, 49, (shown.empty() ? FilePart(path) : shown).c_str(),
                  FormatAddress(link.address).c_str());
  switch (ctx.cfg.attach_style) {
    case AttachStyle::kBink:
      return AttachBso(ctx, path, link, after);
    case AttachStyle::kLbso:
      return AttachLbso(ctx, path, link, after);
    case AttachStyle::kFileboxes:
    case AttachStyle::kLongFileboxes:
    case AttachStyle::kBrakeFileboxes:
      return AttachFilebox(ctx, path, link, after, placement);
    case AttachStyle::kAma:
      break;
  }
  return AttachArcMail(ctx, path, link, after);
}

}  // namespace olvix
