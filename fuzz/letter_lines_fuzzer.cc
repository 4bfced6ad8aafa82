// Letters to the robot: any bytes after the message header are read as a
// letter and every line is carried out for a link of a small node without
// a fault; the status report never holds a control character but its line
// feeds, so no text of a letter can split or forge a line of it, and the
// counts match the subscriptions that changed.
#include <cstdint>
#include <string>

#include "config/parse.h"
#include "fuzz_context.h"
#include "manager/letter.h"
#include "manager/manager.h"
#include "manager/request.h"

using olvix::fuzz::Check;

namespace {

size_t Subscriptions(const olvix::AreaTable& areas) {
  size_t n = 0;
  for (size_t i = 0; i < areas.size(); ++i) n += areas[i].subscribers.size();
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  auto ctx = fuzz::NewContext();
  LoadLinksText(*ctx, "LINK 2:5020/2 A SECRET 10 No Hold 2:5020/1 Active\n");
  LoadSettingsText(*ctx, "CMDCHAR #\n[BLACKLIST]\nBAD*\n");
  Check(LoadAreasText(*ctx,
                      "AREA FILES.A a A 0 0 2:5020/1\nLINKS 2:5020/2\n"
                      "AREA FILES.B b A 0 5 2:5020/1\nAREA OTHER c B 0 0 2:5020/1\n"
                      "AREA PASS.U d A 0 0 2:5020/1 PU\nLINKS 2:5020/2\n") == 0);
  NetmailLetter letter;
  std::string bytes(kMessageHeaderSize, '\0');
  bytes.append(reinterpret_cast<const char*>(data), size);
  Check(ParseLetter(bytes, &letter) == 0);
  LinkRecord& link = *ctx->links.Find({2, 5020, 2, 0});
  ManagerRequest req;
  size_t before = Subscriptions(ctx->areas);
  for (const std::string& line : letter.lines) {
    ExecuteLetterLine(*ctx, req, line, link, "Sysop");
    if (req.failed) break;  // PAUSE and RESUME find no links file here
  }
  for (unsigned char c : req.report) Check(c >= ' ' || c == '\n');
  Check(Subscriptions(ctx->areas) + req.removed == before + req.added);
  return 0;
}
