// Formats of the loopback FTN network harness: stored messages, packets,
// and the files of an Olvix node beside binkd (see ftn_network.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "ftn_network.h"
#include "util/crc32.h"

namespace olvix::ftnnet {

// --- Stored messages -----------------------------------------------------

namespace {
void PutU16(std::string* out, size_t offset, uint32_t value) {
  (*out)[offset] = static_cast<char>(value & 0xFF);
  (*out)[offset + 1] = static_cast<char>((value >> 8) & 0xFF);
}
uint16_t GetU16(const std::string& d, size_t offset) {
  return static_cast<uint16_t>(static_cast<unsigned char>(d[offset]) |
                               (static_cast<unsigned char>(d[offset + 1]) << 8));
}
void PutField(std::string* out, size_t offset, size_t size, const std::string& text) {
  out->replace(offset, std::min(text.size(), size - 1), text.substr(0, size - 1));
}
std::string GetField(const std::string& d, size_t offset, size_t size) {
  std::string field = d.substr(offset, size);
  size_t nul = field.find('\0');
  return nul == std::string::npos ? field : field.substr(0, nul);
}
}  // namespace

std::string EncodeStoredMessage(const StoredMessage& m) {
  std::string h(190, '\0');
  PutField(&h, 0, 36, m.from_name);
  PutField(&h, 36, 36, m.to_name);
  PutField(&h, 72, 72, m.subject);
  PutField(&h, 144, 20, m.date);
  PutU16(&h, 166, m.destination.node);
  PutU16(&h, 168, m.origin.node);
  PutU16(&h, 172, m.origin.net);
  PutU16(&h, 174, m.destination.net);
  PutU16(&h, 176, m.destination.zone);
  PutU16(&h, 178, m.origin.zone);
  PutU16(&h, 180, m.destination.point);
  PutU16(&h, 182, m.origin.point);
  PutU16(&h, 186, m.attributes);
  return h + m.text;
}

bool DecodeStoredMessage(const std::string& d, StoredMessage* m) {
  if (d.size() < 190) return false;
  m->from_name = GetField(d, 0, 36);
  m->to_name = GetField(d, 36, 36);
  m->subject = GetField(d, 72, 72);
  m->date = GetField(d, 144, 20);
  m->destination = {GetU16(d, 176), GetU16(d, 174), GetU16(d, 166), GetU16(d, 180)};
  m->origin = {GetU16(d, 178), GetU16(d, 172), GetU16(d, 168), GetU16(d, 182)};
  m->attributes = GetU16(d, 186);
  m->text = d.substr(190);
  return true;
}

// --- Packets -------------------------------------------------------------

namespace {

// Bounds-checked little-endian reader: once a read runs past the end every
// later read fails too.
class Cursor {
 public:
  explicit Cursor(const std::string& data) : d_(data) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  bool at_end() const { return pos_ >= d_.size(); }
  uint8_t U8() {
    if (!ok_ || pos_ + 1 > d_.size()) return Fail();
    return static_cast<uint8_t>(d_[pos_++]);
  }
  uint16_t U16() {
    if (!ok_ || pos_ + 2 > d_.size()) return Fail();
    uint16_t v = GetU16(d_, pos_);
    pos_ += 2;
    return v;
  }
  std::string Bytes(size_t n) {
    if (!ok_ || pos_ + n > d_.size()) {
      Fail();
      return "";
    }
    std::string s = d_.substr(pos_, n);
    pos_ += n;
    return s;
  }
  // A NUL-terminated string of at most `limit` bytes before the NUL (no
  // limit when 0).
  std::string CString(size_t limit) {
    if (!ok_) return "";
    size_t nul = d_.find('\0', pos_);
    if (nul == std::string::npos || (limit && nul - pos_ > limit)) {
      Fail();
      return "";
    }
    std::string s = d_.substr(pos_, nul - pos_);
    pos_ = nul + 1;
    return s;
  }

 private:
  uint8_t Fail() {
    ok_ = false;
    return 0;
  }
  const std::string& d_;
  size_t pos_ = 0;
  bool ok_ = true;
};

constexpr int kInvalid = 4081;

int Invalid(std::string* error, const std::string& what, size_t offset) {
  if (error) *error = what + " at offset " + std::to_string(offset);
  return kInvalid;
}

uint32_t ParseNumber(const std::string& s, size_t* pos) {
  uint32_t v = 0;
  while (*pos < s.size() && s[*pos] >= '0' && s[*pos] <= '9') v = v * 10 + (s[(*pos)++] - '0');
  return v;
}

// "zone:net/node" (a point is ignored); false when it does not parse.
bool ParseIntlAddress(const std::string& s, FtnAddress* a) {
  size_t p = 0;
  a->zone = ParseNumber(s, &p);
  if (p >= s.size() || s[p++] != ':') return false;
  a->net = ParseNumber(s, &p);
  if (p >= s.size() || s[p++] != '/') return false;
  a->node = ParseNumber(s, &p);
  return true;
}

void SplitLines(PackedMessage* m) {
  std::string line;
  for (char c : m->text) {
    if (c == '\r') {
      m->lines.push_back(line);
      line.clear();
    } else if (c != '\n') {
      line += c;
    }
  }
  if (!line.empty()) m->lines.push_back(line);
}

void DeriveAddresses(const PacketHeader& h, PackedMessage* m) {
  m->origin = {h.origin.zone, m->orig_net, m->orig_node, 0};
  m->destination = {h.destination.zone, m->dest_net, m->dest_node, 0};
  std::string value;
  if (m->Kludge("INTL", &value)) {
    size_t blank = value.find(' ');
    FtnAddress dest, orig;
    if (blank != std::string::npos && ParseIntlAddress(value.substr(0, blank), &dest) &&
        ParseIntlAddress(value.substr(blank + 1), &orig)) {
      m->destination = dest;
      m->origin = orig;
    }
  }
  if (m->Kludge("FMPT", &value)) m->origin.point = static_cast<uint32_t>(std::atoi(value.c_str()));
  if (m->Kludge("TOPT", &value)) {
    m->destination.point = static_cast<uint32_t>(std::atoi(value.c_str()));
  }
}

}  // namespace

bool PackedMessage::Kludge(const std::string& name, std::string* value) const {
  for (const std::string& line : lines) {
    if (line.size() < name.size() + 1 || line[0] != '\x01') continue;
    if (line.compare(1, name.size(), name) != 0) continue;
    size_t p = 1 + name.size();
    if (p < line.size() && line[p] != ' ' && line[p] != ':') continue;
    if (p < line.size() && line[p] == ':') ++p;
    while (p < line.size() && line[p] == ' ') ++p;
    *value = line.substr(p);
    return true;
  }
  return false;
}

std::vector<std::string> PackedMessage::BodyLines() const {
  std::vector<std::string> body;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] != '\x01') body.push_back(line);
  }
  return body;
}

int ParsePacket(const std::string& data, Packet* packet, std::string* error) {
  *packet = Packet();
  Cursor c(data);
  PacketHeader& h = packet->header;
  h.origin.node = c.U16();
  h.destination.node = c.U16();
  h.year = c.U16();
  h.month = c.U16();
  h.day = c.U16();
  h.hour = c.U16();
  h.minute = c.U16();
  h.second = c.U16();
  c.U16();  // baud
  h.version = c.U16();
  h.origin.net = c.U16();
  h.destination.net = c.U16();
  int product_low = c.U8();
  c.U8();  // major revision
  h.password = c.Bytes(8);
  size_t nul = h.password.find('\0');
  if (nul != std::string::npos) h.password.resize(nul);
  uint16_t q_orig_zone = c.U16();
  uint16_t q_dest_zone = c.U16();
  uint16_t aux_net = c.U16();
  uint16_t cw_copy = c.U16();
  int product_high = c.U8();
  c.U8();  // minor revision
  h.capability = c.U16();
  uint16_t orig_zone = c.U16();
  uint16_t dest_zone = c.U16();
  uint16_t orig_point = c.U16();
  uint16_t dest_point = c.U16();
  c.Bytes(4);  // product data
  if (!c.ok()) return Invalid(error, "packet header shorter than 58 bytes", data.size());
  if (h.version != 2) return Invalid(error, "packet version is not 2", 18);
  h.product_code = product_low | (product_high << 8);
  uint16_t swapped = static_cast<uint16_t>((cw_copy >> 8) | (cw_copy << 8));
  h.type2plus = h.capability == swapped && (h.capability & 1) != 0;
  if (h.type2plus) {
    h.origin.zone = orig_zone;
    h.destination.zone = dest_zone;
    h.origin.point = orig_point;
    h.destination.point = dest_point;
    if (h.origin.net == 0xFFFF && orig_point != 0) h.origin.net = aux_net;
  } else {
    h.origin.zone = q_orig_zone;
    h.destination.zone = q_dest_zone;
  }

  for (;;) {
    size_t start = c.pos();
    uint16_t type = c.U16();
    if (!c.ok()) return Invalid(error, "packet ends without its terminator", start);
    if (type == 0) break;
    if (type != 2) return Invalid(error, "unknown packed message type", start);
    PackedMessage m;
    m.orig_node = c.U16();
    m.dest_node = c.U16();
    m.orig_net = c.U16();
    m.dest_net = c.U16();
    m.attributes = c.U16();
    m.cost = c.U16();
    m.date = c.Bytes(20);
    nul = m.date.find('\0');
    if (nul != std::string::npos) m.date.resize(nul);
    m.to_name = c.CString(35);
    m.from_name = c.CString(35);
    m.subject = c.CString(71);
    m.text = c.CString(0);
    if (!c.ok()) return Invalid(error, "packed message runs past the end", start);
    SplitLines(&m);
    DeriveAddresses(h, &m);
    packet->messages.push_back(std::move(m));
  }
  return 0;
}

// --- Olvix beside binkd --------------------------------------------------

OlvixNode MakeOlvixNode(const BinkdNode& node, const std::string& attach_style) {
  OlvixNode o;
  o.home = Join(node.root, "olvix");
  o.address = node.address;
  o.attach_style = attach_style;
  o.inbound = node.inbound;
  o.outbound = node.outbound;
  o.outmail = Join(node.root, "outmail");
  o.netmail = Join(node.root, "netmail");
  o.outtics = Join(node.root, "outtics");
  o.bad = Join(node.root, "bad");
  o.newechoes = Join(node.root, "newechoes");
  o.log = Join(o.home, "olvix.log");
  for (const std::string& d :
       {o.home, o.inbound, o.outbound, o.outmail, o.netmail, o.outtics, o.bad, o.newechoes}) {
    MakeDirs(d);
  }
  return o;
}

std::string OlvixIniText(const OlvixNode& o) {
  auto dir = [](const std::string& d) { return d + "/"; };
  std::string t;
  t += "; Olvix beside binkd: INBOUND is binkd's secure inbound, OUTBOUND its\n";
  t += "; domain outbound root\n";
  t += "[MAIN]\n";
  t += "ADDRESS " + o.address + "\n";
  t += "ORIGIN Olvix test node\n";
  t += "ROBOTNAMES OLVIX,FILEFIX\n";
  t += "LOGNAME " + o.log + "\n";
  t += "LOGLEVEL 5\n";
  t += "INBOUND " + dir(o.inbound) + "\n";
  t += "OUTBOUND " + dir(o.outbound) + "\n";
  t += "ATTACHSTYLE " + o.attach_style + "\n";
  t += "OUTMAIL " + dir(o.outmail) + "\n";
  t += "NETMAIL " + dir(o.netmail) + "\n";
  t += "OUTTICS " + dir(o.outtics) + "\n";
  t += "BADPATH " + dir(o.bad) + "\n";
  t += "NEWECHOPATH " + dir(o.newechoes) + "\n";
  t += "BADPWD badpwd.tpl\n";
  return t;
}

std::string OlvixLinksText(const std::vector<OlvixLink>& links) {
  std::string t = "; address group password level create flavour aka status options\n";
  for (const OlvixLink& l : links) {
    t += "LINK " + l.address + " " + l.group + " " + l.password + " " + std::to_string(l.level) +
         (l.create ? " Yes " : " No ") + l.flavour + " " + l.aka +
         (l.active ? " Active" : " Passive");
    if (!l.options.empty()) t += " " + l.options;
    t += "\n";
  }
  return t;
}

std::string OlvixAreasText(const std::vector<OlvixArea>& areas) {
  std::string t;
  for (const OlvixArea& a : areas) {
    t += "AREA " + a.tag + " " + a.dir + "/ " + a.group + " " + std::to_string(a.read_level) + " " +
         std::to_string(a.write_level) + " " + a.address + "\n";
    if (!a.desc.empty()) t += "DESC " + a.desc + "\n";
    if (!a.links.empty()) {
      t += "LINKS";
      for (const std::string& l : a.links) t += " " + l;
      t += "\n";
    }
    t += "\n";
  }
  return t;
}

bool WriteOlvixNode(const OlvixNode& node, const std::vector<OlvixLink>& links,
                    const std::vector<OlvixArea>& areas, std::string* error) {
  for (const OlvixArea& a : areas) MakeDirs(a.dir);
  const std::pair<const char*, std::string> files[] = {
      {"olvix.ini", OlvixIniText(node)},
      {"olxlinks.ini", OlvixLinksText(links)},
      {"olxareas.ini", OlvixAreasText(areas)},
      {"badpwd.tpl", "Your password is wrong.\n"},
  };
  for (const auto& [name, text] : files) {
    if (!WriteFile(Join(node.home, name), text)) {
      *error = "cannot write " + Join(node.home, name);
      return false;
    }
  }
  return true;
}

RunResult RunOlvix(const std::string& olvix, const OlvixNode& node,
                   const std::vector<std::string>& args, int timeout_ms) {
  std::vector<std::string> argv = {FindProgram("env"), "OLVIXPATH=" + node.home, olvix};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string output;
  for (int n = 1; output.empty() || PathExists(output); ++n) {
    output = Join(node.home, "run-" + std::to_string(n) + ".out");
  }
  return RunProgram(argv, output, timeout_ms);
}

std::string TicketText(const TicketSpec& t) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", t.crc);
  std::string s;
  s += "Created by a third system\r\n";
  s += "Area " + t.area + "\r\n";
  s += "Origin " + t.origin + "\r\n";
  s += "From " + t.from + "\r\n";
  s += "To " + t.to + "\r\n";
  s += "File " + t.file + "\r\n";
  if (!t.desc.empty()) s += "Desc " + t.desc + "\r\n";
  s += "Size " + std::to_string(t.size) + "\r\n";
  s += std::string("Crc ") + crc + "\r\n";
  for (const std::string& p : t.path) s += "Path " + p + "\r\n";
  for (const std::string& a : t.seen_by) s += "Seenby " + a + "\r\n";
  s += "Pw " + t.password + "\r\n";
  return s;
}

uint32_t ContentCrc32(const std::string& data) {
  return ~Crc32Update(0xFFFFFFFFu, data.data(), data.size());
}

}  // namespace olvix::ftnnet
