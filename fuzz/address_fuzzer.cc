// FTN addresses and the wildcard match: any text parses to an address that
// formats and parses back to itself; any mask and text match without a
// fault or a blow-up in time. The input is split at the first NUL: mask,
// then text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "util/address.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  olvix::FtnAddress a = olvix::ParseAddress(input);
  std::string text = olvix::FormatAddress(a);
  if (!(olvix::ParseAddress(text) == a)) std::abort();
  size_t nul = input.find('\0');
  std::string mask = input.substr(0, nul);
  std::string subject = nul == std::string::npos ? input : input.substr(nul + 1);
  (void)olvix::WildMatch(mask, subject);
  (void)olvix::WildMatch(olvix::Upper(mask), olvix::Upper(subject));
  return 0;
}
