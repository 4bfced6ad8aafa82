// Flow files, list files, file-attach letters and the choice among the
// styles. Fileboxes are in filebox.cc.
#include "outbound/styles.h"

#include <cstdio>

#include "config/records.h"
#include "manager/letter.h"
#include "outbound/names.h"
#include "platform/platform.h"
#include "run/context.h"
#include "run/version.h"
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
  return platform::NativePath(platform::NormalizePath(path, platform::CurrentDirectory()));
}

// A line break in a path would end the reference early and add a line of
// the sender's choosing to the flow file.
bool FitsOnOneLine(const std::string& path) {
  return path.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

int AppendLine(RunContext& ctx, const std::string& path, const std::string& line, int* error) {
  int open_error = 0;
  std::FILE* f = ctx.files.OpenQuiet(path, "a", &open_error);
  if (!f) {
    ctx.log.Message('!', 3, 0, path.c_str(), platform::ErrorText(open_error).c_str());
    *error = open_error;
    return 1;
  }
  bool ok = std::fwrite(line.data(), 1, line.size(), f) == line.size();
  int rc = ctx.files.Close(f);
  if (!ok && rc == 0) rc = 5;
  if (rc != 0) {
    *error = rc;
    ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return 1;
  }
  return 0;
}

int AttachThroughFlow(RunContext& ctx, const std::string& path, LinkRecord& link,
                      AfterSending after, bool long_names) {
  ctx.log.Debug('E',
                long_names ? "Sending %s through Long Binkly Style Outbound"
                           : "Sending %s through binkley-style outbound",
                path.c_str());
  std::string base = long_names ? LbsoBaseName(ctx, link.address) : BsoBaseName(ctx, link.address);
  std::string flow = base + FlowExtension(ctx, link);
  if (!FitsOnOneLine(path)) {
    ctx.log.Message('!', 1, 9, flow.c_str(), "the file name holds a line break");
    return kInvalidContent;
  }
  std::string line = (after == AfterSending::kKill ? "^" : "") + MailerPath(path) + "\n";
  int error = 0;
  switch (AppendUnderBusyFlag(ctx, base, flow, line, OpenFailure::kLog, &error)) {
    case FlowAppend::kWritten:
      return 0;
    case FlowAppend::kFailed:
      ctx.log.Message('!', 1, 9, flow.c_str(), platform::ErrorText(error).c_str());
      return error;
    case FlowAppend::kLocked:
      break;
  }
  ctx.log.Message('!', 3, 83, flow.c_str());
  if (AppendLine(ctx, base + ".olx", line, &error) != 0) return error;
  link.delayed_attach = true;
  return 0;
}

// Puts up the busy flag `busy`: 0 when it is ours now, else the error
// (already-exists when a mailer holds it). The flag is made as a further
// name of one empty file of this run: link() fails on an existing name just
// as an exclusive create does, but allocates no inode. Creating and
// deleting a fresh file for every line made each create slower than the
// last on ext4, which searches past every recently deleted inode, so a big
// toss would have slowed down with the number of attaches made.
int TakeBusyFlag(RunContext& ctx, const std::string& busy) {
  if (ctx.busy_flag_links && ctx.busy_flag_source.empty()) {
    std::string source = ctx.home + "olxbusy.$$$";
    // A fresh file, so that the flags carry the time of this run: a mailer
    // may take an old busy flag for a stale one.
    (void)platform::RemoveFile(source);  // left over by a run that crashed
    if (platform::CreateExclusive(source) == 0) {
      ctx.busy_flag_source = source;
      ctx.busy_flag_stamp = platform::Now();
    } else
      ctx.busy_flag_links = false;
  }
  if (ctx.busy_flag_links) {
    // Keep the shared time stamp young: a mailer that removes busy flags
    // older than some limit must not take ours for a stale one in a long run.
    int64_t now = platform::Now();
    if (now - ctx.busy_flag_stamp >= 30 && platform::SetModTime(ctx.busy_flag_source, now) == 0)
      ctx.busy_flag_stamp = now;
    int rc = platform::HardLink(ctx.busy_flag_source, busy);
    if (rc == 0 || platform::IsAlreadyExists(rc)) return rc;
    // Another file system, or one without hard links: plain files then.
    ctx.busy_flag_links = false;
  }
  return platform::CreateExclusive(busy);
}

}  // namespace

void ReleaseBusyFlagSource(RunContext& ctx) {
  if (ctx.busy_flag_source.empty()) return;
  (void)platform::RemoveFile(ctx.busy_flag_source);  // a leftover is reused by the next run
  ctx.busy_flag_source.clear();
}

FlowAppend AppendUnderBusyFlag(RunContext& ctx, const std::string& base,
                               const std::string& flow_path, const std::string& lines,
                               OpenFailure report, int* error) {
  // A mailer in session with the link holds its busy flag and may be
  // reading or truncating the flow file; the flag is ours while we write.
  std::string busy = base + ".bsy";
  int rc = TakeBusyFlag(ctx, busy);
  if (rc != 0) {
    if (!platform::IsAlreadyExists(rc) && report == OpenFailure::kLog)
      ctx.log.Message('!', 3, 0, busy.c_str(), platform::ErrorText(rc).c_str());
    return FlowAppend::kLocked;
  }
  FlowAppend result = FlowAppend::kWritten;
  int open_error = 0;
  std::FILE* f = report == OpenFailure::kLog ? ctx.files.Open(flow_path, "a")
                                             : ctx.files.OpenQuiet(flow_path, "a", &open_error);
  if (!f) {
    result = FlowAppend::kLocked;
  } else {
    bool ok = std::fwrite(lines.data(), 1, lines.size(), f) == lines.size();
    int close_rc = ctx.files.Close(f);
    if (!ok || close_rc != 0) {
      *error = close_rc != 0 ? close_rc : 5;
      result = FlowAppend::kFailed;
    }
  }
  (void)platform::RemoveFile(busy);  // a flag left behind would hold the mailer back
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
                   BoxPlacement placement) {
  ctx.log.Message('#', 1, 49, FilePart(path).c_str(), FormatAddress(link.address).c_str());
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
