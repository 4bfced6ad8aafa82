// The run's pseudo-random numbers and unique serials. Both are reproducible:
// the generator is never seeded, so ticket names and message serials follow
// the same sequence in every run (apart from the clock part of a serial).
#ifndef OLVIX_UTIL_RANDOM_H_
#define OLVIX_UTIL_RANDOM_H_

#include <cstdint>
#include <ctime>

namespace olvix {

struct RunContext;

// The next number from 0 to 32767 of the linear congruential generator with
// multiplier 1103515245 and increment 12345 (bits 16 to 30 of the state).
int NextRandom(RunContext& ctx);

// A new MSGID serial: the local date and time packed into 32 bits plus a
// pseudo-random number below 100, raised to the last serial + 1 when it
// would not be greater. Strictly increasing within the run.
uint32_t NextSerial(RunContext& ctx);
// The same for a given local time and hundredths of a second.
uint32_t NextSerialAt(RunContext& ctx, const std::tm& local, int hundredths);

}  // namespace olvix

#endif  // OLVIX_UTIL_RANDOM_H_
