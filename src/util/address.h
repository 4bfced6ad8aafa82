// FTN addresses: zone:net/node.point.
#ifndef OLVIX_UTIL_ADDRESS_H_
#define OLVIX_UTIL_ADDRESS_H_

#include <cstdint>
#include <functional>
#include <string>

namespace olvix {

struct FtnAddress {
  uint32_t zone = 0;
  uint32_t net = 0;
  uint32_t node = 0;
  uint32_t point = 0;

  bool empty() const { return zone == 0 && net == 0 && node == 0 && point == 0; }
  friend bool operator==(const FtnAddress&, const FtnAddress&) = default;
};

// Parses "zone:net/node.point". Every part is the decimal value of the
// digits at its start; parts that are not given are 0 (see address.cc).
FtnAddress ParseAddress(const std::string& text);
// Formats as "zone:net/node", with ".point" only when the point is not 0.
std::string FormatAddress(const FtnAddress& a);
// -1, 0 or 1, comparing zone, net, node and point as unsigned numbers.
int CompareAddress(const FtnAddress& a, const FtnAddress& b);

struct FtnAddressHash {
  size_t operator()(const FtnAddress& a) const {
    uint64_t h = (static_cast<uint64_t>(a.zone) << 48) ^ (static_cast<uint64_t>(a.net) << 32) ^
                 (static_cast<uint64_t>(a.node) << 16) ^ a.point;
    return std::hash<uint64_t>()(h * 0x9E3779B97F4A7C15ull);
  }
};

}  // namespace olvix

#endif  // OLVIX_UTIL_ADDRESS_H_
