// Announcement templates: any template text (before the first byte FF) and
// any description text (after it) make a report without a fault, and every
// part goes into a packed message whose text holds no NUL byte and whose
// lines stay within 255 characters.
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "announce/packet.h"
#include "announce/report.h"
#include "announce/template.h"
#include "config/records.h"
#include "fuzz_context.h"
#include "testing/samples.h"
#include "tic/tic.h"
#include "util/text.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view input(reinterpret_cast<const char*>(data), size);
  size_t cut = input.find('\xff');
  std::string_view tpl_text = input.substr(0, cut);
  std::string_view desc_text = cut == std::string_view::npos ? "" : input.substr(cut + 1);

  AreaRecord area;
  area.tag = "FILES.A";
  area.group = "A";
  area.description = std::string(desc_text.substr(0, 40));
  TicRecord tic;
  tic.file = "FILE.ZIP";
  tic.size = static_cast<uint32_t>(size * 1000);
  for (const TemplateLine& line : TemplateLines(desc_text)) tic.desc_list.push_back(line.text);
  TicRecord second = tic;
  second.file = std::string(desc_text.substr(0, 20));

  NewFilesOptions options;
  options.split = static_cast<int>(size % 7);
  options.version = "--- Olvix";
  if (size % 2) options.station = "Station @DATE";
  ReportClock clock{"12:00:00", "01 January 2026"};
  std::vector<std::string> parts =
      RenderNewFiles(ParseAnnounceTemplate(tpl_text), {{&area, {&tic, &second}}}, options, clock);
  Check(!parts.empty());

  const EchoMessage msg = testing::SampleMessage();
  const std::tm local = testing::TimeOf(2026, 1, 1);
  for (const std::string& body : parts) {
    // Templates and descriptions never bring a NUL into the text, which
    // would end the message early for a tosser.
    std::string text = PacketMessageText(msg, "NEWFILES", body, 1);
    Check(text.find('\0') == std::string::npos);
    std::string packed = EncodePackedMessage(msg, "NEWFILES", body, 1, local);
    Check(packed.size() > text.size() &&
          packed.compare(packed.size() - text.size() - 1, text.size(), text) == 0);
    Check(packed.back() == '\0');
    size_t line = 0;
    for (char c : text) {
      line = c == '\r' ? 0 : line + 1;
      Check(line <= kPacketBodyPiece);
    }
  }
  return 0;
}
