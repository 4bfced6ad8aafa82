#include "outbound/receivers.h"

#include <unordered_set>

#include "manager/letter.h"
#include "outbound/styles.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/address.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Where the file of `tic` is sent from: a hatched file from its own
// directory, else the queue, else its fileecho's directory, else (fileboxes
// in use) the inbound.
std::string SourcePath(RunContext& ctx, const TicRecord& tic) {
  const MainConfig& c = ctx.cfg;
  if (!tic.source_path.empty()) return DirPart(tic.source_path) + tic.file;
  // Files placed by the toss take the lower-case form of their names.
  if (!c.queue_dir.empty()) return JoinPath(c.queue_dir, Lower(tic.file));
  if (!c.fileboxes) return JoinPath(DestinationDir(ctx, tic), Lower(tic.file));
  // A box gets the file under the name the ticket gives it (a linked file
  // keeps that name; a copy takes its lower-case form).
  return JoinPath(c.inbound, tic.file);
}

bool FlowStyle(const MainConfig& c) {
  return c.attach_style == AttachStyle::kBink || c.attach_style == AttachStyle::kLbso;
}

// Whether the box holds, under `name`, the ticket of `tic` for `link`.
bool BoxHoldsTicket(const std::string& box, const std::string& name, const TicRecord& tic,
                    const LinkRecord& link) {
  std::string text;
  if (platform::ReadPlainFile(JoinPath(box, name), kTicMaxSize, &text) != 0) return false;
  TicRecord held;
  return ParseTic(text, &held) == 0 && held.to == link.address && held.file == tic.file &&
         held.area == tic.area;
}

// A failure that a later run with more space would not meet again: not a
// file that is gone, nor a name no flow line can carry.
bool IsWriteError(int rc) {
  return rc != 0 && rc != platform::NotFoundCode() && rc != kInvalidContent;
}

// A send that failed: in a toss a write that failed ends it (the journal
// lets the next run finish); elsewhere the next link is served.
int SendFailed(RunContext& ctx, const std::string& path, int rc) {
  if (CurrentToss(ctx) && IsWriteError(rc)) TossWriteFailed(ctx, path, rc);
  return rc;
}

// What is the same for every link of one file: where the file is, its flow
// line (empty when no flow style is used) and OUTTICS as it stands on disk.
struct FileToSend {
  std::string source;
  std::string name;  // as the log names it
  std::string source_line;
  std::string out_tics;
};

FileToSend Prepare(RunContext& ctx, const std::string& source, const std::string& out_tics) {
  FileToSend f;
  f.source = source;
  f.name = FilePart(source);
  if (FlowStyle(ctx.cfg)) f.source_line = FlowLine(source, AfterSending::kKeep);
  f.out_tics = out_tics;
  return f;
}

// Writes the ticket for `link` under `*name` (taken exclusively, or, when
// `recorded` and it exists, ours from an interrupted toss) and attaches the
// file and the ticket. `tic.tic_name` is the inbound ticket, for the journal.
int SendPair(RunContext& ctx, const FileToSend& file, const TicRecord& tic, LinkRecord& link,
             std::string* name, bool recorded) {
  const MainConfig& c = ctx.cfg;
  const std::string& source = file.source;
  std::string address = FormatAddress(link.address);
  std::string path = JoinPath(file.out_tics, *name);
  // Tickets leave OUTTICS for a filebox, so the box must not hold a name
  // either: a ticket still waiting there would be overwritten.
  std::string box = c.fileboxes ? FileboxPath(ctx, link) : "";
  int rc;
  if (recorded && platform::FileExists(path)) {
    // A ticket of ours that a kill may have cut short: written again whole.
    rc = WriteTic(ctx, path, tic, link);
  } else if (recorded && !box.empty() && BoxHoldsTicket(box, *name, tic, link)) {
    // Handed to the box before the kill.
    JournalRecord(ctx, {"S", tic.tic_name, address});
    return 0;
  } else {
    std::string wanted = *name;
    rc = WriteNewTic(ctx, file.out_tics, tic, link, name, box);
    if (rc == 0 && *name != wanted && !tic.tic_name.empty())
      JournalRecord(ctx, {"N", tic.tic_name, address, *name});
    path = JoinPath(file.out_tics, *name);
  }
  if (rc != 0) {
    // Attaching a ticket that is not there would make the mailer drop the
    // line silently; say so instead.
    ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
    return SendFailed(ctx, path, rc);
  }
  if (FlowStyle(c)) {
    // The file and its ticket reach the flow file together.
    const std::string& lines = file.source_line;
    std::string ticket_line = FlowLineOnDisk(path, AfterSending::kKill);
    if (lines.empty() || ticket_line.empty()) {
      ctx.log.Message('!', 1, 9, source.c_str(), "the file name holds a line break");
      (void)platform::RemoveFile(path);  // no ticket without its file
      return kInvalidContent;
    }
    const char* how = c.attach_style == AttachStyle::kLbso
                          ? "Sending %s through Long Binkly Style Outbound"
                          : "Sending %s through binkley-style outbound";
    ctx.log.Message('#', 1, 49, file.name.c_str(), address.c_str());
    ctx.log.Debug('E', how, source.c_str());
    ctx.log.Message('#', 1, 49, FilePart(path).c_str(), address.c_str());
    ctx.log.Debug('E', how, path.c_str());
    rc = AddFlowLines(ctx, link, lines + ticket_line, tic.tic_name);
    return rc != 0 ? SendFailed(ctx, path, rc) : 0;
  }
  rc = SendFileToLink(ctx, source, link, AfterSending::kKeep, BoxPlacement::kMayLink, file.name);
  if (rc != 0) {
    (void)platform::RemoveFile(path);  // no ticket without its file
    return SendFailed(ctx, source, rc);
  }
  rc = SendFileToLink(ctx, path, link, AfterSending::kKill, BoxPlacement::kCopyOnly);
  if (rc != 0) return SendFailed(ctx, path, rc);
  if (!tic.tic_name.empty()) JournalRecord(ctx, {"S", tic.tic_name, address});
  return 0;
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
  std::string name;
  TicRecord copy = tic;
  copy.tic_name.clear();  // not a ticket of a toss: nothing to journal
  FileToSend file = Prepare(ctx, source, platform::NativePath(ctx.cfg.out_tics));
  return SendPair(ctx, file, copy, link, &name, false);
}

int SendToLinks(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  (void)ChangeDir(ctx, c.inbound);
  ctx.first_copies.clear();
  TossState* toss = CurrentToss(ctx);
  FlowBatch batch;
  if (FlowStyle(c)) ctx.flow_batch = &batch;
  const std::string out_tics = platform::NativePath(c.out_tics);
  // First every file's receivers and the names of their tickets: the
  // names are in the journal, in one write, before any ticket exists, so
  // that a run taking over after a kill finds them instead of leaving them
  // behind.
  struct Pair {
    LinkRecord* link;
    std::string name;
    bool recorded;
  };
  struct Send {
    TicRecord* tic;
    FileToSend file;
    std::vector<Pair> pairs;
  };
  std::vector<Send> sends;
  std::vector<std::vector<std::string>> names;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    AreaRecord& area = ctx.areas[i];
    for (auto& tic : area.received) {
      if (tic->bad) continue;
      std::vector<LinkRecord*> receivers = ChooseReceivers(ctx, area, *tic);
      if (receivers.empty()) continue;
      const JournalTicket* done = toss ? toss->journal.Find(tic->tic_name) : nullptr;
      Send send{tic.get(), Prepare(ctx, SourcePath(ctx, *tic), out_tics), {}};
      if (tic->source_path.empty()) send.file.name = tic->file;  // the name the ticket gives
      for (LinkRecord* link : receivers) {
        std::string address = FormatAddress(link->address);
        Pair pair{link, "", false};
        if (done) {
          if (done->sent.count(address) != 0 || FlowCovers(ctx, *tic, *link)) continue;
          auto it = done->names.find(address);
          if (it != done->names.end()) {
            pair.name = it->second;
            pair.recorded = true;
          }
        }
        if (!pair.recorded) {
          pair.name = NextTicName(ctx);
          if (toss) names.push_back({"N", tic->tic_name, address, pair.name});
        }
        send.pairs.push_back(std::move(pair));
      }
      sends.push_back(std::move(send));
    }
  }
  if (toss) {
    if (int rc = toss->journal.RecordAll(names)) TossWriteFailed(ctx, toss->journal.path(), rc);
  }
  int first_error = 0;
  for (Send& send : sends) {
    ctx.log.Debug('E', "Sending file to links");
    // Failures are logged there; the next link is served either way.
    for (Pair& pair : send.pairs) {
      int rc = SendPair(ctx, send.file, *send.tic, *pair.link, &pair.name, pair.recorded);
      if (IsWriteError(rc) && first_error == 0) first_error = rc;
    }
  }
  ctx.flow_batch = nullptr;
  if (int rc = FlushFlowBatch(ctx, batch); rc != 0) {
    if (toss) TossWriteFailed(ctx, c.outbound, rc);
    if (first_error == 0) first_error = rc;
  }
  ctx.first_copies.clear();
  return first_error;
}

}  // namespace olvix
