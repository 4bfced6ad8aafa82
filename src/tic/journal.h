// The journal of a toss: a small file in the home directory that says, step
// by step, what the run has done with each inbound ticket, so that a run
// killed at any point is finished by the next TOSS without losing a file or
// sending one twice. It also keeps two copies of the program from tossing
// one inbound at the same time: the running toss holds its lock.
//
// Every record is one line appended in one write before or after the step
// it describes takes effect:
//   H pid                     a run begins (or takes over the journal)
//   A tic area crc size       the ticket was accepted for the fileecho
//   X tic name...             the ticket was set aside (BADPATH, DUPESDIR):
//                             these inbound names go at the end
//   K tic                     an older file of the same name was kept aside
//   P tic                     the file is in its place
//   C tic crc size            the file changed in place (FILE_ID.DIZ added)
//   R tic key                 the step `key` (an [AUTOSTART] command) is
//                             done for the ticket, as Covered() tells
//   N tic link name           the outgoing ticket for the link has this name
//   S tic link                file and ticket are attached for the link
//   W key temp tic...         `temp` holds the whole new `key` file, which
//                             covers these tickets; the rename comes next
//   D key temp                the rename is done
// Words are escaped (blanks, control characters and "%" as %XX), so names
// of any bytes fit. A last line without its line end is a record the kill
// cut off: it did not happen.
#ifndef OLVIX_TIC_JOURNAL_H_
#define OLVIX_TIC_JOURNAL_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace olvix {

struct RunContext;

// What the journal says one ticket has done.
struct JournalTicket {
  bool accepted = false;
  bool set_aside = false;
  std::vector<std::string> set_aside_names;  // inbound names to delete
  bool kept = false;
  bool placed = false;
  bool changed = false;  // crc and size below replace the ticket's values
  std::string area;
  uint32_t crc = 0;
  uint32_t size = 0;
  std::unordered_map<std::string, std::string> names;  // link address -> ticket name
  std::unordered_set<std::string> sent;                // link addresses served
  // Keys of the committed files (description files, flow files, the purge
  // index) that cover this ticket.
  std::unordered_set<std::string> committed;
};

class TossJournal {
 public:
  TossJournal() = default;
  ~TossJournal();
  TossJournal(const TossJournal&) = delete;
  TossJournal& operator=(const TossJournal&) = delete;

  enum class OpenResult { kOpened, kBusy, kFailed };
  // Takes the journal of the home directory: kBusy when another running
  // toss holds it; kFailed (error in *error) when it cannot be created or
  // read. The records of an interrupted toss are read, its unfinished
  // renames settled and its temporary files named in `temp_dirs` removed.
  OpenResult Open(RunContext& ctx, const std::vector<std::string>& temp_dirs, int* error);

  // True when the journal held records of a toss that did not finish.
  bool resumed() const { return resumed_; }
  const std::string& path() const { return path_; }

  // The state of `tic`, or nullptr when the journal knows nothing of it.
  const JournalTicket* Find(const std::string& tic) const;
  JournalTicket& State(const std::string& tic) { return tickets_[tic]; }
  // Links whose ".olx" file got lines in a run that did not finish.
  const std::unordered_set<std::string>& delayed_links() const { return delayed_links_; }

  // Appends one record (words escaped here). 0 or the error number; the
  // state above follows the record.
  int Record(const std::vector<std::string>& words);
  // Appends several records in one write.
  int RecordAll(const std::vector<std::vector<std::string>>& records);

  // Commit of a whole new file: `temp` is complete. Records W, renames
  // `temp` onto `target`, records D. 0 or the error number (the temporary
  // file is then removed and `target` stays as it was).
  int Commit(const std::string& key, const std::string& temp, const std::string& target,
             const std::vector<std::string>& tics);

  // Writes `text` under a temporary name beside `target`, then commits it
  // as above. 0 or the error number.
  int CommitText(const std::string& key, const std::string& target, const std::string& text,
                 const std::vector<std::string>& tics);

  // The toss is complete: the journal is removed and its lock released.
  void Finish();

  static std::string Escape(const std::string& word);
  static std::string Unescape(const std::string& word);

 private:
  void Apply(const std::vector<std::string>& words);
  void Settle(const std::vector<std::string>& temp_dirs);

  std::string path_;
  int handle_ = -1;
  bool resumed_ = false;
  std::unordered_map<std::string, JournalTicket> tickets_;
  std::unordered_set<std::string> delayed_links_;
  // W records without their D: key -> temp and tickets.
  struct Pending {
    std::string temp;
    std::vector<std::string> tics;
  };
  std::unordered_map<std::string, Pending> pending_;
};

}  // namespace olvix

#endif  // OLVIX_TIC_JOURNAL_H_
