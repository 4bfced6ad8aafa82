#include "util/crc32.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace olvix {
namespace {

uint32_t Complete(const void* data, size_t len) { return ~Crc32Update(0xFFFFFFFFu, data, len); }

TEST(Crc32Test, KnownValues) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  EXPECT_EQ(Crc32("a"), 0xE8B7BE43u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
  // 32 zero bytes and 32 bytes of FF: the standard check values.
  std::string zeros(32, '\0'), ones(32, '\xff');
  EXPECT_EQ(Crc32(zeros), 0x190A55ADu);
  EXPECT_EQ(Crc32(ones), 0xFF6CAB0Bu);
}

TEST(Crc32Test, BytewiseReferenceAgrees) {
  const char* check = "123456789";
  EXPECT_EQ(~Crc32UpdateBytewise(0xFFFFFFFFu, check, 9), 0xCBF43926u);
}

TEST(Crc32Test, FastPathEqualsBytewiseForEveryLengthAndAlignment) {
  // Vector code has separate paths for the head before an aligned block, the
  // folded middle and the tail; every split of a short buffer must agree
  // with the table code and the reference.
  std::mt19937 rng(20020131);
  std::vector<unsigned char> buf(300 + 16);
  for (auto& b : buf) b = static_cast<unsigned char>(rng());
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t len = 0; len <= 300; ++len) {
      const unsigned char* p = buf.data() + offset;
      uint32_t seed = static_cast<uint32_t>(rng());  // any running value, not only the start
      uint32_t want = Crc32UpdateBytewise(seed, p, len);
      ASSERT_EQ(Crc32UpdateTables(seed, p, len), want) << "offset " << offset << " length " << len;
      ASSERT_EQ(Crc32Update(seed, p, len), want) << "offset " << offset << " length " << len;
    }
  }
}

TEST(Crc32Test, PiecewiseEqualsWhole) {
  // A file's CRC is computed block by block; any split must give the same
  // value as one pass.
  std::mt19937 rng(7);
  std::vector<unsigned char> data(70000);
  for (auto& b : data) b = static_cast<unsigned char>(rng());
  uint32_t whole = Complete(data.data(), data.size());
  EXPECT_EQ(whole, ~Crc32UpdateBytewise(0xFFFFFFFFu, data.data(), data.size()));
  for (size_t block : {1u, 7u, 8u, 13u, 32768u}) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t pos = 0; pos < data.size(); pos += block)
      crc = Crc32Update(crc, data.data() + pos, std::min(block, data.size() - pos));
    EXPECT_EQ(~crc, whole) << "block " << block;
  }
}

TEST(Crc32Test, LibraryEqualsFallbackOnOddLengthsAndAlignments) {
  // Large buffers at odd offsets, through every path of the vector code.
  std::mt19937 rng(1994);
  std::vector<unsigned char> buf((3u << 20) + 64);
  for (auto& b : buf) b = static_cast<unsigned char>(rng());
  for (size_t len : {4095u, 65536u, 65537u, 1000003u, 3u << 20}) {
    for (size_t offset : {0u, 1u, 7u, 13u}) {
      const unsigned char* p = buf.data() + offset;
      uint32_t want = Crc32UpdateTables(0xFFFFFFFFu, p, len);
      EXPECT_EQ(Crc32Update(0xFFFFFFFFu, p, len), want) << "offset " << offset << " length " << len;
    }
  }
  EXPECT_EQ(~Crc32UpdateTables(0xFFFFFFFFu, buf.data(), 1000003u),
            ~Crc32UpdateBytewise(0xFFFFFFFFu, buf.data(), 1000003u));
  // An empty piece, also without a buffer (an empty string_view), leaves the
  // running value alone.
  EXPECT_EQ(Crc32Update(0x12345678u, nullptr, 0), 0x12345678u);
  EXPECT_EQ(Crc32Update(0x12345678u, buf.data() + 3, 0), 0x12345678u);
  EXPECT_EQ(Crc32(std::string_view()), 0u);
  if (!Crc32UsesLibrary()) GTEST_SKIP() << "built without libdeflate: only the tables were checked";
}

TEST(Crc32Test, KeysAreCaseSensitive) {
  // Keys and commands are looked up by the CRC of their upper-cased text;
  // the CRC itself must tell the spellings apart.
  EXPECT_NE(Crc32("TOSS"), Crc32("toss"));
  EXPECT_EQ(Crc32("TOSS"), Complete("TOSS", 4));
}

}  // namespace
}  // namespace olvix
