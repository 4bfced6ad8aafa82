#include "util/address.h"

#include <cstdio>

namespace olvix {

namespace {

// The decimal value of the digits at the start of `s` (0 when there are
// none), wrapping like an unsigned 32-bit number.
uint32_t LeadingNumber(const std::string& s, size_t from, size_t to) {
  uint32_t v = 0;
  for (size_t i = from; i < to && i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    v = v * 10 + static_cast<uint32_t>(s[i] - '0');
  return v;
}

}  // namespace

FtnAddress ParseAddress(const std::string& text) {
  FtnAddress a;
  size_t colon = text.find(':');
  size_t slash = text.find('/');
  size_t dot = text.find('.');
  const size_t n = text.size();
  if (colon != std::string::npos && colon <= 511) a.zone = LeadingNumber(text, 0, colon);
  if (colon != std::string::npos && slash != std::string::npos && colon < slash)
    a.net = LeadingNumber(text, colon + 1, slash);
  if (slash != std::string::npos && (dot == std::string::npos || dot > slash))
    a.node = LeadingNumber(text, slash + 1, dot == std::string::npos ? n : dot);
  if (dot != std::string::npos && dot + 1 < n) a.point = LeadingNumber(text, dot + 1, n);
  return a;
}

std::string FormatAddress(const FtnAddress& a) {
  char buf[64];
  if (a.point)
    std::snprintf(buf, sizeof buf, "%u:%u/%u.%u", a.zone, a.net, a.node, a.point);
  else
    std::snprintf(buf, sizeof buf, "%u:%u/%u", a.zone, a.net, a.node);
  return buf;
}

int CompareAddress(const FtnAddress& a, const FtnAddress& b) {
  const uint32_t x[4] = {a.zone, a.net, a.node, a.point};
  const uint32_t y[4] = {b.zone, b.net, b.node, b.point};
  for (int i = 0; i < 4; ++i) {
    if (x[i] < y[i]) return -1;
    if (x[i] > y[i]) return 1;
  }
  return 0;
}

}  // namespace olvix
