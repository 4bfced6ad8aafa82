// What OLDCHECK takes out of the outbound for a link it made passive
// (PASSIVEKILL): the references to the link's waiting tickets and their
// files in its flow or list file, or the file-attach letters naming them.
#ifndef OLVIX_MAINT_KILL_H_
#define OLVIX_MAINT_KILL_H_

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "util/address.h"

namespace olvix {

struct LinkRecord;
struct RunContext;

// Paths of files that belong to the link being cleaned, kept as the mailer
// was given them (absolute, with the on-disk spelling of every part that
// exists) and compared without regard to case.
class KillList {
 public:
  // Add while the file still exists, so that its spelling on disk is found.
  void Add(const std::string& path);
  bool Has(std::string_view path) const;
  const std::vector<std::string>& paths() const { return paths_; }

 private:
  std::vector<std::string> paths_;
  std::unordered_set<std::string> keys_;  // lower-cased
};

// Flow or list file text (LF line ends) without the lines whose path, the
// line without a leading "^", `killed` names; the other lines stay in their
// order, each ended by LF. *removed receives the number of lines dropped.
std::string FilterFlowLines(std::string_view text,
                            const std::function<bool(std::string_view)>& killed, size_t* removed);

enum class CleanResult {
  kDone,    // cleaned, or nothing to clean
  kLeft,    // left alone this time (a mailer holds the busy flag, or the file is unreadable)
  kFailed,  // the new file could not be written; the old one stands
};

// Removes the lines of `kill` from the flow file (BINK) or list file (LBSO)
// of the link's flavour, only while holding the link's busy flag; the new
// text replaces the file through a complete temporary file. Every result
// but kDone is logged.
CleanResult KillFlowEntries(RunContext& ctx, const LinkRecord& link, const KillList& kill);
CleanResult KillListEntries(RunContext& ctx, const LinkRecord& link, const KillList& kill);

// The file-attach letters of OUTMAIL, read once per run on first use.
struct AttachLetters {
  struct Letter {
    std::string path;
    FtnAddress destination;
    bool gone = false;
  };
  bool loaded = false;
  std::vector<Letter> letters;                              // in name order
  std::unordered_multimap<std::string, size_t> by_subject;  // lower-cased subject
};

// AMA: deletes the letters to `address` whose subject is a path of `kill`.
void KillArcMailAttaches(RunContext& ctx, const FtnAddress& address, const KillList& kill,
                         AttachLetters* letters);

}  // namespace olvix

#endif  // OLVIX_MAINT_KILL_H_
