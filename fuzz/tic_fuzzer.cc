// Tickets: any bytes parse without a fault, and a ticket written for a link
// from what was read reads back with the same values and the same number
// of description, path and SEEN-BY lines.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/records.h"
#include "fuzz_context.h"
#include "tic/tic.h"

using olvix::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace olvix;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  TicRecord tic;
  (void)ParseTic(text, &tic);  // invalid tickets are written back all the same
  auto ctx = fuzz::NewContext();
  LinkRecord link;
  link.address = ParseAddress("2:5020/4");
  link.aka = ParseAddress("2:5020/1");
  link.password = "PW4";
  for (const char* options : {"", "G"}) {
    link.options = options;
    std::string written = TicText(*ctx, tic, link, 1700000000);
    TicRecord back;
    (void)ParseTic(written, &back);
    Check(back.area == tic.area);
    Check(back.file == tic.file);
    Check(back.replaces == tic.replaces);
    Check(back.magic == tic.magic);
    Check(back.password == "PW4");
    Check(back.desc_list.size() == tic.desc_list.size());
    Check(back.path_list.size() == tic.path_list.size() + 1);
    size_t ours = SeenByHas(tic.seen_by_list, link.aka) ? 0 : 1;
    Check(back.seen_by_list.size() == tic.seen_by_list.size() + ours);
  }
  return 0;
}
