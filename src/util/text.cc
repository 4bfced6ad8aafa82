#include "util/text.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

namespace olvix {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
char LowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

std::string Upper(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = UpperChar(c);
  return r;
}

std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r) c = LowerChar(c);
  return r;
}

void UpperInPlace(std::string* s) {
  for (char& c : *s) c = UpperChar(c);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

size_t FindNoCase(std::string_view hay, std::string_view needle, size_t from) {
  if (needle.empty()) return from <= hay.size() ? from : std::string::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i)
    if (EqualsNoCase(hay.substr(i, needle.size()), needle)) return i;
  return std::string::npos;
}

bool ContainsAny(std::string_view text, std::string_view set) {
  return text.find_first_of(set) != std::string_view::npos;
}

std::string TrimLeft(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\t' || s[n - 1] == '\r' || s[n - 1] == '\n'))
    --n;
  return std::string(s.substr(0, n));
}

void StripLineEnd(std::string* s) {
  while (!s->empty() && (s->back() == '\n' || s->back() == '\r')) s->pop_back();
}

void OneLineInPlace(std::string* s) {
  for (char& c : *s)
    if (static_cast<unsigned char>(c) < 32) c = ' ';
}

std::string OneLine(std::string_view s) {
  std::string r(s);
  OneLineInPlace(&r);
  return r;
}

std::string OneLineCut(std::string_view s, size_t limit) {
  return OneLine(s.substr(0, std::min(s.size(), limit)));
}

std::string ExpandTabs(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 16);
  unsigned n = 0;
  for (char c : s) {
    if (c != '\t') {
      out += c;
      continue;
    }
    unsigned col = static_cast<unsigned>(out.size());
    unsigned k = (n == col % 8) ? 7 - n : 8;
    out.append(1 + k, ' ');
    n = k;
  }
  return out;
}

std::string PadLeft(std::string_view s, size_t width, char fill) {
  if (s.size() >= width) return std::string(s);
  return std::string(width - s.size(), fill) + std::string(s);
}

std::string PadRight(std::string_view s, size_t width, char fill) {
  std::string r(s);
  if (r.size() < width) r.append(width - r.size(), fill);
  return r;
}

std::string FormatThousands(uint64_t n) {
  std::string digits = std::to_string(n);
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    // A comma goes before every digit that starts a group of three counted
    // from the right.
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string FormatBase(uint64_t n, unsigned base) {
  static const char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ_,";
  if (base < 2 || base > 38) return "";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[n % base]);
    n /= base;
  } while (n);
  return out;
}

std::string TwoDigits(unsigned n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02u", n % 100);
  return buf;
}

int32_t ParseDecimal(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool neg = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  // Out-of-range numbers stick at the nearest limit instead of wrapping, so
  // that a huge value never turns into a small or negative one.
  const int64_t limit = neg ? 2147483648LL : 2147483647LL;
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    v = v * 10 + (s[i] - '0');
    if (v > limit) v = limit;
  }
  return static_cast<int32_t>(neg ? -v : v);
}

int32_t ParseHex(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  uint32_t v = 0;
  for (; i < s.size(); ++i) {
    char c = UpperChar(s[i]);
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      break;
    v = v * 16 + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(v);
}

std::vector<std::string> SplitWords(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

void SplitFirstWord(std::string_view line, std::string* first, std::string* rest) {
  std::string t = TrimLeft(line);
  size_t sp = t.find_first_of(" \t");
  if (sp == std::string::npos) {
    *first = t;
    rest->clear();
    return;
  }
  *first = t.substr(0, sp);
  *rest = TrimLeft(std::string_view(t).substr(sp));
}

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  char small[512];
  int n = std::vsnprintf(small, sizeof small, fmt, ap);
  va_end(ap);
  std::string out;
  if (n < 0) {
    va_end(ap2);
    return out;
  }
  if (static_cast<size_t>(n) < sizeof small) {
    out.assign(small, static_cast<size_t>(n));
  } else {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

namespace {

// Matches the single-character element of `m` at *mi ("?", a "[...]" class,
// an escaped or a plain character) against `c` and moves *mi past it.
bool ElementMatches(std::string_view m, size_t* mi, unsigned char c) {
  char mc = m[*mi];
  if (mc == '?') {
    ++*mi;
    return true;
  }
  if (mc == '[') {
    size_t i = *mi + 1;
    bool negate = false;
    if (i < m.size() && m[i] == '^') {
      negate = true;
      ++i;
    }
    bool member = false;
    bool first = true;
    // The first member is taken even when it is "]"; an unclosed class ends
    // at the end of the mask.
    while (i < m.size() && (first || m[i] != ']')) {
      first = false;
      unsigned char lo = static_cast<unsigned char>(m[i]);
      if (i + 2 < m.size() && m[i + 1] == '-' && m[i + 2] != ']') {
        unsigned char hi = static_cast<unsigned char>(m[i + 2]);
        if (c >= lo && c <= hi) member = true;
        i += 3;
      } else {
        if (c == lo) member = true;
        ++i;
      }
    }
    if (i < m.size()) ++i;  // the closing "]"
    *mi = i;
    return member != negate;
  }
  if (mc == '\\' && *mi + 1 < m.size()) mc = m[++*mi];
  ++*mi;
  return static_cast<unsigned char>(mc) == c;
}

}  // namespace

bool WildMatch(std::string_view mask, std::string_view text) {
  // Every element but "*" consumes exactly one character, so on a mismatch
  // it is enough to let the most recent "*" swallow one more character and
  // retry from there: time stays proportional to mask length times text
  // length whatever the mask.
  const size_t kNone = std::string_view::npos;
  size_t mi = 0, ti = 0;
  size_t star_mi = kNone, star_ti = 0;
  while (ti < text.size()) {
    if (mi < mask.size() && mask[mi] == '*') {
      while (mi < mask.size() && mask[mi] == '*') ++mi;
      if (mi == mask.size()) return true;
      star_mi = mi;
      star_ti = ti;
      continue;
    }
    size_t next = mi;
    if (mi < mask.size() && ElementMatches(mask, &next, static_cast<unsigned char>(text[ti]))) {
      mi = next;
      ++ti;
      continue;
    }
    if (star_mi == kNone) return false;
    mi = star_mi;
    ti = ++star_ti;
  }
  while (mi < mask.size() && mask[mi] == '*') ++mi;
  return mi == mask.size();
}

}  // namespace olvix
