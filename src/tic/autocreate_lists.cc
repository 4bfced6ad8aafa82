// The readers of the files that describe fileechoes a node may come to
// carry: the sysop's ECHOLISTFILE and ECHODESCFILE and the uplinks' fileecho
// lists. All of them may come from elsewhere, so any bytes must do no harm.
#include <vector>

#include "tic/autocreate.h"
#include "util/text.h"

namespace olvix {

namespace {

// The lines of `text` as the readers take them: at most `limit` characters
// each, without the line feed. The rest of a longer line belongs to it and
// is never read as a line of its own, so it cannot pose as another entry.
std::vector<std::string_view> LimitedLines(std::string_view text, size_t limit) {
  std::vector<std::string_view> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line.substr(0, limit));
    pos = end + 1;
  }
  return lines;
}

constexpr size_t kDescListLine = 255;
constexpr size_t kUplinkListLine = 509;

}  // namespace

std::string EchoListDescription(std::string_view text, const std::string& tag) {
  if (tag.empty()) return "";
  for (std::string_view line : LimitedLines(text, kDescListLine)) {
    if (line.empty() || line[0] == ';') continue;
    size_t at = line.find(tag);
    if (at == std::string_view::npos) continue;
    std::string rest = TrimLeft(line.substr(at + tag.size()));
    std::string word = rest.substr(0, rest.find(' '));
    for (char& c : word)
      if (c == '_') c = ' ';
    return word;  // only the first line that names the tag counts
  }
  return "";
}

std::string EchoDescFileDescription(std::string_view text, const std::string& tag) {
  if (tag.empty()) return "";
  for (std::string_view line : LimitedLines(text, kDescListLine)) {
    if (line.empty() || line[0] != ',') continue;
    line.remove_prefix(1);
    if (line.size() < tag.size() || !EqualsNoCase(line.substr(0, tag.size()), tag)) continue;
    // FILES must not take the description of FILESX: the tag ends at its
    // comma.
    if (line.size() > tag.size() && line[tag.size()] != ',') continue;
    std::string_view rest = line.size() > tag.size() ? line.substr(tag.size() + 1) : "";
    return std::string(rest.substr(0, rest.find(',')));
  }
  return "";
}

std::string UplinkListDescription(std::string_view text, const std::string& tag) {
  std::string found;
  for (std::string_view raw : LimitedLines(text, kUplinkListLine)) {
    std::string line = TrimLeft(raw);
    size_t blank = line.find(' ');
    if (blank == std::string::npos || !EqualsNoCase(line.substr(0, blank), tag)) continue;
    std::string rest = TrimLeft(line.substr(blank + 1));
    if (!rest.empty()) found = rest;  // a later line of the tag wins
  }
  return found;
}

}  // namespace olvix
