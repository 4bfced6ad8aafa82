#include "manager/subscribe.h"

#include <vector>

#include "announce/announce.h"
#include "config/records.h"
#include "manager/letter.h"
#include "manager/request.h"
#include "manager/template.h"
#include "manager/uplink_list.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/autocreate.h"
#include "util/files.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// The report lines; the tag column is the 31st character.
constexpr char kAdded[] = "Added:                        %s\n";
constexpr char kAlready[] = "Already linked:               %s\n";
constexpr char kNotLinked[] = "Not linked:                   %s\n";
constexpr char kRemoved[] = "Removed:                      %s\n";
constexpr char kNotFound[] = "Filearea %s not found\n";
constexpr char kBlacklisted[] = "Filearea %s is blacklisted\n";
// The mask frame in CP866 box-drawing characters.
constexpr char kMaskOpen[] = "\xd5 Mask '%c%s'\n";
constexpr char kMaskItem[] = "\xc3 ";
constexpr char kMaskClose[] = "\xd4 Mask '%c%s'\n";
constexpr char kNoMatch[] = "\xd4 There are no areas matching this criteria: '%s'\n";

bool IsMask(const std::string& text) { return ContainsAny(text, "*?"); }

void Put(ManagerRequest& req, const char* prefix, const char* fmt, const std::string& tag) {
  req.report += prefix;
  req.report += Format(fmt, tag.c_str());
  req.report_changed = true;
}

// The upper-cased tags of the list file of `uplink`, read once per request.
const std::unordered_set<std::string>& ListedTags(RunContext& ctx, ManagerRequest& req,
                                                  const UplinkRecord& uplink) {
  auto it = req.uplink_tags.find(uplink.list_file);
  if (it != req.uplink_tags.end()) return it->second;
  std::vector<UplinkListEntry> entries;
  // A list that cannot be read offers nothing; its failure is logged once.
  (void)ReadUplinkList(ctx, uplink.list_file, &entries);
  std::unordered_set<std::string>& tags = req.uplink_tags[uplink.list_file];
  tags.reserve(entries.size());
  for (UplinkListEntry& e : entries) tags.insert(std::move(e.tag));
  return tags;
}

// Writes the one-line request `line` into "tempsubs.$$$" and sends it to
// the robot of `uplink`. False when it could not be written (logged).
bool WriteUplinkRequest(RunContext& ctx, const UplinkRecord& uplink, const std::string& line) {
  const std::string path = JoinPath(ctx.home, "tempsubs.$$$");
  int rc = WriteWorkFile(path, line + "\n");
  if (rc != 0) {
    ctx.log.Message('!', 0, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return false;
  }
  return SendLetter(ctx, "Sysop", uplink.robot, uplink.link->password, *uplink.link, path,
                    kLetterAttributes) == 0;
}

// A forwarded tag becomes a directory and a line of the areas file: it
// must be a plain name, and one the creation takes, or the uplink would be
// asked for a fileecho this node never carries.
bool IsForwardableTag(const std::string& tag) {
  if (!IsBareFileName(tag) || !TagMayBeCreated(tag)) return false;
  for (unsigned char c : tag)
    if (c <= ' ') return false;
  return true;
}

// One fileecho by tag. `prefix` begins the result line ("├ " inside a
// mask): it is written only with a line, so that a silent refusal leaves
// no half line in the report.
void SubscribeTag(RunContext& ctx, ManagerRequest& req, const std::string& tag, LinkRecord& link,
                  const char* prefix) {
  ctx.log.Debug('H', "Checking blacklist");
  if (IsBlacklisted(ctx, tag)) {
    ctx.log.Message('!', 2, 90, tag.c_str());
    Put(req, prefix, kBlacklisted, tag);
    return;
  }
  ctx.log.Debug('H', "Looking for an area");
  AreaRecord* area = ctx.areas.Find(tag);
  bool forward_tried = false;
  if (!area) {
    ctx.log.Debug('H', "Area not found. Trying to make a forward request");
    ForwardRequest(ctx, req, tag, link);
    if (req.failed) return;
    forward_tried = true;
    ctx.log.Debug('H', "Checking after forward request try");
    area = ctx.areas.Find(tag);
  }
  if (!area) {
    ctx.log.Message('!', 2, 91, tag.c_str());
    Put(req, prefix, kNotFound, tag);
    return;
  }
  if (area->read_level > link.level) return;
  if (!SharesGroup(link.group, area->group)) return;
  if (SubscriptionOf(*area, link)) {
    Put(req, prefix, kAlready, area->tag);
    if (forward_tried) {
      Put(req, "", kAdded, area->tag);
      ++req.added;
    }
    return;
  }
  ctx.log.Message('*', 1, 57, FormatAddress(link.address).c_str(), area->tag.c_str());
  Put(req, prefix, kAdded, area->tag);
  req.areas_changed = true;
  ++req.added;
  int mode = area->write_level > link.level ? kModeReadOnly : kModeFull;
  area->subscribers.push_back({&link, mode});
}

// Removes the subscription of `link` and, with UNSUBREPORT, a passthrough
// fileecho that is left with its uplink alone.
void UnsubscribeTag(RunContext& ctx, ManagerRequest& req, const std::string& tag, LinkRecord& link,
                    const char* prefix) {
  AreaRecord* area = ctx.areas.Find(tag);
  if (!area) {
    ctx.log.Message('!', 2, 91, tag.c_str());
    Put(req, prefix, kNotFound, tag);
    return;
  }
  // Such fileechoes cannot be left through the robot.
  if (area->flags.find('U') != std::string::npos) return;
  const Subscriber* sub = SubscriptionOf(*area, link);
  if (!sub) {
    Put(req, prefix, kNotLinked, area->tag);
    return;
  }
  ctx.log.Message('*', 1, 58, FormatAddress(link.address).c_str(), area->tag.c_str());
  Put(req, prefix, kRemoved, area->tag);
  req.areas_changed = true;
  ++req.removed;
  ctx.log.Debug('H', "Deleting link from links chain");
  area->subscribers.erase(area->subscribers.begin() + (sub - area->subscribers.data()));

  if (!ctx.cfg.unsub_report || !area->IsPassthrough() || area->subscribers.size() > 1) return;
  // Without its letter to the uplink the fileecho stays, so that the
  // letter is tried again when the request is.
  if (area->subscribers.size() == 1 && !UnsubscribeUplink(ctx, *area, *area->subscribers[0].link)) {
    req.failed = true;
    return;
  }
  ctx.log.Message('*', 2, 93, area->tag.c_str());
  // The fileecho still holds its remaining subscription here, as the
  // report expects.
  for (const AnnounceDefinition& def : ctx.cfg.announces)
    if (!def.deleted_echo_template.empty()) DeleteEchoReport(ctx, *area, def);
  ctx.areas.Remove(area);
}

// Every fileecho whose tag matches `mask`, framed in the report; `sign`
// is "+" for subscribing, "-" for unsubscribing.
void MaskRequest(RunContext& ctx, ManagerRequest& req, char sign, const std::string& mask,
                 LinkRecord& link) {
  req.report += Format(kMaskOpen, sign, mask.c_str());
  // The matches are taken first, as tags: a passthrough fileecho may be
  // removed on the way, and the walk goes on with the one after it.
  std::vector<std::string> matches;
  for (size_t i = 0; i < ctx.areas.size(); ++i)
    if (WildMatch(mask, ctx.areas[i].tag)) matches.push_back(ctx.areas[i].tag);
  for (const std::string& tag : matches) {
    if (req.failed) return;
    if (sign == '+') {
      ctx.log.Debug('H', "Found area %s. Subscribing", tag.c_str());
      ctx.log.Debug('H', "Someone wants to subscribe to %s", tag.c_str());
      SubscribeTag(ctx, req, tag, link, kMaskItem);
    } else {
      ctx.log.Debug('H', "Found area %s. Unscribing", tag.c_str());
      ctx.log.Debug('H', "Someone wants to unscribe from %s", tag.c_str());
      UnsubscribeTag(ctx, req, tag, link, kMaskItem);
    }
  }
  if (!matches.empty()) {
    req.report += Format(kMaskClose, sign, mask.c_str());
    return;
  }
  ctx.log.Message('!', 2, 91, mask.c_str());
  Put(req, "", kNoMatch, mask);
}

}  // namespace

bool SharesGroup(const std::string& link_groups, const std::string& groups) {
  for (char g : link_groups)
    if (groups.find(g) != std::string::npos) return true;
  return false;
}

const Subscriber* SubscriptionOf(const AreaRecord& area, const LinkRecord& link) {
  for (const Subscriber& s : area.subscribers)
    if (s.link->address == link.address) return &s;
  return nullptr;
}

bool IsBlacklisted(RunContext& ctx, const std::string& tag) {
  for (const std::string& line : ctx.cfg.blacklist) {
    std::string entry = TrimRight(line);
    size_t star = entry.find('*');
    if (star == std::string::npos ? entry == tag : tag.compare(0, star, entry, 0, star) == 0)
      return true;
  }
  return false;
}

void Subscribe(RunContext& ctx, ManagerRequest& req, const std::string& text, LinkRecord& link) {
  ctx.log.Debug('H', "Someone wants to subscribe to %s", text.c_str());
  req.handled = true;
  if (IsMask(text))
    MaskRequest(ctx, req, '+', text, link);
  else
    SubscribeTag(ctx, req, text, link, "");
}

void Unsubscribe(RunContext& ctx, ManagerRequest& req, const std::string& text, LinkRecord& link) {
  if (text.compare(0, 2, "--") == 0) return;
  ctx.log.Debug('H', "Someone wants to unscribe from %s", text.c_str());
  req.handled = true;
  if (IsMask(text))
    MaskRequest(ctx, req, '-', text, link);
  else
    UnsubscribeTag(ctx, req, text, link, "");
}

void ForwardRequest(RunContext& ctx, ManagerRequest& req, const std::string& tag,
                    const LinkRecord& link) {
  const std::string address = FormatAddress(link.address);
  if (link.HasOption('F')) {
    ctx.log.Message('!', 2, 94, address.c_str());
    return;
  }
  ctx.log.Debug('H', "Gonna try to find uplinks with fileecho %s", tag.c_str());
  if (!IsForwardableTag(tag)) return;
  for (const UplinkRecord& uplink : ctx.cfg.uplinks) {
    if (!SharesGroup(link.group, uplink.link->group) || uplink.list_file.empty()) continue;
    if (ListedTags(ctx, req, uplink).count(tag) == 0) continue;
    ctx.log.Message('#', 1, 72, tag.c_str(), address.c_str(),
                    FormatAddress(uplink.link->address).c_str());
    // A fileecho made without its request would wait for files that never
    // come: without the letter the request is kept for a later run.
    if (!WriteUplinkRequest(ctx, uplink, "+" + tag)) {
      req.failed = true;
      return;
    }
    // An areas file that cannot be written (logged there) keeps the letter
    // for a later run, which asks again and creates the fileecho then.
    if (!CreateFileecho(ctx, tag, uplink.link->address, "", ctx.cfg.forward_area_flags)) {
      req.failed = true;
      return;
    }
    req.areas_changed = true;
    req.forwarded = true;
    return;
  }
}

bool UnsubscribeUplink(RunContext& ctx, const AreaRecord& area, const LinkRecord& link) {
  for (const UplinkRecord& uplink : ctx.cfg.uplinks) {
    if (uplink.link != &link && uplink.link->address != link.address) continue;
    // Every ticket of a fileecho the uplink keeps sending would ask again.
    std::string key = area.tag + " " + FormatAddress(link.address);
    if (!ctx.uplinks_asked.insert(key).second) return true;
    ctx.log.Message('*', 2, 92, area.tag.c_str());
    if (WriteUplinkRequest(ctx, uplink, "-" + area.tag)) return true;
    ctx.uplinks_asked.erase(key);  // the next ticket asks again
    return false;
  }
  return true;
}

}  // namespace olvix
