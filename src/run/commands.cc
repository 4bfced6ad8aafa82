#include "run/commands.h"

#include "config/config.h"
#include "manager/manager.h"
#include "run/context.h"
#include "tic/toss.h"

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

}  // namespace

const std::vector<CommandEntry>& Commands() {
  static const std::vector<CommandEntry> kCommands = {
      {"TOSS", RunToss},     {"MGR", RunManager},   {"TOSSMGR", RunTossManager},
      {"PURGE", nullptr},    {"OLDCHECK", nullptr}, {"ANNOUNCE", nullptr},
      {"HAND", RunHand},     {"RELINK", nullptr},   {"HATCH", nullptr},
      {"EXPORT", RunExport},
  };
  return kCommands;
}

}  // namespace olvix
