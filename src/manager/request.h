// The state of one request to the robot: one letter of a link, or one
// HAND run for one link. Reset before each; read by the driver to decide
// which answers the link gets.
#ifndef OLVIX_MANAGER_REQUEST_H_
#define OLVIX_MANAGER_REQUEST_H_

#include <string>
#include <unordered_map>
#include <unordered_set>

namespace olvix {

struct ManagerRequest {
  int added = 0;                // subscriptions made
  int removed = 0;              // subscriptions removed
  bool report_changed = false;  // the status report holds a line: it is sent
  bool areas_changed = false;   // subscriptions or fileechoes changed
  bool handled = false;         // at least one line was acted on
  bool forwarded = false;       // a request went to an uplink
  // A file the job depends on (the links file, an answer) could not be
  // written: the remaining lines are not carried out, the job stops and
  // the letter is kept for a later run.
  bool failed = false;
  std::string report;  // the text of the status report so far
  // The upper-cased tags of each uplink's fileecho list (key: the list
  // file), read once per request however many tags it asks for.
  std::unordered_map<std::string, std::unordered_set<std::string>> uplink_tags;
};

}  // namespace olvix

#endif  // OLVIX_MANAGER_REQUEST_H_
