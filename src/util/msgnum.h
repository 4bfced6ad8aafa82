// Stored-message numbering: the names "<number>.msg" of a netmail
// directory, and the MSGID serials of the run.
#ifndef OLVIX_UTIL_MSGNUM_H_
#define OLVIX_UTIL_MSGNUM_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {

struct RunContext;

// The number a message file name stands for: the decimal value of its
// leading digits, after leading blanks and an optional "+". A name without
// leading digits, a negative number and a number that does not fit in 32
// bits all count as 0.
uint32_t MessageNumberOf(std::string_view name);
// "8.msg" for 8.
std::string MessageFileName(uint32_t number);
// The number the next message takes among the names of a directory's
// "*.msg" files: one more than the highest number, where the highest is at
// least 1 (so an empty directory gives 2 and number 1 is never chosen).
uint32_t NextMessageNumber(const std::vector<std::string>& names);

// The MSGID serial for a message written at local time `local` (hundredths
// of a second in `hundredths`) with the pseudo-random number `random`,
// after the serial `last`: the packed date and time plus random % 100, and
// never less than last + 1.
uint32_t MsgidSerial(const std::tm& local, int hundredths, int random, uint32_t last);
// A fresh serial of the run from the current local time and the run's
// generator; strictly increasing within the run (stored in ctx.last_msgid).
uint32_t NextMsgidSerial(RunContext& ctx);
// The same for a given local time and hundredths of a second.
uint32_t NextMsgidSerialAt(RunContext& ctx, const std::tm& local, int hundredths);

}  // namespace olvix

#endif  // OLVIX_UTIL_MSGNUM_H_
