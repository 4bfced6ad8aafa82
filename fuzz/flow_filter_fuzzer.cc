// Flow and list files cleaned by OLDCHECK: any bytes filter without a
// fault; the lines kept are the input's lines in their order, none split
// or joined, and exactly the killed ones are gone.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_context.h"
#include "maint/kill.h"

using olvix::fuzz::Check;
using olvix::fuzz::Lines;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // Kills paths that hold an "x": some lines of most inputs.
  auto killed = [](std::string_view p) { return p.find('x') != std::string_view::npos; };
  size_t removed = 0;
  std::string kept = olvix::FilterFlowLines(text, killed, &removed);
  std::vector<std::string_view> in = Lines(text), out = Lines(kept);
  Check(kept.empty() || kept.back() == '\n');
  Check(in.size() == out.size() + removed);
  size_t j = 0;
  for (std::string_view line : in) {
    std::string_view path = line;
    if (!path.empty() && path.front() == '^') path.remove_prefix(1);
    if (!path.empty() && path.back() == '\r') path.remove_suffix(1);
    if (killed(path)) continue;
    Check(j < out.size() && out[j] == line);
    ++j;
  }
  Check(j == out.size());
  return 0;
}
