#include "util/crc32.h"

#include <array>
#include <cstring>

#ifdef OLVIX_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

namespace olvix {

namespace {

struct Tables {
  std::array<std::array<uint32_t, 256>, 16> t;
  Tables() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
      t[0][i] = c;
    }
    for (uint32_t i = 0; i < 256; ++i)
      for (int s = 1; s < 16; ++s) t[s][i] = (t[s - 1][i] >> 8) ^ t[0][t[s - 1][i] & 0xFF];
  }
};

const Tables& T() {
  static const Tables tables;
  return tables;
}

uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint32_t Crc32UpdateBytewise(uint32_t crc, const void* data, size_t len) {
  const auto& t = T().t[0];
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < len; ++i) crc = t[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32UpdateTables(uint32_t crc, const void* data, size_t len) {
  // Table s holds the CRC of a byte followed by s zero bytes, so sixteen
  // input bytes are folded in with sixteen independent look-ups.
  const auto& t = T().t;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (len >= 16) {
    uint32_t a = Load32(p) ^ crc;
    uint32_t b = Load32(p + 4);
    uint32_t c = Load32(p + 8);
    uint32_t d = Load32(p + 12);
    crc = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^ t[12][a >> 24] ^
          t[11][b & 0xFF] ^ t[10][(b >> 8) & 0xFF] ^ t[9][(b >> 16) & 0xFF] ^ t[8][b >> 24] ^
          t[7][c & 0xFF] ^ t[6][(c >> 8) & 0xFF] ^ t[5][(c >> 16) & 0xFF] ^ t[4][c >> 24] ^
          t[3][d & 0xFF] ^ t[2][(d >> 8) & 0xFF] ^ t[1][(d >> 16) & 0xFF] ^ t[0][d >> 24];
    p += 16;
    len -= 16;
  }
  return Crc32UpdateBytewise(crc, p, len);
}

#ifdef OLVIX_HAVE_LIBDEFLATE

uint32_t Crc32Update(uint32_t crc, const void* data, size_t len) {
  // libdeflate takes and returns the finished value, and answers 0 for a null
  // buffer whatever CRC it was given; an empty string_view has a null data().
  if (len == 0) return crc;
  return ~libdeflate_crc32(~crc, data, len);
}

bool Crc32UsesLibrary() { return true; }

#else

uint32_t Crc32Update(uint32_t crc, const void* data, size_t len) {
  return Crc32UpdateTables(crc, data, len);
}

bool Crc32UsesLibrary() { return false; }

#endif

uint32_t Crc32(std::string_view text) {
  return ~Crc32Update(0xFFFFFFFFu, text.data(), text.size());
}

}  // namespace olvix
