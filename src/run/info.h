#ifndef OLVIX_RUN_INFO_H_
#define OLVIX_RUN_INFO_H_

#include <string>

namespace olvix {

struct RunContext;

// Prints the report on the link or fileecho named by `arg`. Returns false
// when `arg` names neither.
bool PrintInfo(RunContext& ctx, const std::string& arg);

}  // namespace olvix

#endif  // OLVIX_RUN_INFO_H_
