#include "run/commands.h"

#include "announce/announce.h"
#include "config/config.h"
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
      {"TOSS", RunToss},     {"MGR", nullptr},          {"TOSSMGR", nullptr}, {"PURGE", nullptr},
      {"OLDCHECK", nullptr}, {"ANNOUNCE", RunAnnounce}, {"HAND", nullptr},    {"RELINK", nullptr},
      {"HATCH", RunHatch},   {"EXPORT", RunExport},
  };
  return kCommands;
}

}  // namespace olvix
