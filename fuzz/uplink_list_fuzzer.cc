// Uplink fileecho lists: any text parses without a fault into entries
// whose tags are non-empty upper-case words and whose descriptions hold no
// control characters.
#include <cstdint>
#include <string>

#include "fuzz_context.h"
#include "manager/uplink_list.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string text(reinterpret_cast<const char*>(data), size);
  for (const UplinkListEntry& e : ParseUplinkList(text)) {
    Check(!e.tag.empty() && e.tag.size() < kUplinkListPiece);
    for (unsigned char c : e.tag) Check(c > ' ' && !(c >= 'a' && c <= 'z'));
    for (unsigned char c : e.description) Check(c >= ' ');
  }
  return 0;
}
