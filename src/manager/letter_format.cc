// The stored-message format: header bytes, kludge lines, text and the
// rules of reading a letter. Nothing here touches files.
#include <cstdio>

#include "manager/letter.h"
#include "util/coding.h"
#include "util/files.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr size_t kNameField = 36;
constexpr size_t kSubjectField = 72;
constexpr size_t kDateField = 20;
// A stored line ends at this length; the byte that did not fit begins the
// next line.
constexpr size_t kMaxLineLength = 1020;
// Kludges are looked for only in lines up to this length.
constexpr size_t kMaxKludgeLength = 1000;

void SetNetNode(const FtnAddress& from, FtnAddress* to) {
  to->zone = from.zone;
  to->net = from.net;
  to->node = from.node;
}

// A kludge line: the byte 1, the text and CR.
std::string Kludge(const std::string& text) { return '\x01' + text + '\r'; }

// Applies one kludge line to the letter's addresses.
void ApplyKludge(const std::string& line, NetmailLetter* letter) {
  size_t blank = line.find(' ');
  if (blank == std::string::npos) return;
  // The caller has seen the leading byte 1; the keyword follows it.
  std::string keyword = Upper(std::string_view(line).substr(1, blank - 1));
  std::string value = TrimLeft(std::string_view(line).substr(blank));
  if (keyword == "TOPT") {
    letter->destination.point = static_cast<uint32_t>(ParseDecimal(value));
  } else if (keyword == "FMPT") {
    letter->origin.point = static_cast<uint32_t>(ParseDecimal(value));
  } else if (keyword == "INTL") {
    size_t sep = value.find(' ');
    if (sep == std::string::npos) return;
    FtnAddress dest = ParseAddress(value.substr(0, sep));
    if (dest.zone != 0 && dest.net != 0) SetNetNode(dest, &letter->destination);
    FtnAddress orig = ParseAddress(value.substr(sep + 1));
    if (orig.zone != 0 && orig.net != 0) SetNetNode(orig, &letter->origin);
  } else if (keyword == "MSGID:") {
    size_t sep = value.find(' ');
    if (sep == std::string::npos) return;
    std::string text = value.substr(0, sep);
    size_t at = text.find('@');
    if (at != std::string::npos) text.resize(at);
    FtnAddress orig = ParseAddress(text);
    if (orig.zone != 0 && orig.net != 0) letter->origin = orig;
  }
}

}  // namespace

std::string MessageDate(const std::tm& local) {
  static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int mon = local.tm_mon >= 0 && local.tm_mon < 12 ? local.tm_mon : 0;
  return Format("%02d %s %02d  %02d:%02d:%02d", local.tm_mday % 100, kMonths[mon],
                (local.tm_year + 1900) % 100, local.tm_hour % 100, local.tm_min % 100,
                local.tm_sec % 100);
}

std::string EncodeMessageHeader(const MessageHeader& h) {
  std::string out;
  out.reserve(kMessageHeaderSize);
  ByteWriter w(&out);
  w.PutFixedText(h.from_name, kNameField);
  w.PutFixedText(h.to_name, kNameField);
  w.PutFixedText(h.subject, kSubjectField);
  w.PutFixedText(h.date, kDateField);
  for (uint16_t v :
       {h.times_read, h.dest_node, h.orig_node, h.cost, h.orig_net, h.dest_net, h.dest_zone,
        h.orig_zone, h.dest_point, h.orig_point, h.reply_to, h.attributes, h.next_reply})
    w.PutU16(v);
  return out;
}

bool DecodeMessageHeader(std::string_view bytes, MessageHeader* h) {
  ByteReader r(bytes);
  MessageHeader out;
  r.GetFixedText(kNameField, kNameField - 1, &out.from_name);
  r.GetFixedText(kNameField, kNameField - 1, &out.to_name);
  r.GetFixedText(kSubjectField, kSubjectField - 1, &out.subject);
  r.GetFixedText(kDateField, kDateField - 1, &out.date);
  for (uint16_t* v : {&out.times_read, &out.dest_node, &out.orig_node, &out.cost, &out.orig_net,
                      &out.dest_net, &out.dest_zone, &out.orig_zone, &out.dest_point,
                      &out.orig_point, &out.reply_to, &out.attributes, &out.next_reply})
    r.GetU16(v);
  if (!r.ok()) return false;
  *h = std::move(out);
  return true;
}

MessageHeader HeaderFor(const EchoMessage& msg, const std::tm& local) {
  MessageHeader h;
  h.from_name = msg.from_name;
  h.to_name = msg.to_name;
  h.subject = msg.subject;
  h.date = MessageDate(local);
  h.dest_node = static_cast<uint16_t>(msg.destination.node);
  h.orig_node = static_cast<uint16_t>(msg.origin.node);
  h.orig_net = static_cast<uint16_t>(msg.origin.net);
  h.dest_net = static_cast<uint16_t>(msg.destination.net);
  h.dest_zone = static_cast<uint16_t>(msg.destination.zone);
  h.orig_zone = static_cast<uint16_t>(msg.origin.zone);
  h.dest_point = static_cast<uint16_t>(msg.destination.point);
  h.orig_point = static_cast<uint16_t>(msg.origin.point);
  h.attributes = msg.attributes;
  return h;
}

std::string BuildKludges(const EchoMessage& msg, uint32_t serial) {
  const FtnAddress& o = msg.origin;
  const FtnAddress& d = msg.destination;
  std::string k = Kludge("MSGID: " + FormatAddress(o) + Format(" %X", serial));
  if (o.point != 0) k += Kludge(Format("FMPT %u", o.point));
  if (d.point != 0) k += Kludge(Format("TOPT %u", d.point));
  k += Kludge(Format("INTL %u:%u/%u %u:%u/%u", d.zone, d.net, d.node, o.zone, o.net, o.node));
  if (!msg.flags.empty()) k += Kludge("FLAGS: " + msg.flags);
  k += Kludge("PID " + msg.pid);
  return k;
}

std::string OriginLine(const std::string& origin_text, const FtnAddress& address) {
  std::string line =
      origin_text.find(" * Ori") != std::string::npos ? origin_text : " * Origin: " + origin_text;
  return line + " (" + FormatAddress(address) + ")";
}

std::string BuildMessageText(const std::string& file_text, const EchoMessage& msg,
                             size_t piece_size) {
  std::string out;
  out.reserve(file_text.size() + 128);
  for (std::string& piece : SplitPieces(file_text, piece_size + 1)) {
    if (piece.back() == '\n')
      piece.back() = '\r';
    else
      piece += '\r';
    out += piece;
  }
  out += '\r';
  out += msg.tear_line;
  out += '\r';
  out += OriginLine(msg.origin_text, msg.origin);
  return out;
}

int ParseLetter(std::string_view bytes, NetmailLetter* letter) {
  *letter = NetmailLetter{};
  MessageHeader h;
  if (!DecodeMessageHeader(bytes, &h)) return kInvalidContent;
  letter->from_name = h.from_name;
  letter->to_name = h.to_name;
  letter->subject = h.subject;
  letter->origin.net = h.orig_net;
  letter->origin.node = h.orig_node;
  letter->destination.net = h.dest_net;
  letter->destination.node = h.dest_node;

  std::string current;
  for (char c : bytes.substr(kMessageHeaderSize)) {
    if (c == '\r' || c == '\n' || c == '\0') {
      if (!current.empty()) letter->lines.push_back(std::move(current));
      current.clear();
      continue;
    }
    if (current.size() == kMaxLineLength) {
      letter->lines.push_back(std::move(current));
      current.clear();
    }
    current += c;
  }
  // Characters after the last line end are an unfinished line: dropped.

  for (const std::string& line : letter->lines)
    if (line.size() <= kMaxKludgeLength && line[0] == '\x01') ApplyKludge(line, letter);
  if (letter->destination.zone == 0) letter->destination.zone = letter->origin.zone;
  return 0;
}

}  // namespace olvix
