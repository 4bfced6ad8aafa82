#include "outbound/receivers.h"

#include <unordered_set>

#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/address.h"
#include "util/paths.h"

namespace olvix {

namespace {

// Where the file of `tic` is sent from: a hatched file from its own
// directory, else the queue, else its fileecho's directory, else (fileboxes
// in use) the inbound.
std::string SourcePath(RunContext& ctx, const TicRecord& tic) {
  const MainConfig& c = ctx.cfg;
  if (!tic.source_path.empty()) return DirPart(tic.source_path) + tic.file;
  if (!c.queue_dir.empty()) return JoinPath(c.queue_dir, tic.file);
  if (!c.fileboxes) return JoinPath(DestinationDir(ctx, tic), tic.file);
  return JoinPath(c.inbound, tic.file);
}

}  // namespace

std::vector<LinkRecord*> ChooseReceivers(RunContext& ctx, AreaRecord& area, TicRecord& tic) {
  std::vector<LinkRecord*> receivers;
  ctx.log.Debug('E', "Looking for links to receive %s", tic.file.c_str());
  // The SEEN-BY addresses, parsed once: a fileecho with a thousand
  // subscribers would otherwise parse the growing list for each of them.
  std::unordered_set<FtnAddress, FtnAddressHash> seen;
  seen.reserve(tic.seen_by_list.size() + area.subscribers.size());
  for (const std::string& text : tic.seen_by_list) seen.insert(ParseAddress(text));
  for (const Subscriber& sub : area.subscribers) {
    LinkRecord* link = sub.link;
    std::string address = FormatAddress(link->address);
    ctx.log.Debug('E', " link: %s", address.c_str());
    bool refuse = seen.count(link->address) != 0 || !link->active || sub.mode == kModeWriteOnly ||
                  tic.from == link->address || link->HasOption('W');
    if (refuse) {
      ctx.log.Debug('E', " ... won't receive file");
      continue;
    }
    ctx.log.Debug('E', " ... will receive file");
    receivers.push_back(link);
    // Every receiver stands in SEEN-BY before the first ticket is written;
    // a link listed twice among the subscribers is taken once.
    tic.seen_by_list.push_back(address);
    seen.insert(link->address);
  }
  return receivers;
}

int SendFileWithTicket(RunContext& ctx, const std::string& source, const TicRecord& tic,
                       LinkRecord& link) {
  const MainConfig& c = ctx.cfg;
  // A locked flow file is delayed by the style, which then reports success.
  int rc = SendFileToLink(ctx, source, link, AfterSending::kKeep, BoxPlacement::kMayLink);
  if (rc != 0) return rc;
  std::string path = JoinPath(c.out_tics, NewTicName(ctx, c.out_tics));
  rc = WriteTic(ctx, path, tic, link);
  if (rc != 0) {
    // Attaching a ticket that is not there would make the mailer drop the
    // line silently; say so instead.
    ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return rc;
  }
  return SendFileToLink(ctx, path, link, AfterSending::kKill, BoxPlacement::kCopyOnly);
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
      if (receivers.empty()) continue;
      std::string source = SourcePath(ctx, *tic);
      ctx.log.Debug('E', "Sending file to links");
      // Failures are logged there; the next link is served either way.
      for (LinkRecord* link : receivers) (void)SendFileWithTicket(ctx, source, *tic, *link);
    }
  }
  ctx.first_copies.clear();
}

}  // namespace olvix
