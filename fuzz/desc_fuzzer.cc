// Description files: any line is classified without a fault, and an entry
// written for a file reads back as exactly one entry of that file, its
// description lines as continuation lines, whatever the description holds
// and however DESCWIDTH, DESCCHAR and DESCMARK are set. The input: three
// setting bytes, a file name up to the first "\n", then description lines.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "config/main_config.h"
#include "fuzz_context.h"
#include "tic/descriptions.h"
#include "tic/tic.h"
#include "util/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  if (size < 3) return 0;
  auto ctx = fuzz::NewContext();
  MainConfig& cfg = ctx->cfg;
  cfg.desc_width = data[0] % 40;
  cfg.desc_char = (data[1] & 1) ? static_cast<char>(33 + data[1] % 90) : 0;
  if (data[2] & 1) {
    cfg.desc_mark = "[";
    cfg.desc_mark_pos = data[2] % 30;
  }
  std::string rest(reinterpret_cast<const char*>(data) + 3, size - 3);
  {
    std::string name;
    (void)ClassifyDescLine(cfg, ExpandTabs(rest), &name);
  }
  // A DESCCHAR that is the DESCMARK character makes every continuation
  // line an entry line: a setting that cannot work.
  if (cfg.desc_char != 0 && !cfg.desc_mark.empty() && cfg.desc_char == cfg.desc_mark[0]) return 0;
  // The names the toss takes: no blanks or control characters, not
  // beginning with DESCCHAR, no longer than a line.
  size_t nl = rest.find('\n');
  std::string file = rest.substr(0, nl);
  if (file.empty() || file.size() > 200 || file[0] == cfg.desc_char) return 0;
  for (char c : file)
    if (static_cast<unsigned char>(c) <= 32) return 0;
  TicRecord tic;
  tic.file = file;
  tic.size = 1234;
  if (nl != std::string::npos) {
    std::string text = "Area X\nFile Y\nFrom 1:1/1\n";
    for (std::string_view line : fuzz::Lines(std::string_view(rest).substr(nl + 1)))
      text += "LDesc " + std::string(line) + "\n";
    TicRecord parsed;
    (void)ParseTic(text, &parsed);
    tic.desc_list = parsed.desc_list;
  }
  std::string out;
  WriteDescEntry(*ctx, tic, &out);
  size_t entries = 0, continuations = 0;
  for (std::string_view piece : fuzz::Lines(out)) {
    std::string line = ExpandTabs(piece);
    std::string name;
    switch (ClassifyDescLine(cfg, line, &name)) {
      case DescLineKind::kEntry:
        if (!EqualsNoCase(name, file)) std::abort();
        ++entries;
        break;
      case DescLineKind::kContinuation:
        ++continuations;
        break;
      case DescLineKind::kOther:
        std::abort();
    }
  }
  if (entries != 1) std::abort();
  if (continuations + 1 < tic.desc_list.size()) std::abort();
  return 0;
}
