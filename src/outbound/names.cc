#include "outbound/names.h"

#include "util/text.h"

namespace olvix {

namespace {

std::string Cased(std::string s, NameCase c) { return c == NameCase::kLower ? Lower(s) : s; }

std::string Hex(uint32_t n, int width, NameCase c) { return Cased(Format("%0*X", width, n), c); }

std::string Base32(uint32_t n, size_t width) { return PadLeft(FormatBase(n, 32), width, '0'); }

int DigitValue(char ch) {
  char u = UpperChar(ch);
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'A' && u <= 'Z') return u - 'A' + 10;
  return 99;
}

// Exactly `count` digits of `base` at the start of `s`.
bool ParseFixed(std::string_view s, size_t count, int base, uint32_t* value) {
  if (s.size() < count) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < count; ++i) {
    int d = DigitValue(s[i]);
    if (d >= base) return false;
    v = v * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  if (v > 0xFFFFFFFFu) return false;
  *value = static_cast<uint32_t>(v);
  return true;
}

// One or more decimal digits at *pos, advancing it.
bool ParseDecimalPart(std::string_view s, size_t* pos, uint32_t* value) {
  size_t i = *pos;
  uint64_t v = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    v = v * 10 + static_cast<uint64_t>(s[i] - '0');
    if (v > 0xFFFFFFFFu) return false;
    ++i;
  }
  if (i == *pos) return false;
  *value = static_cast<uint32_t>(v);
  *pos = i;
  return true;
}

// "zone.net.node.point" at *pos.
bool ParseDottedAddress(std::string_view s, size_t* pos, FtnAddress* a) {
  uint32_t* parts[4] = {&a->zone, &a->net, &a->node, &a->point};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (*pos >= s.size() || s[*pos] != '.') return false;
      ++*pos;
    }
    if (!ParseDecimalPart(s, pos, parts[i])) return false;
  }
  return true;
}

constexpr char kFlavours[] = "ICDNH";

}  // namespace

char AttachFlavour(const std::string& flavour_text) {
  return flavour_text.empty() ? '\0' : UpperChar(flavour_text[0]);
}

char OutboundFlavour(char flavour) {
  char f = UpperChar(flavour);
  return (f == 'I' || f == 'C' || f == 'D' || f == 'N') ? f : 'H';
}

std::string BsoZoneExtension(uint32_t zone, NameCase c) { return "." + Hex(zone, 3, c); }

std::string BsoNodeName(uint32_t net, uint32_t node, NameCase c) {
  return Hex(net, 4, c) + Hex(node, 4, c);
}

std::string BsoPointDirExtension(NameCase c) { return Cased(".PNT", c); }

std::string BsoPointName(uint32_t point, NameCase c) { return Hex(point, 8, c); }

std::string BsoFlowExtension(char flavour, NameCase c) {
  static const char* const kExt[] = {".ILO", ".CLO", ".DLO", ".FLO", ".HLO"};
  size_t i = std::string_view(kFlavours).find(OutboundFlavour(flavour));
  return Cased(kExt[i], c);
}

bool ParseBsoZoneDir(std::string_view name, std::string_view outbound_name, uint32_t main_zone,
                     uint32_t* zone) {
  if (name.size() < outbound_name.size() ||
      !EqualsNoCase(name.substr(0, outbound_name.size()), outbound_name))
    return false;
  std::string_view rest = name.substr(outbound_name.size());
  if (rest.empty()) {
    *zone = main_zone;
    return true;
  }
  if (rest[0] != '.' || rest.size() < 4 || rest.size() > 9) return false;
  return ParseFixed(rest.substr(1), rest.size() - 1, 16, zone);
}

bool ParseBsoPointDir(std::string_view name, uint32_t* net, uint32_t* node) {
  uint32_t n = 0, f = 0;
  if (name.size() != 12 || !EqualsNoCase(name.substr(8), ".pnt")) return false;
  if (!ParseFixed(name, 4, 16, &n) || !ParseFixed(name.substr(4), 4, 16, &f)) return false;
  *net = n;
  *node = f;
  return true;
}

bool ParseBsoFlowName(std::string_view name, uint32_t* number, char* flavour) {
  uint32_t n = 0;
  if (name.size() != 12 || name[8] != '.' || !ParseFixed(name, 8, 16, &n)) return false;
  std::string_view ext = name.substr(8);
  char f = '\0';
  if (!EqualsNoCase(ext, ".olx")) {
    for (char candidate : std::string_view(kFlavours))
      if (EqualsNoCase(ext, BsoFlowExtension(candidate, NameCase::kLower))) f = candidate;
    if (f == '\0') return false;
  }
  *number = n;
  *flavour = f;
  return true;
}

std::string LbsoNodeName(const FtnAddress& a) {
  return Format("Fidonet.%u.%u.%u.%u", a.zone, a.net, a.node, a.point);
}

const char* LbsoListExtension(char flavour) {
  static const char* const kExt[] = {".Immediate.List", ".Crash.List", ".Direct.List",
                                     ".Normal.List", ".Hold.List"};
  return kExt[std::string_view(kFlavours).find(OutboundFlavour(flavour))];
}

bool ParseLbsoListName(std::string_view name, FtnAddress* a, char* flavour) {
  constexpr std::string_view kPrefix = "Fidonet.";
  if (name.size() < kPrefix.size() || !EqualsNoCase(name.substr(0, kPrefix.size()), kPrefix))
    return false;
  size_t pos = kPrefix.size();
  FtnAddress parsed;
  if (!ParseDottedAddress(name, &pos, &parsed)) return false;
  std::string_view ext = name.substr(pos);
  char f = '\0';
  if (!EqualsNoCase(ext, ".olx")) {
    for (char candidate : std::string_view(kFlavours))
      if (EqualsNoCase(ext, LbsoListExtension(candidate))) f = candidate;
    if (f == '\0') return false;
  }
  *a = parsed;
  *flavour = f;
  return true;
}

const char* BrakeSuffix(char flavour) {
  static const char* const kSuffix[] = {".Immediate", ".Crash", ".Direct", ".Normal", ".Hold"};
  return kSuffix[std::string_view(kFlavours).find(OutboundFlavour(flavour))];
}

std::string FileboxName(AttachStyle style, const FtnAddress& a, char flavour) {
  bool hold = UpperChar(flavour) == 'H';
  switch (style) {
    case AttachStyle::kFileboxes:
      return Base32(a.zone, 2) + Base32(a.net, 3) + Base32(a.node, 3) + "." + Base32(a.point, 2) +
             (hold ? "h" : "");
    case AttachStyle::kLongFileboxes:
      return Format("%u.%u.%u.%u", a.zone, a.net, a.node, a.point) + (hold ? ".h" : "");
    case AttachStyle::kBrakeFileboxes:
      return LbsoNodeName(a) + BrakeSuffix(flavour);
    default:
      return "";
  }
}

bool ParseFileboxName(AttachStyle style, std::string_view name, FtnAddress* a, char* flavour) {
  FtnAddress parsed;
  char f = '\0';
  switch (style) {
    case AttachStyle::kFileboxes: {
      if (name.size() != 11 && name.size() != 12) return false;
      if (name[8] != '.' || !ParseFixed(name, 2, 32, &parsed.zone) ||
          !ParseFixed(name.substr(2), 3, 32, &parsed.net) ||
          !ParseFixed(name.substr(5), 3, 32, &parsed.node) ||
          !ParseFixed(name.substr(9), 2, 32, &parsed.point))
        return false;
      if (name.size() == 12) {
        if (UpperChar(name[11]) != 'H') return false;
        f = 'H';
      }
      break;
    }
    case AttachStyle::kLongFileboxes: {
      size_t pos = 0;
      if (!ParseDottedAddress(name, &pos, &parsed)) return false;
      std::string_view rest = name.substr(pos);
      if (EqualsNoCase(rest, ".h"))
        f = 'H';
      else if (!rest.empty())
        return false;
      break;
    }
    case AttachStyle::kBrakeFileboxes: {
      constexpr std::string_view kPrefix = "Fidonet.";
      if (name.size() < kPrefix.size() || !EqualsNoCase(name.substr(0, kPrefix.size()), kPrefix))
        return false;
      size_t pos = kPrefix.size();
      if (!ParseDottedAddress(name, &pos, &parsed)) return false;
      std::string_view rest = name.substr(pos);
      for (char candidate : std::string_view(kFlavours))
        if (EqualsNoCase(rest, BrakeSuffix(candidate))) f = candidate;
      if (f == '\0') return false;
      break;
    }
    default:
      return false;
  }
  *a = parsed;
  *flavour = f;
  return true;
}

}  // namespace olvix
