#include "run/info.h"

#include "run/context.h"
#include "util/address.h"

namespace olvix {

namespace {

void SubscriptionLine(RunContext& ctx, int mode, const std::string& text) {
  switch (mode) {
    case kModeFull:
      ctx.log.Message('#', 1, 44, text.c_str());
      break;
    case kModeReadOnly:
      ctx.log.Message('#', 1, 43, text.c_str());
      break;
    case kModeWriteOnly:
      ctx.log.Message('#', 1, 88, text.c_str());
      break;
    default:
      break;  // an unknown mode prints nothing
  }
}

}  // namespace

bool PrintInfo(RunContext& ctx, const std::string& arg) {
  if (const LinkRecord* link = ctx.links.Find(ParseAddress(arg))) {
    ctx.log.Message('#', 1, 10, arg.c_str());
    ctx.log.Message('#', 1, 11, link->group.c_str());
    ctx.log.Message('#', 1, 12, link->password.c_str());
    ctx.log.Message('#', 1, 13, link->level);
    ctx.log.Message('#', 1, link->active ? 14 : 15);
    ctx.log.Message('#', 1, 16);
    for (size_t i = 0; i < ctx.areas.size(); ++i) {
      AreaRecord& area = ctx.areas[i];
      if (const Subscriber* s = area.FindSubscriber(link))
        SubscriptionLine(ctx, s->mode, area.tag);
    }
    return true;
  }
  if (const AreaRecord* area = ctx.areas.Find(arg)) {
    ctx.log.Message('#', 1, 17, arg.c_str());
    ctx.log.Message('#', 1, 18, area->path.c_str());
    ctx.log.Message('#', 1, 11, area->group.c_str());
    if (area->has_description) ctx.log.Message('#', 1, 19, area->description.c_str());
    ctx.log.Message('#', 1, 20);
    for (const Subscriber& s : area->subscribers)
      SubscriptionLine(ctx, s.mode, FormatAddress(s.link->address));
    return true;
  }
  return false;
}

}  // namespace olvix
