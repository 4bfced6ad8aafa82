#include "run/commands.h"

#include "announce/announce.h"
#include "config/config.h"
#include "maint/oldcheck.h"
#include "maint/purge.h"
#include "maint/relink.h"
#include "manager/manager.h"
#include "run/context.h"
#include "tic/hatch.h"
#include "tic/toss.h"
#include "util/text.h"

namespace olvix {

namespace {

void RunExport(RunContext& ctx) {
  if (ctx.args.size() < 2) {
    ctx.log.Message('!', 1, 119);
    return;
  }
  (void)ExportAreas(ctx, ctx.args[1]);  // failures are logged by the export
}

void RunToss(RunContext& ctx) {
  SetActivity(ctx, "Tossing");
  Toss(ctx);
  SetActivity(ctx, "Queue clean");
  QueueClean(ctx);
}

void RunPurge(RunContext& ctx) {
  SetActivity(ctx, "Purging");
  PurgeCommand(ctx);
  // A negative KEEPTICSDAYS would find every kept ticket too old.
  if (!ctx.cfg.keep_tics.empty() && ctx.cfg.keep_tics_days > 0) PurgeKeptTics(ctx);
}

void RunOldCheckCommand(RunContext& ctx) {
  SetActivity(ctx, "OldCheck");
  RunOldCheck(ctx);
}

void RunRelinkCommand(RunContext& ctx) {
  SetActivity(ctx, "Relink");
  const std::vector<std::string>& a = ctx.args;
  if (a.size() < 2) return;
  RunRelink(ctx, a[1], a.size() > 2 ? a[2] : "", a.size() > 3 ? a[3] : "");
}

void RunAnnounce(RunContext& ctx) {
  SetActivity(ctx, "Announcing");
  if (ctx.args.size() > 1 && Upper(ctx.args[1]) == "-U") {
    ctx.ignore_minimum = true;
    ctx.log.Debug('A', "\"-U\" - ignoring AnnMin*");
  }
  AnnounceCommand(ctx);
}

void RunHatch(RunContext& ctx) { HatchCommand(ctx, ctx.args); }

}  // namespace

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> kCommands = {
      {"TOSS", RunToss},
      {"MGR", RunManager},
      {"TOSSMGR", RunTossManager},
      {"PURGE", RunPurge},
      {"OLDCHECK", RunOldCheckCommand},
      {"ANNOUNCE", RunAnnounce},
      {"HAND", RunHand},
      {"RELINK", RunRelinkCommand},
      {"HATCH", RunHatch},
      {"EXPORT", RunExport},
  };
  return kCommands;
}

}  // namespace olvix
