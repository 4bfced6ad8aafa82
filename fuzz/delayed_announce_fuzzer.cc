// Delayed-announce tickets: whatever a ticket held, the stored ticket reads
// back with the same addresses, size, CRC and description lines, one line
// each, so no description can add a line of its own.
#include <cstdint>
#include <string>
#include <string_view>

#include "announce/announce.h"
#include "fuzz_context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/text.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TicRecord tic;
  (void)ParseTic(text, &tic);  // invalid tickets are stored all the same
  if (size > 0 && data[0] % 2) tic.diz_list.push_back(std::string(text.substr(0, 600)));
  TicRecord back;
  (void)ParseTic(DelayedAnnounceText(tic), &back);
  Check(back.from == tic.from);
  Check(back.origin == tic.origin);
  Check(back.size == tic.size);
  Check(back.crc == tic.crc);
  size_t i = 0;
  for (const std::string& line : TicDescription(tic)) {
    std::string stored = TrimRight(OneLineCut(line, kTicLineLimit - 6));
    if (stored.find_first_not_of(' ') == std::string::npos) continue;  // a blank line reads as none
    Check(i < back.desc_list.size() && back.desc_list[i] == stored);
    ++i;
  }
  Check(i == back.desc_list.size());
  return 0;
}
