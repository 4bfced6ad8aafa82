// Command lines of manager letters ("%" or CMDCHAR and a command): PAUSE,
// RESUME, RESEND and the keywords of [TEMPLATES].
#ifndef OLVIX_MANAGER_COMMANDS_H_
#define OLVIX_MANAGER_COMMANDS_H_

#include <string>

namespace olvix {

struct LinkRecord;
struct ManagerRequest;
struct RunContext;

// Executes one command line (upper-cased) for `link`; answers go to
// `answer_name`. Sets handled when the line was acted on. A links file
// that cannot be rewritten, or an answer that cannot be written, sets the
// request's failed mark.
void RunCommand(RunContext& ctx, ManagerRequest& req, const std::string& line, LinkRecord& link,
                const std::string& answer_name);

// The parameters of RESEND: "fileecho:file" or "file", then optionally
// NOTIC.
struct ResendRequest {
  std::string area_mask;
  std::string file_mask;
  bool no_tic = false;
};
// False when the parameters name no file (an empty word, or an empty part
// around the colon).
bool ParseResend(const std::string& params, ResendRequest* out);
// True when a mask from a letter can only match names inside one
// directory: no path separator, no drive colon, no "..".
bool IsSafeResendMask(const std::string& mask);

// Sends the files of the fileechoes that match the request to `link`
// again, each with a fresh ticket unless NOTIC, and answers with a "Resend
// report" made from the RESEND template. Without that template nothing is
// done and handled stays unset.
void Resend(RunContext& ctx, ManagerRequest& req, LinkRecord& link, const ResendRequest& what,
            const std::string& answer_name);

}  // namespace olvix

#endif  // OLVIX_MANAGER_COMMANDS_H_
