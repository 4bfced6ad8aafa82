#include "maint/oldcheck.h"

#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/config.h"
#include "config/records.h"
#include "maint/kill.h"
#include "maint/outtics.h"
#include "manager/template.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/address.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

using TicketGroup = std::vector<const WaitingTicket*>;

// Whole days since `mtime`, at least PASSIVEDAYS. A time ahead of the
// clock (the clock was set back) is no age at all.
bool IsOld(const RunContext& ctx, int64_t now, int64_t mtime) {
  return now >= mtime && (now - mtime) / 86400 >= ctx.cfg.passive_days;
}

// Sends each link turned passive its letter, then saves the links file.
// A failure of either (logged) ends the run before anything is deleted,
// or the next run would find no old tickets and leave the link active.
// The letters go first: a link saved as passive is never turned again,
// so a letter lost after the save would never be written, while one
// written twice after an interrupted run only tells the link twice.
void SaveTurnedLinks(RunContext& ctx, const std::vector<LinkRecord*>& turned) {
  if (turned.empty()) return;
  for (LinkRecord* link : turned)
    if (!SendPassiveTemplate(ctx, *link)) Shutdown(ctx, 1);
  if (SaveLinks(ctx) != 0) Shutdown(ctx, 1);
}

// The paths of the link's tickets in OUTTICS and of the files they send.
KillList BuildKillList(RunContext& ctx, const TicketGroup& tickets) {
  const MainConfig& c = ctx.cfg;
  ctx.log.Debug('J', "Creating Kill List");
  (void)ChangeDir(ctx, c.out_tics);
  KillList kill;
  for (const WaitingTicket* t : tickets) {
    kill.Add(JoinPath(c.out_tics, t->name));
    if (t->file.empty()) continue;
    std::string dir =
        !c.queue_dir.empty() ? c.queue_dir : DestinationDir(ctx, t->file, t->magic, t->area);
    if (dir.empty()) continue;
    std::string path = JoinPath(dir, t->file);
    kill.Add(path);
    ctx.log.Debug('J', "File %s added to kill list", OneLine(path).c_str());
  }
  return kill;
}

// The tickets go last, and the old ones last of all: a run interrupted
// before finds an old ticket again and cleans the link once more.
void DeleteTickets(RunContext& ctx, const TicketGroup& tickets, int64_t now) {
  for (bool old : {false, true}) {
    for (const WaitingTicket* t : tickets) {
      if (IsOld(ctx, now, t->mtime) != old) continue;
      std::string path = JoinPath(ctx.cfg.out_tics, t->name);
      if (platform::IsPlainFile(path)) (void)RemovePlainFile(ctx, path);  // failures are logged
    }
  }
}

// PASSIVEKILL for one address. False when a write failed (logged): the
// command ends.
bool KillAttaches(RunContext& ctx, const FtnAddress& address, const LinkRecord* link,
                  const TicketGroup& tickets, int64_t now, AttachLetters* letters) {
  KillList kill = BuildKillList(ctx, tickets);
  ctx.log.Message('#', 1, 73, FormatAddress(address).c_str());
  CleanResult cleaned = CleanResult::kDone;
  switch (ctx.cfg.attach_style) {
    case AttachStyle::kAma:
      KillArcMailAttaches(ctx, address, kill, letters);
      break;
    case AttachStyle::kBink:
      if (link) cleaned = KillFlowEntries(ctx, *link, kill);
      break;
    case AttachStyle::kLbso:
      if (link) cleaned = KillListEntries(ctx, *link, kill);
      break;
    default:
      break;
  }
  if (cleaned == CleanResult::kFailed) return false;
  // Tickets whose references stay in the flow file are kept for the next
  // run, which finds them old again.
  if (cleaned == CleanResult::kDone) DeleteTickets(ctx, tickets, now);
  (void)ChangeDir(ctx, ctx.cfg.out_tics);
  return true;
}

// BINK, AMA and LBSO: the tickets in OUTTICS.
void CheckOutboundTickets(RunContext& ctx, int64_t now) {
  const MainConfig& c = ctx.cfg;
  (void)ChangeDir(ctx, c.out_tics);
  std::vector<WaitingTicket> tickets;
  if (ReadWaitingTickets(ctx, c.out_tics, &tickets) == kTicNoMemory) {
    ctx.log.Message('!', 0, 86);
    return;
  }
  // A link's tickets, for its kill list without a pass over all of them.
  std::unordered_map<FtnAddress, TicketGroup, FtnAddressHash> by_to;
  for (const WaitingTicket& t : tickets)
    if (t.result == 0) by_to[t.to].push_back(&t);

  struct Old {
    const WaitingTicket* ticket;
    LinkRecord* link;
    int result;
  };
  std::vector<Old> old;
  std::vector<LinkRecord*> turned;
  for (const WaitingTicket& t : tickets) {
    if (t.result != 0 || !IsOld(ctx, now, t.mtime)) continue;
    ctx.log.Message('#', 3, 105, OneLine(Upper(t.name)).c_str());
    LinkRecord* link = ctx.links.Find(t.to);
    bool was_active = link && link->active;
    int result = MakePassive(ctx, link, LinksFile::kCallerSaves);
    if (result == kLinkPassive && was_active) turned.push_back(link);
    old.push_back({&t, link, result});
  }
  SaveTurnedLinks(ctx, turned);
  if (!c.passive_kill) return;

  // The first old ticket of an address takes all its tickets with it;
  // later ones find nothing left.
  std::unordered_set<FtnAddress, FtnAddressHash> cleaned;
  AttachLetters letters;
  for (const Old& o : old) {
    if (o.result == kLinkIsUplink || !cleaned.insert(o.ticket->to).second) continue;
    if (!KillAttaches(ctx, o.ticket->to, o.link, by_to[o.ticket->to], now, &letters))
      Shutdown(ctx, 1);
  }
}

// Acts on the first old ticket of a filebox. True when the box is to be
// emptied with PASSIVEKILL: its link was turned passive, already was, or
// has no record; an uplink's box stays untouched.
bool CheckFilebox(RunContext& ctx, const std::string& box, int64_t now,
                  std::vector<LinkRecord*>* turned) {
  ctx.log.Message('#', 4, 101, OneLine(box).c_str());
  for (const platform::DirEntry& e : ListSorted(box, "*.tic", false)) {
    if (!IsOld(ctx, now, e.mtime)) continue;
    ctx.log.Debug('J', "An old TIC-file found. He's name is %s", OneLine(e.name).c_str());
    std::string path = box + e.name;
    TicRecord tic;
    if (ReadTic(ctx, path, &tic) != 0) continue;
    ctx.log.Message('#', 3, 105, OneLine(path).c_str());
    LinkRecord* link = ctx.links.Find(tic.to);
    bool was_active = link && link->active;
    int result = MakePassive(ctx, link, LinksFile::kCallerSaves);
    if (result == kLinkIsUplink) return false;
    if (result == kLinkPassive && was_active) turned->push_back(link);
    return true;
  }
  return false;
}

// Deletes the tickets of a box and the files they name. The files go
// first and the old tickets last: a run interrupted before finds an old
// ticket again, while a file left without its ticket would be sent alone.
void EmptyFilebox(RunContext& ctx, const std::string& box, int64_t now) {
  ctx.log.Debug('J', "Killing fileecho files from filebox");
  std::vector<std::string> files, young, old;
  for (const platform::DirEntry& e : ListSorted(box, "*.tic", false)) {
    TicRecord tic;
    std::string path = box + e.name;
    if (ReadTic(ctx, path, &tic) != 0) continue;
    ctx.log.Debug('J', "  Killing: %s", OneLine(e.name).c_str());
    ctx.log.Debug('J', "  Killing: %s", OneLine(tic.file).c_str());
    (IsOld(ctx, now, e.mtime) ? old : young).push_back(path);
    // The on-disk spelling, for the log and to take each file once.
    if (IsBareFileName(tic.file)) files.push_back(platform::NativePath(box + tic.file));
  }
  files.insert(files.end(), young.begin(), young.end());
  files.insert(files.end(), old.begin(), old.end());
  std::unordered_set<std::string> done;
  for (const std::string& path : files) {
    if (!done.insert(Lower(path)).second || !platform::IsPlainFile(path)) continue;
    if (RemovePlainFile(ctx, path) == 0) ctx.log.Message('#', 2, 65, OneLine(path).c_str());
  }
}

// FILEBOXES, LONGFILEBOXES and BRAKEFILEBOXES: every directory in OUTBOUND.
void CheckFileboxes(RunContext& ctx, int64_t now) {
  const std::string& outbound = ctx.cfg.outbound;
  (void)ChangeDir(ctx, outbound);
  std::vector<std::string> to_empty;
  std::vector<LinkRecord*> turned;
  for (const platform::DirEntry& e :
       ListSorted(outbound, "*.*", true, platform::EntryDetails::kNamesOnly)) {
    if (!e.is_dir) continue;  // a file holds no tickets
    std::string box = WithTrailingSep(outbound) + e.name + platform::kSep;
    if (CheckFilebox(ctx, box, now, &turned)) to_empty.push_back(box);
  }
  SaveTurnedLinks(ctx, turned);
  if (!ctx.cfg.passive_kill) return;
  for (const std::string& box : to_empty) EmptyFilebox(ctx, box, now);
}

}  // namespace

int MakePassive(RunContext& ctx, LinkRecord* link, LinksFile save) {
  if (!link) return kNoSuchLink;
  if (!link->active) return kLinkPassive;
  ctx.log.Debug('J', "Some link will become passive");
  std::string address = FormatAddress(link->address);
  for (const UplinkRecord& uplink : ctx.cfg.uplinks) {
    if (uplink.link && uplink.link->address == link->address) {
      ctx.log.Debug('J', "Link %s is our uplink: it stays active", address.c_str());
      return kLinkIsUplink;
    }
  }
  ctx.log.Message('#', 1, 67, address.c_str());
  link->active = false;
  if (save == LinksFile::kCallerSaves) return kLinkPassive;
  if (!SendPassiveTemplate(ctx, *link) || SaveLinks(ctx) != 0) return kLinksNotSaved;
  return kLinkPassive;
}

bool SendPassiveTemplate(RunContext& ctx, LinkRecord& link) {
  return SendTemplateAnswer(ctx, ctx.cfg.passive_tpl, link, "Sysop");  // nothing when not set
}

void RunOldCheck(RunContext& ctx) {
  // A negative number of days would find every ticket old.
  if (ctx.cfg.passive_days <= 0) return;
  int64_t now = platform::Now();
  ctx.log.Message('#', 1, 68);
  try {
    if (ctx.cfg.fileboxes)
      CheckFileboxes(ctx, now);
    else
      CheckOutboundTickets(ctx, now);
  } catch (const std::bad_alloc&) {
    ctx.log.Message('!', 0, 86);
  }
}

}  // namespace olvix
