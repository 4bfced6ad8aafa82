// olvix.ini: any bytes, with #DEFINE and an #INCLUDE file of any bytes too,
// are read without a fault. The input is split at the first "\x01\x01":
// the main file, then the included one.
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

#include "config/parse.h"
#include "fuzz_context.h"
#include "util/text.h"

namespace {

// Lines that would name an #INCLUDE file of their own: a missing file or
// nesting too deep ends the run, which is right for the program and no
// finding for the fuzzer.
std::string WithoutIncludes(const std::string& text) {
  std::string out;
  for (std::string_view line : olvix::fuzz::Lines(text))
    if (olvix::FindNoCase(line, "#INCLUDE") == std::string::npos) out += std::string(line) + "\n";
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find("\x01\x01");
  std::string main_text = input.substr(0, split);
  std::string included = split == std::string::npos ? "" : input.substr(split + 2);
  auto ctx = olvix::fuzz::NewContext();
  std::string inc_path = ctx->home + "inc.ini";
  std::ofstream(inc_path, std::ios::binary | std::ios::trunc) << WithoutIncludes(included);
  // First, so that no #DEFINE can change its name.
  std::string text = "#INCLUDE " + inc_path + "\n" + WithoutIncludes(main_text);
  olvix::LoadSettingsText(*ctx, text);
  return 0;
}
