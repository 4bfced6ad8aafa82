// The commands of the command line and the code that runs each.
#ifndef OLVIX_RUN_COMMANDS_H_
#define OLVIX_RUN_COMMANDS_H_

#include <vector>

namespace olvix {

struct RunContext;

struct CommandEntry {
  const char* name;           // as the user types it, upper case
  void (*run)(RunContext&);   // nullptr: not available in this build
};

// Every named command. The argument vector is in ctx.args (the command
// first).
const std::vector<CommandEntry>& Commands();

}  // namespace olvix

#endif  // OLVIX_RUN_COMMANDS_H_
