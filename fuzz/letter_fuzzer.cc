// Stored netmail messages: any bytes parse without a fault.
#include <cstdint>
#include <string_view>

#include "manager/letter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  olvix::NetmailLetter letter;
  (void)olvix::ParseLetter(std::string_view(reinterpret_cast<const char*>(data), size), &letter);
  return 0;
}
