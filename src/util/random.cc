#include "util/random.h"

#include "run/context.h"

namespace olvix {

int NextRandom(RunContext& ctx) {
  ctx.random_state = ctx.random_state * 1103515245u + 12345u;
  return static_cast<int>((ctx.random_state >> 16) & 0x7FFFu);
}

}  // namespace olvix
