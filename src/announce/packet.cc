#include "announce/packet.h"

#include <cerrno>
#include <cstdio>

#include "platform/platform.h"
#include "run/context.h"
#include "util/coding.h"
#include "util/files.h"
#include "util/msgnum.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

constexpr size_t kDateField = 20;

// A NUL ends a field of a packed message, and the whole message at the end
// of the text: none may come from the texts themselves.
std::string NoNul(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c == '\0') c = ' ';
  return out;
}

int LastError() { return errno ? errno : 5; }

// Writes `data` to the work file of `packet_path` with fopen mode `mode`.
// On failure the work file is removed: what is there could never become a
// complete packet.
int WriteWork(const std::string& packet_path, const std::string& data, const char* mode) {
  std::string work = PacketWorkPath(packet_path);
  int err = 0;
  std::FILE* f = platform::OpenStream(work, mode, &err);
  if (!f) return err ? err : 5;
  errno = 0;
  int rc = 0;
  if (std::fwrite(data.data(), 1, data.size(), f) != data.size()) rc = LastError();
  if (std::fflush(f) != 0 && rc == 0) rc = LastError();
  if (std::fclose(f) != 0 && rc == 0) rc = LastError();
  if (rc != 0) (void)platform::RemoveFile(work);  // a broken packet is worth nothing
  return rc;
}

std::string BodyOf(const std::string& body_path) {
  std::string body;
  if (!ReadWholeFile(body_path, true, &body)) body.clear();  // unreadable: an empty body
  return body;
}

std::tm LocalNow() { return platform::LocalTime(platform::Now()); }

}  // namespace

std::string EncodePacketHeader(const FtnAddress& origin, const FtnAddress& destination,
                               std::string_view password, const std::tm& local) {
  std::string out;
  out.reserve(kPacketHeaderSize);
  ByteWriter w(&out);
  auto u16 = [&w](uint32_t v) { w.PutU16(static_cast<uint16_t>(v)); };
  u16(origin.node);
  u16(destination.node);
  u16(static_cast<uint32_t>(local.tm_year + 1900));
  u16(static_cast<uint32_t>(local.tm_mon));  // 0 for January
  u16(static_cast<uint32_t>(local.tm_mday));
  u16(static_cast<uint32_t>(local.tm_hour));
  u16(static_cast<uint32_t>(local.tm_min));
  u16(static_cast<uint32_t>(local.tm_sec));
  u16(0);  // baud
  u16(2);  // packet type
  u16(origin.net);
  u16(destination.net);
  w.PutU8(0);  // product code, low byte
  w.PutU8(0);  // revision, major
  w.PutFixedBytes(password, 8);
  u16(origin.zone);
  u16(destination.zone);
  u16(origin.net);  // auxiliary net
  // The capability word and its byte-swapped copy tell a type 2+ packet.
  w.PutU8(0x00);
  w.PutU8(0x01);
  w.PutU8(0);  // product code, high byte
  w.PutU8(0);  // revision, minor
  w.PutU8(0x01);
  w.PutU8(0x00);
  u16(origin.zone);
  u16(destination.zone);
  u16(origin.point);
  u16(destination.point);
  w.PutU32(0);  // product data
  return out;
}

std::string PacketMessageText(const EchoMessage& msg, std::string_view area_tag,
                              std::string_view body, uint32_t serial) {
  std::string out;
  out.reserve(body.size() + 256);
  out += "AREA:";
  out += area_tag;
  out += '\r';
  out += "\x01MSGID: " + FormatAddress(msg.origin) + Format(" %X", serial) + '\r';
  out += "\x01PID: " + msg.pid + '\r';
  out += BuildMessageText(std::string(body), msg, kPacketBodyPiece);
  out += '\r';
  if (msg.origin.point == 0) {
    std::string net_node = Format("%u/%u", msg.origin.net, msg.origin.node);
    out += "SEEN-BY: " + net_node + '\r';
    out += "\x01PATH: " + net_node + '\r';
  }
  return out;
}

std::string EncodePackedMessage(const EchoMessage& msg, std::string_view area_tag,
                                std::string_view body, uint32_t serial, const std::tm& local) {
  std::string out;
  ByteWriter w(&out);
  auto u16 = [&w](uint32_t v) { w.PutU16(static_cast<uint16_t>(v)); };
  u16(2);  // message type
  u16(msg.origin.node);
  u16(msg.destination.node);
  u16(msg.origin.net);
  u16(msg.destination.net);
  u16(msg.attributes);
  u16(0);  // cost
  w.PutFixedText(MessageDate(local), kDateField);
  for (const std::string* name : {&msg.to_name, &msg.from_name, &msg.subject}) {
    out += NoNul(*name);
    out += '\0';
  }
  out += NoNul(PacketMessageText(msg, area_tag, body, serial));
  out += '\0';
  return out;
}

std::string EncodePacket(RunContext& ctx, const EchoMessage& msg,
                         const std::vector<std::string>& bodies, const std::string& area_tag,
                         const std::string& password, const FtnAddress& packet_origin) {
  ctx.packet_written = true;
  std::tm local = LocalNow();
  std::string data = EncodePacketHeader(packet_origin, msg.destination, password, local);
  for (const std::string& body : bodies)
    data += EncodePackedMessage(msg, area_tag, body, NextMsgidSerial(ctx), local);
  data.append(2, '\0');
  return data;
}

std::string PacketWorkPath(const std::string& packet_path) {
  return platform::RunTempName(packet_path);
}

int CreatePacket(RunContext& ctx, const EchoMessage& msg, const std::string& body_path,
                 const std::string& packet_path, const std::string& area_tag,
                 const std::string& password, const FtnAddress& packet_origin) {
  return CreatePacketText(ctx, msg, BodyOf(body_path), packet_path, area_tag, password,
                          packet_origin);
}

int CreatePacketText(RunContext& ctx, const EchoMessage& msg, std::string_view body,
                     const std::string& packet_path, const std::string& area_tag,
                     const std::string& password, const FtnAddress& packet_origin) {
  ctx.packet_written = true;
  std::tm local = LocalNow();
  std::string data = EncodePacketHeader(packet_origin, msg.destination, password, local);
  data += EncodePackedMessage(msg, area_tag, body, NextMsgidSerial(ctx), local);
  return WriteWork(packet_path, data, "wb");
}

int AppendPacketMessage(RunContext& ctx, const EchoMessage& msg, const std::string& body_path,
                        const std::string& packet_path, const std::string& area_tag) {
  return AppendPacketMessageText(ctx, msg, BodyOf(body_path), packet_path, area_tag);
}

int AppendPacketMessageText(RunContext& ctx, const EchoMessage& msg, std::string_view body,
                            const std::string& packet_path, const std::string& area_tag) {
  std::string work = PacketWorkPath(packet_path);
  // "ab" would create a packet without a header.
  if (!platform::FileExists(work)) return platform::NotFoundCode();
  std::string data = EncodePackedMessage(msg, area_tag, body, NextMsgidSerial(ctx), LocalNow());
  return WriteWork(packet_path, data, "ab");
}

int ClosePacket(RunContext&, const std::string& packet_path) {
  std::string work = PacketWorkPath(packet_path);
  if (!platform::FileExists(work)) return platform::NotFoundCode();
  int rc = WriteWork(packet_path, std::string(2, '\0'), "ab");
  if (rc != 0) return rc;
  rc = platform::RenamePath(work, packet_path);
  if (rc != 0) (void)platform::RemoveFile(work);  // never complete under its name
  return rc;
}

}  // namespace olvix
