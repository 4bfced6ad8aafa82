// olxareas.ini: any bytes are read and written back without a fault, and
// what is written back reads as the same fileechoes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/parse.h"
#include "fuzz_context.h"

namespace {

const char kLinks[] =
    "LINK 2:5020/1 A PW 10 Yes Normal 2:5020/100 Active\n"
    "LINK 2:5020/2.1 AB PW 5 No Hold 2:5020/100 Passive\n"
    "LINK 1:1/1 * PW 0 No Crash 1:1/100 Active\n";

std::unique_ptr<olvix::RunContext> Loaded(const std::string& text, int* rc) {
  auto ctx = olvix::fuzz::NewContext();
  olvix::LoadLinksText(*ctx, kLinks);
  *rc = olvix::LoadAreasText(*ctx, text);
  return ctx;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = olvix::fuzz::Confined(std::string(reinterpret_cast<const char*>(data), size));
  int rc = 0;
  auto ctx = Loaded(text, &rc);
  if (rc != 0) return 0;  // refused as a whole: nothing is written back
  std::string written = olvix::RewriteAreasText(*ctx, text);
  int again_rc = 0;
  auto again = Loaded(written, &again_rc);
  if (again_rc != 0 || again->areas.size() != ctx->areas.size()) std::abort();
  for (size_t i = 0; i < ctx->areas.size(); ++i) {
    if (again->areas[i].tag != ctx->areas[i].tag) std::abort();
    if (again->areas[i].subscribers.size() != ctx->areas[i].subscribers.size()) std::abort();
  }
  return 0;
}
