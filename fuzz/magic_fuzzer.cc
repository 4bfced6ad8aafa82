// The magic names file: any text takes new entries without a fault, the
// result holds the line of the last entry of every key, and taking the same entries again
// changes nothing (a toss repeated after an interruption writes the same
// file).
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_context.h"
#include "tic/magic.h"
#include "util/text.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string text(reinterpret_cast<const char*>(data), size);
  Check(ApplyMagicEntries(text, {}) == text);
  // Keys the file already holds, in another case, and one it does not.
  std::vector<MagicEntry> entries;
  for (const std::string& word : SplitWords(text.substr(0, 200))) {
    if (word.find_first_of("\n\r\t") != std::string::npos || word[0] == ';') continue;
    entries.push_back({Lower(word), MagicEntryLine(Lower(word), "/srv/files/" + word, 15)});
    if (entries.size() == 4) break;
  }
  entries.push_back({"FRESHKEY", MagicEntryLine("FRESHKEY", "/srv/files/fresh.zip", 15)});
  std::string once = ApplyMagicEntries(text, entries);
  Check(ApplyMagicEntries(once, entries) == once);
  // The last entry of a key wins.
  std::map<std::string, std::string> last;
  for (const MagicEntry& e : entries) last[Upper(e.key)] = e.line;
  for (const auto& [key, line] : last) Check(once.find(line) != std::string::npos);
  return 0;
}
