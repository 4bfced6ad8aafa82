// OLDCHECK: links that leave their files uncollected for PASSIVEDAYS days
// are turned passive, told by the PASSIVETPL letter and, with PASSIVEKILL,
// freed of what waits for them in the outbound. Uplinks stay active.
#ifndef OLVIX_MAINT_OLDCHECK_H_
#define OLVIX_MAINT_OLDCHECK_H_

namespace olvix {

struct LinkRecord;
struct RunContext;

// Results of MakePassive.
enum PassiveResult : int {
  kLinkPassive = 0,   // the link is passive now (or already was)
  kNoSuchLink = 1,    // no link record
  kLinkIsUplink = 2,  // an [UPLINKS] link: left active
  // passive in memory, but its letter or the links file could not be
  // written (logged)
  kLinksNotSaved = 3,
};

// Who rewrites the links file after a link was turned passive.
enum class LinksFile { kSaveNow, kCallerSaves };

// Turns `link` (nullptr: none) passive with message 67. With kSaveNow the
// PASSIVETPL letter is sent and the links file rewritten at once; with
// kCallerSaves the caller does both once for all the links it turned
// (SendPassiveTemplate for each, then SaveLinks).
int MakePassive(RunContext& ctx, LinkRecord* link, LinksFile save = LinksFile::kSaveNow);

// The PASSIVETPL letter (if set) to a link just turned passive. False when
// it could not be written (logged).
bool SendPassiveTemplate(RunContext& ctx, LinkRecord& link);

// The OLDCHECK command. Nothing happens when PASSIVEDAYS is 0 or less.
// Links turned passive are told and saved before anything is deleted; a
// failed write ends the run with status 1 (logged).
void RunOldCheck(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_MAINT_OLDCHECK_H_
