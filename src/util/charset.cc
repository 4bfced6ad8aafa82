#include "util/charset.h"

#include <cstdint>

namespace olvix {

namespace {

// The CP866 byte of a Unicode code point, or 0 when CP866 has no such
// letter.
unsigned char Cp866Of(uint32_t cp) {
  if (cp >= 0x0410 && cp <= 0x042F) return static_cast<unsigned char>(0x80 + (cp - 0x0410));
  if (cp >= 0x0430 && cp <= 0x043F) return static_cast<unsigned char>(0xA0 + (cp - 0x0430));
  if (cp >= 0x0440 && cp <= 0x044F) return static_cast<unsigned char>(0xE0 + (cp - 0x0440));
  // Ё ё Є є Ї ї Ў ў: the bytes from 0xF0 on, in this order.
  static constexpr uint32_t kFromF0[] = {0x0401, 0x0451, 0x0404, 0x0454,
                                         0x0407, 0x0457, 0x040E, 0x045E};
  for (unsigned i = 0; i < sizeof kFromF0 / sizeof kFromF0[0]; ++i)
    if (kFromF0[i] == cp) return static_cast<unsigned char>(0xF0 + i);
  return 0;
}

}  // namespace

std::string Utf8ToCp866(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c > 0xF4) len = 0;
    uint32_t cp = len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    bool valid = len != 0 && i + len <= text.size();
    for (size_t k = 1; valid && k < len; ++k) {
      unsigned char cont = static_cast<unsigned char>(text[i + k]);
      if ((cont & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (cont & 0x3F);
    }
    // Overlong forms and surrogates are not characters.
    if (valid && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                  (cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      out += ' ';
      ++i;
      continue;
    }
    unsigned char mapped = Cp866Of(cp);
    out += mapped ? static_cast<char>(mapped) : ' ';
    i += len;
  }
  return out;
}

}  // namespace olvix
