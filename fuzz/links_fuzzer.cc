// olxlinks.ini: any bytes are read and written back without a fault, and
// what is written back reads as the same links.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/parse.h"
#include "fuzz_context.h"
#include "util/address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  auto ctx = olvix::fuzz::NewContext();
  olvix::LoadLinksText(*ctx, text);
  std::string written = olvix::RewriteLinksText(*ctx, text);
  auto again = olvix::fuzz::NewContext();
  olvix::LoadLinksText(*again, written);
  if (again->links.size() != ctx->links.size()) std::abort();
  for (size_t i = 0; i < ctx->links.size(); ++i)
    if (!(again->links[i].address == ctx->links[i].address)) std::abort();
  return 0;
}
