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
  switch (cp) {
    case 0x0401:
      return 0xF0;  // Ё
    case 0x0451:
      return 0xF1;  // ё
    case 0x0404:
      return 0xF2;  // Є
    case 0x0454:
      return 0xF3;  // є
    case 0x0407:
      return 0xF4;  // Ї
    case 0x0457:
      return 0xF5;  // ї
    case 0x040E:
      return 0xF6;  // Ў
    case 0x045E:
      return 0xF7;  // ў
    default:
      return 0;
  }
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
