// Fileboxes: a directory per link under OUTBOUND that the mailer sends
// from, filled with copies or hard links of the files.
#include "config/records.h"
#include "outbound/names.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

bool IsFileboxStyle(AttachStyle s) {
  return s == AttachStyle::kFileboxes || s == AttachStyle::kLongFileboxes ||
         s == AttachStyle::kBrakeFileboxes;
}

// Makes room for a new version of a file in a box. Writing a copy through
// an existing name could write into a hard link of the source itself and
// truncate the fileecho's file.
void ClearTarget(const std::string& target, const std::string& source) {
  if (platform::SamePath(target, source) || !platform::FileExists(target)) return;
  (void)platform::RemoveFile(target);  // a failure shows in the placement that follows
}

int CopyIntoBox(RunContext& ctx, const std::string& path, const std::string& box) {
  std::string target = box + Lower(FilePart(path));
  if (platform::SamePath(target, path)) return 0;  // already in its box
  ClearTarget(target, path);
  return CopyToDirectory(ctx.log, path, box);
}

int MakeHardLink(RunContext& ctx, const std::string& from, const std::string& to) {
  ClearTarget(to, from);
  if (platform::HardLink(from, to) == 0) return 0;
  ctx.log.Debug('E', "NTLink error: %s -> %s", from.c_str(), to.c_str());
  return 1;
}

}  // namespace

std::string FileboxPath(RunContext& ctx, const LinkRecord& link) {
  const AttachStyle style = ctx.cfg.attach_style;
  if (!ctx.cfg.fileboxes || !IsFileboxStyle(style)) {
    ctx.log.Debug('E', "Not using fileboxes");
    return "";
  }
  if (style == AttachStyle::kFileboxes) ctx.log.Debug('E', "Generating filebox path");
  if (style == AttachStyle::kLongFileboxes) ctx.log.Debug('E', "Generating longfilebox path");
  if (style == AttachStyle::kBrakeFileboxes) ctx.log.Debug('E', "Generating brakefilebox path");
  std::string path = WithTrailingSep(ctx.cfg.outbound) +
                     FileboxName(style, link.address, AttachFlavour(link.flavour)) + platform::kSep;
  CreatePath(path);
  ctx.log.Debug('E', "The path is %s", path.c_str());
  return path;
}

int SendLinkAcrossVolumes(RunContext& ctx, const std::string& path, const std::string& box) {
  std::string name = FilePart(path);
  auto it = ctx.first_copies.find(name);
  if (it != ctx.first_copies.end()) {
    if (MakeHardLink(ctx, it->second, box + name) == 0) return 0;
    return CopyIntoBox(ctx, path, box);
  }
  if (CopyIntoBox(ctx, path, box) != 0) return 1;
  ctx.first_copies[name] = box + Lower(name);
  return 0;
}

int SendLink(RunContext& ctx, const std::string& path, const std::string& box) {
  std::string name = FilePart(path);
  std::string target = box + name;
  ctx.log.Debug('E', "SendLink: %s -> %s", name.c_str(), target.c_str());
  platform::FileInfo source = platform::Stat(path);
  platform::FileInfo dir = platform::Stat(box);
  if (!source.exists || !dir.exists || source.device != dir.device)
    return SendLinkAcrossVolumes(ctx, path, box);
  if (MakeHardLink(ctx, path, target) == 0) return 0;
  // A box the link cannot reach still gets the file.
  return CopyIntoBox(ctx, path, box);
}

int AttachFilebox(RunContext& ctx, const std::string& path, const LinkRecord& link,
                  AfterSending after, BoxPlacement placement) {
  ctx.log.Debug('E',
                ctx.cfg.attach_style == AttachStyle::kBrakeFileboxes
                    ? "Sending %s through brake fileboxes"
                    : "Sending %s through fileboxes",
                path.c_str());
  std::string box = FileboxPath(ctx, link);
  if (box.empty()) return 1;
  if (placement == BoxPlacement::kMayLink && ctx.cfg.hard_links && after == AfterSending::kKeep)
    return SendLink(ctx, path, box);
  if (CopyIntoBox(ctx, path, box) != 0) return 1;
  if (after == AfterSending::kKill) (void)DeleteLogged(ctx.log, path);  // logged there
  return 0;
}

}  // namespace olvix
