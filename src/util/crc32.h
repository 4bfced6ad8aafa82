// CRC-32 (reflected, polynomial EDB88320, as in zip).
#ifndef OLVIX_UTIL_CRC32_H_
#define OLVIX_UTIL_CRC32_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace olvix {

// Continues a CRC over `len` bytes. Start with 0xFFFFFFFF and complement the
// result. Runs libdeflate's carry-less-multiply code when the build found the
// library (see Crc32UsesLibrary), else Crc32UpdateTables. `data` may be null
// when `len` is 0; the CRC then comes back unchanged.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t len);
// The table-driven computation, sixteen bytes per step: what Crc32Update runs
// in a build without libdeflate (kept callable for tests and benchmarks).
uint32_t Crc32UpdateTables(uint32_t crc, const void* data, size_t len);
// The byte-at-a-time reference computation (kept for tests and benchmarks).
uint32_t Crc32UpdateBytewise(uint32_t crc, const void* data, size_t len);
// True when Crc32Update goes through libdeflate.
bool Crc32UsesLibrary();
// Complete CRC-32 of a text; used to recognise keys and commands.
uint32_t Crc32(std::string_view text);

}  // namespace olvix

#endif  // OLVIX_UTIL_CRC32_H_
