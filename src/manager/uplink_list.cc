#include "manager/uplink_list.h"

#include "config/config_files.h"
#include "run/context.h"
#include "util/files.h"
#include "util/text.h"

namespace olvix {

std::vector<UplinkListEntry> ParseUplinkList(const std::string& text) {
  std::vector<UplinkListEntry> out;
  for (std::string piece : SplitPieces(text, kUplinkListPiece)) {
    StripLineEnd(&piece);
    // A list is the uplink's file: nothing in it may split or hide a line
    // of the answers it is copied into.
    std::string line = OneLine(TrimLeft(piece));
    size_t blank = line.find(' ');
    UplinkListEntry e;
    e.tag = Upper(line.substr(0, blank));
    if (e.tag.empty()) continue;
    if (blank != std::string::npos) e.description = TrimLeft(line.substr(blank));
    out.push_back(std::move(e));
  }
  return out;
}

bool ReadUplinkList(RunContext& ctx, const std::string& path, std::vector<UplinkListEntry>* out) {
  std::string text;
  if (!ReadConfigFile(ctx, path, false, &text, nullptr)) return false;
  *out = ParseUplinkList(text);
  return true;
}

}  // namespace olvix
