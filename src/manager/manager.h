// The robot's driver: MGR reads the letters in NETMAIL and carries them
// out for the links that wrote them, HAND does the same for request lines
// given on the command line, TOSSMGR runs the robot before the toss.
#ifndef OLVIX_MANAGER_MANAGER_H_
#define OLVIX_MANAGER_MANAGER_H_

#include <string>
#include <vector>

namespace olvix {

struct LinkRecord;
struct ManagerRequest;
struct NetmailLetter;
struct RunContext;

// MGR. Letters that are not for this node or not to the robot stay in
// NETMAIL; every other letter is deleted once it has been handled. The
// areas file is written once at the end, and only then are the letters
// that changed it deleted, so that a run cut short repeats them instead
// of losing their changes. A file that cannot be written stops the run
// (status 1) before the letters it concerns are deleted.
void RunManager(RunContext& ctx);
// HAND link-or-mask line...: ctx.args holds "HAND", the link's address or
// an address mask, and one request line per argument.
void RunHand(RunContext& ctx);
// TOSSMGR: the robot, then the toss, then the queue clean.
void RunTossManager(RunContext& ctx);

// One line of a letter by the robot's rules: kludges and one-character
// lines are ignored, "+" subscribes, "-" unsubscribes, "%" and CMDCHAR run
// a command, anything else subscribes to the whole line.
void ExecuteLetterLine(RunContext& ctx, ManagerRequest& req, const std::string& text,
                       LinkRecord& link, const std::string& answer_name);

// True when `address` (a link's address text) matches the HAND mask
// `mask`: a mask without "." names only links without a point.
bool MatchesAddressMask(const std::string& mask, const std::string& address);

}  // namespace olvix

#endif  // OLVIX_MANAGER_MANAGER_H_
