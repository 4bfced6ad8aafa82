// Announcements: the new-files report (an echomail packet per [ANNOUNCE]
// definition, and the text report appended to ANNOUNCETEXT), the
// new-fileecho and deleted-fileecho reports, the delayed announce stored in
// ANNOUNCEPATH and the ANNOUNCE command that posts it.
#ifndef OLVIX_ANNOUNCE_ANNOUNCE_H_
#define OLVIX_ANNOUNCE_ANNOUNCE_H_

#include <string>

#include "util/address.h"

namespace olvix {

struct AnnounceDefinition;
struct AreaRecord;
struct RunContext;
struct TicRecord;

// True when `def` announces `area`: its groups are "*", or the fileecho has
// one of their letters.
bool DefinitionAnnounces(const AnnounceDefinition& def, const AreaRecord& area);

// The new-files report over the good tickets of every fileecho. With a
// definition: posted as echomail into its area in a new packet in
// PACKETDIR (nothing when PACKETDIR is not set or the definition announces
// none of those fileechoes). With nullptr: appended to ANNOUNCETEXT, laid
// out by ANNTEMPLATE (nothing unless both are set). A template that cannot
// be read is logged (message 0) and makes no report. A packet or text that
// cannot be written is logged with its path and the system's reason and
// ends the run (status 1), before anything the caller would delete next.
void NewFilesReport(RunContext& ctx, const AnnounceDefinition* def);

// The new-fileecho report of `def` for the fileecho `tag`, created on
// behalf of `address`, in a packet of its own. Nothing when PACKETDIR is
// not set, the definition has no new-fileecho template or does not
// announce the fileecho. Failures are logged; the caller goes on.
void NewEchoReport(RunContext& ctx, const std::string& tag, const FtnAddress& address,
                   const std::string& description, const AnnounceDefinition& def);

// The deleted-fileecho report of `def` for `area`, which still holds its
// remaining subscription (the uplink), in a packet of its own. Nothing
// when PACKETDIR is not set, the definition has no deleted-fileecho
// template or does not announce the fileecho. Failures are logged; the
// caller goes on.
void DeleteEchoReport(RunContext& ctx, const AreaRecord& area, const AnnounceDefinition& def);

// When ANNOUNCEPATH is set: one delayed-announce ticket there per good
// ticket of the run. A ticket that cannot be written is logged with its
// path and reason; the tickets this call wrote are removed again and the
// run ends (status 1), so the same command redoes the step whole.
void StoreDelayedAnnounce(RunContext& ctx);

// NewFilesReport for every [ANNOUNCE] definition, then the text report.
void PostNewFilesReports(RunContext& ctx);

// Removes what killed runs left half written in PACKETDIR, ANNOUNCEPATH and
// the directory of ANNOUNCETEXT; nothing while a toss is running or a
// killed toss's journal waits for the next TOSS.
void RemoveDeadAnnounceWork(RunContext& ctx);

// The announcement step of TOSS and HATCH: the delayed announce when
// ANNOUNCEPATH is set, else the new-files report of every definition and
// then the text report.
void AnnounceNewFiles(RunContext& ctx);

// ANNOUNCE: reads the delayed-announce tickets of ANNOUNCEPATH and, when
// there are enough files and kilobytes (or ctx.ignore_minimum is set),
// posts the new-files reports over them and deletes the tickets that were
// announced. Tickets of fileechoes that no longer exist are counted but
// never announced nor deleted.
void AnnounceCommand(RunContext& ctx);

// The text of a delayed-announce ticket (CR LF line ends): From, Area,
// File, Origin, Size, Crc and one Desc line per description line, each
// cut to fit one line of the ticket reader.
std::string DelayedAnnounceText(const TicRecord& tic);

}  // namespace olvix

#endif  // OLVIX_ANNOUNCE_ANNOUNCE_H_
