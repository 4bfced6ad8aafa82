// The files that describe new fileechoes (ECHOLISTFILE, ECHODESCFILE, an
// uplink's fileecho list) and the directory names made from tags: the first
// line of the input is the tag, the rest the file. Any bytes give a
// description of one line and a directory name that stays inside its base
// directory.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_context.h"
#include "tic/autocreate.h"
#include "util/paths.h"

using olvix::fuzz::Check;

namespace {

bool OneLine(const std::string& s) { return s.find('\n') == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t nl = input.find('\n');
  std::string tag(input.substr(0, nl));
  std::string_view text = nl == std::string_view::npos ? "" : input.substr(nl + 1);

  std::string list = EchoListDescription(text, tag);
  Check(OneLine(list) && list.size() <= 255 && list.find('_') == std::string::npos);
  std::string desc = EchoDescFileDescription(text, tag);
  Check(OneLine(desc) && desc.size() <= 255 && desc.find(',') == std::string::npos);
  std::string uplink = UplinkListDescription(text, tag);
  Check(OneLine(uplink) && uplink.size() <= 509);

  if (!tag.empty() && tag.find('\0') == std::string::npos) {
    std::string short_name = NewEchoDirName(tag, false);
    Check(IsBareFileName(short_name) && short_name.size() <= 8);
    Check(IsBareFileName(NewEchoDirName(tag, true)));
    Check(IsBareFileName(NewEchoDirName(tag, true) + ".1"));
  }
  return 0;
}
