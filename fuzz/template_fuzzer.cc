// Template files: any text expands without a fault for a small node with
// an uplink list, every part holds at most REPLYLINES lines besides its
// continuation lines, and no CP866 EN (0x8D) reaches an answer.
#include <cstdint>
#include <ctime>
#include <string>

#include "config/parse.h"
#include "fuzz_context.h"
#include "manager/template.h"
#include "testing/samples.h"
#include "util/files.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  auto ctx = fuzz::NewContext();
  static const bool listed =
      WriteFileAtomic(ctx->home + "up.lst", "NEW.ONE Fresh \x8d files\nFILES.A Carried\n") == 0;
  Check(listed);
  LoadLinksText(*ctx,
                "LINK 2:5020/2 AB SECRET 10 No Hold 2:5020/1 Active O\n"
                "LINK 2:5020/100 A UP 10 No Hold 2:5020/1 Active\n");
  LoadSettingsText(*ctx, "REPLYLINES 7\nSTATION @A@D\n[UPLINKS]\nUPLINK 2:5020/100 up.lst\n");
  Check(LoadAreasText(*ctx,
                      "AREA FILES.A a A 0 0 2:5020/1\nDESC \x8d@S@@A\nLINKS 2:5020/2\n"
                      "AREA FILES.B b B 0 0 2:5020/1\nLINKS ~2:5020/2\n"
                      "AREA FILES.C c A 0 0 2:5020/1\n") == 0);
  std::string text(reinterpret_cast<const char*>(data), size);
  const std::tm now = testing::TimeOf(2026, 1, 1);
  for (const std::string& part :
       ExpandTemplate(*ctx, text, *ctx->links.Find({2, 5020, 2, 0}), now)) {
    Check(!part.empty());
    Check(part.find('\x8d') == std::string::npos);
    size_t lines = 0;
    for (char c : part) lines += c == '\n';
    Check(lines <= 7 + 4);
  }
  return 0;
}
