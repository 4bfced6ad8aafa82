// TODO(lead): when tic/autocreate.h is on this branch, the body of
// CreateForwardedArea becomes
//   return CreateFileecho(ctx, tag, uplink.address, "", ctx.cfg.forward_area_flags);
// and the rest of this file goes. Until then it makes the fileecho with
// the least of the automatic creation a forward request needs: the
// uplink's [UPLINKS] settings and subscribers, its list's description,
// NEWDESC, a directory of its own, and the areas file rewritten.
#include "manager/forward_area.h"

#include <vector>

#include "config/config.h"
#include "config/records.h"
#include "manager/uplink_list.h"
#include "platform/platform.h"
#include "run/context.h"
#include "util/address.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

std::string DirectoryName(const RunContext& ctx, const std::string& tag) {
  if (ctx.cfg.long_dirs) return tag;
  std::string name = tag.substr(0, 8);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("\\.:*?/+").find(c) != std::string_view::npos)
      c = '_';
  return name;
}

}  // namespace

AreaRecord* CreateForwardedArea(RunContext& ctx, const std::string& tag, const LinkRecord& uplink) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Message('#', 1, 34, tag.c_str());
  LinkRecord* creator = ctx.links.Find(uplink.address);
  if (!creator) return nullptr;
  AreaRecord area;
  area.tag = tag;
  area.address = creator->aka;
  area.subscribers.push_back({creator, kModeFull});
  std::string create_path;
  for (const UplinkRecord& u : c.uplinks) {
    if (u.link != creator) continue;
    if (!area.has_description && !u.list_file.empty()) {
      std::vector<UplinkListEntry> entries;
      if (ReadUplinkList(ctx, u.list_file, &entries)) {
        for (const UplinkListEntry& e : entries)
          if (e.tag == tag && !e.description.empty()) {
            area.description = e.description;
            area.has_description = true;
          }
      }
    }
    for (const UplinkSubscriber& s : u.links)
      area.subscribers.push_back({const_cast<LinkRecord*>(s.link), s.mode});
    if (u.area_set) {
      if (!u.area_group.empty()) area.group = u.area_group;
      if (!u.area_flags.empty()) area.flags = u.area_flags;
      area.read_level = u.area_read;
      area.write_level = u.area_write;
    }
    if (create_path.empty()) create_path = u.create_path;
  }
  for (char f : c.forward_area_flags)
    if (area.flags.find(UpperChar(f)) == std::string::npos) area.flags += UpperChar(f);
  std::string base = c.new_echo_path;
  if (area.IsPassthrough() && !c.new_echo_base.empty())
    base = c.new_echo_base;
  else if (!create_path.empty())
    base = create_path;
  CreatePath(base);
  std::string name = DirectoryName(ctx, tag);
  std::string free_name = name;
  for (int n = 1; platform::FileExists(JoinPath(base, free_name)); ++n)
    free_name = name + "." + std::to_string(n);
  area.path = WithTrailingSep(JoinPath(base, free_name));
  bool no_dir = area.IsPassthrough() &&
                (c.attach_style == AttachStyle::kLongFileboxes ||
                 c.attach_style == AttachStyle::kBrakeFileboxes || !c.queue_dir.empty());
  if (!no_dir) CreatePath(area.path);
  if (!area.has_description && !c.new_desc.empty()) {
    area.description = c.new_desc;
    size_t at = FindNoCase(area.description, "@LINK");
    if (at != std::string::npos) area.description.replace(at, 5, FormatAddress(creator->address));
    area.has_description = true;
  }
  if (area.group.empty()) area.group = creator->group;
  AreaRecord* added = ctx.areas.Add(std::move(area));
  // A failure is logged; the manager writes the file again at its end.
  (void)SaveAreas(ctx);
  return added;
}

}  // namespace olvix
