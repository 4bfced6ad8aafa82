// The fileecho list files of uplinks: one fileecho per line, its tag, then
// blanks and its description.
#ifndef OLVIX_MANAGER_UPLINK_LIST_H_
#define OLVIX_MANAGER_UPLINK_LIST_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;

struct UplinkListEntry {
  std::string tag;          // upper-cased
  std::string description;  // case kept; control characters made blanks
};

// Lines of a list are read in pieces of at most this many characters.
inline constexpr size_t kUplinkListPiece = 250;

// The entries of a list file's text (CR LF or LF line ends). Leading
// blanks and tabs of a line are skipped; a blank or tab ends the tag;
// lines without a tag give no entry.
std::vector<UplinkListEntry> ParseUplinkList(const std::string& text);

// Reads and parses the list file `path`. False when it cannot be read (the
// open failure is logged through the file table).
bool ReadUplinkList(RunContext& ctx, const std::string& path, std::vector<UplinkListEntry>* out);

}  // namespace olvix

#endif  // OLVIX_MANAGER_UPLINK_LIST_H_
