// The state of one run, owned by the run driver and passed by reference to
// every subsystem.
#ifndef OLVIX_RUN_CONTEXT_H_
#define OLVIX_RUN_CONTEXT_H_

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "config/main_config.h"
#include "config/records.h"
#include "run/log.h"
#include "util/files.h"

namespace olvix {

struct TossState;
struct FlowBatch;

struct RunContext {
  MainConfig cfg;
  LinkTable links;
  AreaTable areas;
  Log log;
  FileTable files{&log};

  std::string home;               // ends in the platform separator
  std::string start_dir;          // ends in the platform separator
  std::vector<std::string> args;  // the command line after the program name

  bool ignore_minimum = false;    // ANNOUNCE -U
  bool netmail_written = false;   // a netmail letter was written
  bool packet_written = false;    // an echomail packet was written
  bool not_enough_space = false;  // a MINFREE check failed
  int busy_handle = -1;           // the busy flag held by this run
  bool busy_state = false;        // the busy flag could not be taken
  bool log_open = false;

  uint32_t random_state = 1;  // the pseudo-random generator (util/random.h)
  uint32_t last_msgid = 0;    // the last MSGID serial given out
  // Next message number to try per netmail directory (key: the lower-case
  // normalized directory), found by one scan and then advanced locally.
  std::unordered_map<std::string, uint32_t> next_message_number;
  // While hard links place files into fileboxes: bare file name -> full path
  // of the first copy made in this sending pass. Cleared by the sending
  // pass at its start and end.
  std::unordered_map<std::string, std::string> first_copies;
  // The file whose further names are the busy flags this run puts beside
  // flow files (outbound/busy.cc), locked by this run for as long as it
  // lives; "" until the first is needed. Removed at shut-down.
  std::string busy_flag_source;
  int busy_flag_lock = -1;
  bool busy_flag_links = true;  // false once hard links proved unusable
  int64_t busy_flag_stamp = 0;  // when busy_flag_source last got the current time
  // "TAG address" of every fileecho an uplink's robot was asked to drop in
  // this run (manager/subscribe.cc), so that a batch of its files asks once.
  std::unordered_set<std::string> uplinks_asked;

  // The toss in progress (tic/toss.h), owned by the toss; nullptr otherwise.
  TossState* toss = nullptr;
  // The flow and list file lines of the sending pass in progress
  // (outbound/styles.h), owned by the pass; nullptr otherwise.
  FlowBatch* flow_batch = nullptr;

  // Turns a path from the configuration or command line into the platform's
  // form, relative names taken relative to the home directory.
  std::string Path(const std::string& text) const;
};

// The single exit path of the program: pending delayed attaches, flag
// files, the closing log line, the busy flag, the console title. Never
// returns.
[[noreturn]] void Shutdown(RunContext& ctx, int status);
// Shows the current activity in the console title.
void SetActivity(RunContext& ctx, const std::string& word);
// Changes the current directory with its debug lines.
int ChangeDir(RunContext& ctx, const std::string& path);

}  // namespace olvix

#endif  // OLVIX_RUN_CONTEXT_H_
