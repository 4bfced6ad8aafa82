// The reports posted as echomail: new files, new and deleted fileechoes.
#include "announce/announce.h"

#include <vector>

#include "announce/packet.h"
#include "announce/report.h"
#include "announce/template.h"
#include "config/records.h"
#include "manager/letter.h"
#include "platform/platform.h"
#include "run/context.h"
#include "tic/tic.h"
#include "tic/toss.h"
#include "util/files.h"
#include "util/msgnum.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Attribute word of report messages: local.
constexpr uint16_t kReportAttributes = 0x0100;

EchoMessage ReportMessage(const RunContext& ctx, const AnnounceDefinition& def,
                          const std::string& subject) {
  EchoMessage msg;
  msg.origin = def.address1;
  msg.destination = def.address1;
  msg.from_name = ctx.cfg.from_name;
  msg.to_name = "All";
  msg.subject = subject;
  msg.tear_line = LetterTearLine();
  msg.pid = msg.tear_line.substr(4);
  msg.origin_text = ctx.cfg.origin;
  msg.attributes = kReportAttributes;
  return msg;
}

// A packet name in PACKETDIR that neither a packet nor a packet being built
// has: an older packet the tosser has not taken yet must not be replaced.
std::string NewPacketPath(RunContext& ctx) {
  while (true) {
    std::string path = JoinPath(ctx.cfg.packet_dir, Format("%08X.pkt", NextMsgidSerial(ctx)));
    if (!platform::FileExists(path) && !platform::FileExists(PacketWorkPath(path))) return path;
  }
}

// Posts `bodies` as the messages of one packet, written whole under a
// temporary name and renamed: in a toss the rename is journalled as
// covering `tics` under `key`, so that a toss finishing a killed one posts
// no file twice. 0, or the error number (nothing is left under its name).
int PostReport(RunContext& ctx, const AnnounceDefinition& def, const std::string& subject,
               const std::vector<std::string>& bodies, const std::string& packet,
               const std::string& key, const std::vector<std::string>& tics) {
  std::string data = EncodePacket(ctx, ReportMessage(ctx, def, subject), bodies, def.echo_tag,
                                  def.password, def.address2);
  return CommitText(ctx, key, packet, data, tics);
}

// The journal's name of a new-files report.
std::string ReportKey(const RunContext& ctx, const AnnounceDefinition* def) {
  if (!def) return "announce:text";
  const auto& all = ctx.cfg.announces;
  for (size_t i = 0; i < all.size(); ++i)
    if (&all[i] == def) return Format("announce:%zu:", i) + def->echo_tag;
  return "announce:" + def->echo_tag;
}

// Stops the run after a report could not be written: the files are still
// where the caller would delete them from next (the inbound, the stored
// tickets), so the same command announces them again.
[[noreturn]] void ReportFailed(RunContext& ctx, const std::string& path, int rc) {
  if (CurrentToss(ctx)) TossWriteFailed(ctx, path, rc);
  ctx.log.Message('!', 1, 9, path.c_str(), platform::ErrorText(rc).c_str());
  Shutdown(ctx, 1);
}

// A template's text; false after logging message 0.
bool ReadTemplate(RunContext& ctx, const std::string& path, std::string* text) {
  int err = 0;
  if (ReadWholeFile(path, true, text, &err)) return true;
  if (err == 0) err = platform::NotFoundCode();
  ctx.log.Message('!', 3, 0, path.c_str(), platform::ErrorText(err).c_str());
  return false;
}

// The fileechoes `def` announces (every one for the text report) with their
// good tickets that no report of `key` covered yet.
std::vector<ReportArea> AnnouncedAreas(RunContext& ctx, const AnnounceDefinition* def,
                                       const std::string& key, std::vector<std::string>* tics) {
  std::vector<ReportArea> out;
  for (size_t i = 0; i < ctx.areas.size(); ++i) {
    const AreaRecord& area = ctx.areas[i];
    if (def && !DefinitionAnnounces(*def, area)) continue;
    ReportArea ra;
    ra.area = &area;
    for (const auto& tic : area.received) {
      if (tic->bad || Covered(ctx, *tic, key)) continue;
      ra.tickets.push_back(tic.get());
      tics->push_back(tic->tic_name);
    }
    if (!ra.tickets.empty()) out.push_back(std::move(ra));
  }
  return out;
}

std::optional<std::string> Station(const RunContext& ctx) {
  if (ctx.cfg.station.empty()) return std::nullopt;
  return ctx.cfg.station;
}

// Appends the text report to ANNOUNCETEXT. The file is rewritten whole
// through a temporary name, so a reader never sees half a report. 0 or the
// error number.
int AppendTextReport(RunContext& ctx, const std::string& report,
                     const std::vector<std::string>& tics) {
  const std::string& path = ctx.cfg.announce_text;
  std::string text;
  int err = 0;
  if (!ReadWholeFile(path, false, &text, &err) && err != platform::NotFoundCode())
    return err ? err : 5;
  CreatePath(path);
  return CommitText(ctx, ReportKey(ctx, nullptr), path, text + report, tics);
}

// The lines of a new- or deleted-fileecho template with the macros filled
// in, as one message body.
std::string EchoReportBody(const std::string& text, const std::vector<Macro>& macros) {
  std::string body;
  for (const TemplateLine& line : TemplateLines(text)) {
    body += FillMacros(line.text, macros);
    if (line.line_end) body += '\n';
  }
  return body;
}

// Both fileecho reports: one message in a packet of its own.
void EchoReport(RunContext& ctx, const std::string& kind, const AnnounceDefinition& def,
                const AreaRecord& area, const std::string& template_path,
                const std::string& subject, const std::string& description,
                const std::optional<std::string>& address) {
  if (ctx.cfg.packet_dir.empty() || template_path.empty()) return;
  if (!DefinitionAnnounces(def, area)) return;
  ReportClock clock = ReportClockAt(platform::Now());
  std::string text;
  if (!ReadTemplate(ctx, template_path, &text)) return;
  ctx.log.Message('#', 1, 76, area.tag.c_str(), def.echo_tag.c_str());
  std::optional<std::string> desc;
  if (!description.empty()) desc = OneLine(description);
  std::string body = EchoReportBody(text, {{"@STATION", Station(ctx)},
                                           {"@A", OneLine(area.tag)},
                                           {"@DATE", clock.date},
                                           {"@TIME", clock.time},
                                           {"@D", desc},
                                           {"@F", address}});
  std::string packet = NewPacketPath(ctx);
  // Not tied to tickets: the journal only sees the rename through.
  int rc = PostReport(ctx, def, subject, {body}, packet, "announce:" + kind + ":" + area.tag, {});
  // The fileecho stands whatever becomes of its report, and no later run
  // would announce it again: the caller goes on.
  if (rc != 0) ctx.log.Message('!', 1, 9, packet.c_str(), platform::ErrorText(rc).c_str());
}

}  // namespace

bool DefinitionAnnounces(const AnnounceDefinition& def, const AreaRecord& area) {
  if (def.groups == "*") return true;
  std::string groups = Upper(area.group);
  for (char g : Upper(def.groups))
    if (groups.find(g) != std::string::npos) return true;
  return false;
}

void NewFilesReport(RunContext& ctx, const AnnounceDefinition* def) {
  const MainConfig& c = ctx.cfg;
  if (def ? c.packet_dir.empty() : c.announce_text.empty() || c.ann_template.empty()) return;
  const std::string key = ReportKey(ctx, def);
  std::vector<std::string> tics;
  std::vector<ReportArea> areas = AnnouncedAreas(ctx, def, key, &tics);
  if (areas.empty()) return;
  std::string packet;
  if (def) {
    packet = NewPacketPath(ctx);
    ctx.log.Message('#', 1, 41, def->echo_tag.c_str());
  }
  std::string text;
  if (!ReadTemplate(ctx, def ? def->new_files_template : c.ann_template, &text)) return;
  NewFilesOptions options;
  options.split = def ? c.announce_split : 0;
  options.lower_case = c.ann_lower_case;
  options.version = LetterTearLine();
  options.station = Station(ctx);
  std::vector<std::string> bodies =
      RenderNewFiles(ParseAnnounceTemplate(text), areas, options, ReportClockAt(platform::Now()));
  int rc = def ? PostReport(ctx, *def, "New file(s) report", bodies, packet, key, tics)
               : AppendTextReport(ctx, bodies.front(), tics);
  if (rc != 0) ReportFailed(ctx, def ? packet : c.announce_text, rc);
}

void PostNewFilesReports(RunContext& ctx) {
  for (const AnnounceDefinition& def : ctx.cfg.announces) NewFilesReport(ctx, &def);
  if (!ctx.cfg.announce_text.empty()) NewFilesReport(ctx, nullptr);
}

void RemoveDeadAnnounceWork(RunContext& ctx) {
  const MainConfig& c = ctx.cfg;
  // While a killed toss's journal waits, its temporary files tell the next
  // toss which renames did not happen: they are that toss's to remove.
  if (CurrentToss(ctx) || platform::FileExists(ctx.home + "olxtoss.jnl")) return;
  for (const std::string& dir : {c.packet_dir, c.announce_path, DirPart(c.announce_text)})
    if (!dir.empty()) RemoveDeadRunTemps(dir);
}

void AnnounceNewFiles(RunContext& ctx) {
  RemoveDeadAnnounceWork(ctx);
  if (!ctx.cfg.announce_path.empty())
    StoreDelayedAnnounce(ctx);
  else
    PostNewFilesReports(ctx);
}

void NewEchoReport(RunContext& ctx, const std::string& tag, const FtnAddress& address,
                   const std::string& description, const AnnounceDefinition& def) {
  const AreaRecord* area = ctx.areas.Find(tag);
  if (!area) return;
  EchoReport(ctx, "newecho", def, *area, def.new_echo_template, "New fileecho report", description,
             FormatAddress(address));
}

void DeleteEchoReport(RunContext& ctx, const AreaRecord& area, const AnnounceDefinition& def) {
  std::optional<std::string> uplink;
  if (!area.subscribers.empty() && area.subscribers[0].link)
    uplink = FormatAddress(area.subscribers[0].link->address);
  EchoReport(ctx, "delecho", def, area, def.deleted_echo_template, "Delete fileecho report",
             area.description, uplink);
}

}  // namespace olvix
