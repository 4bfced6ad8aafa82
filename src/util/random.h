// The run's pseudo-random numbers: a linear congruential generator that is
// never seeded, so every run draws the same sequence.
#ifndef OLVIX_UTIL_RANDOM_H_
#define OLVIX_UTIL_RANDOM_H_

namespace olvix {

struct RunContext;

// The next number from 0 to 32767: state = state * 1103515245 + 12345, the
// result is bits 16 to 30 of the new state.
int NextRandom(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_UTIL_RANDOM_H_
