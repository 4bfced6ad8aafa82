#include "outbound/receivers.h"

#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/address.h"
#include "util/paths.h"

namespace olvix {

std::vector<LinkRecord*> ChooseReceivers(RunContext& ctx, AreaRecord& area, TicRecord& tic) {
  std::vector<LinkRecord*> receivers;
  ctx.log.Debug('E', "Looking for links to receive %s", tic.file.c_str());
  for (const Subscriber& sub : area.subscribers) {
    LinkRecord* link = sub.link;
    ctx.log.Debug('E', " link: %s", FormatAddress(link->address).c_str());
    bool refuse = (!tic.seen_by_list.empty() && SeenByHas(tic.seen_by_list, link->address)) ||
                  !link->active || sub.mode == kModeWriteOnly || tic.from == link->address ||
                  link->HasOption('W');
    if (refuse) {
      ctx.log.Debug('E', " ... won't receive file");
      continue;
    }
    ctx.log.Debug('E', " ... will receive file");
    receivers.push_back(link);
    tic.seen_by_list.push_back(FormatAddress(link->address));
  }
  return receivers;
}

void SendToLinks(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  (void)ChangeDir(ctx, c.inbound);
  ctx.first_copies.clear();
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    for (auto& tic : area.received) {
      if (tic->bad) continue;
      std::vector<LinkRecord*> receivers = ChooseReceivers(ctx, area, *tic);
      if (receivers.empty() && tic->source_path.empty()) continue;
      std::string source;
      if (!tic->source_path.empty())
        source = DirPart(tic->source_path) + tic->file;
      else if (!c.queue_dir.empty())
        source = JoinPath(c.queue_dir, tic->file);
      else if (!c.fileboxes)
        source = JoinPath(DestinationDir(ctx, *tic), tic->file);
      else
        source = JoinPath(c.inbound, tic->file);
      if (receivers.empty()) continue;
      ctx.log.Debug('E', "Sending file to links");
      for (LinkRecord* link : receivers) {
        (void)SendFileToLink(ctx, source, *link, AfterSending::kKeep, BoxPlacement::kMayLink);  // failures are logged and delayed there
        (void)ChangeDir(ctx, c.out_tics);
        std::string name = NewTicName(ctx, c.out_tics);
        std::string path = JoinPath(c.out_tics, name);
        int rc = WriteTic(ctx, path, *tic, *link);
        if (rc != 0) {
          // Attaching a ticket that is not there would make the mailer drop
          // the line silently; say so instead.
          ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
          continue;
        }
        (void)SendFileToLink(ctx, path, *link, AfterSending::kKill, BoxPlacement::kCopyOnly);  // as above
      }
    }
  }
  ctx.first_copies.clear();
}

}  // namespace olvix
