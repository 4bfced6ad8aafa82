// Echomail packets (*.pkt): the type 2 header with the type 2+ extensions,
// packed messages with AREA, MSGID, PID, tear, origin, SEEN-BY and PATH
// lines, and the end mark.
//
// A packet is built under a work name beside its final name and appears
// under the final name, complete, only when ClosePacket has written its end
// mark: a tosser never takes half a packet.
#ifndef OLVIX_ANNOUNCE_PACKET_H_
#define OLVIX_ANNOUNCE_PACKET_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "manager/letter.h"
#include "util/address.h"

namespace olvix {

struct RunContext;

inline constexpr size_t kPacketHeaderSize = 58;
// Body lines longer than this are broken into several lines.
inline constexpr size_t kPacketBodyPiece = 255;

// The 58-byte header of a packet from `origin` to `destination` created at
// local time `local`. The password is cut to 8 bytes and NUL-padded.
std::string EncodePacketHeader(const FtnAddress& origin, const FtnAddress& destination,
                               std::string_view password, const std::tm& local);

// The message text of a packed message, every line ended by CR: AREA,
// MSGID (serial `serial`), PID, the body in pieces of at most 255
// characters, an empty line, the tear and origin lines and, for an origin
// without point, SEEN-BY and PATH. `body` is text as read in text mode (LF
// line ends). No terminating NUL.
std::string PacketMessageText(const EchoMessage& msg, std::string_view area_tag,
                              std::string_view body, uint32_t serial);

// One packed message written at local time `local`: the fixed fields, the
// date, the names, the text and its NUL. NUL bytes inside the names,
// subject or text become blanks, so they cannot end a field early.
std::string EncodePackedMessage(const EchoMessage& msg, std::string_view area_tag,
                                std::string_view body, uint32_t serial, const std::tm& local);

// A whole packet: the header (origin `packet_origin`, destination the
// message's), one message per body, each with a fresh MSGID serial, and
// the end mark. Sets the run's echomail-written mark.
std::string EncodePacket(RunContext& ctx, const EchoMessage& msg,
                         const std::vector<std::string>& bodies, const std::string& area_tag,
                         const std::string& password, const FtnAddress& packet_origin);

// Where a packet is built until ClosePacket: a temporary name of this run
// beside it (ending in ".$$$"), which no tosser takes.
std::string PacketWorkPath(const std::string& packet_path);

// Starts the packet `packet_path` (its work file, replacing one of that
// name) with the header (origin `packet_origin`, destination the message's)
// and the first message, whose body is the text file `body_path` (empty
// body when it cannot be read). Sets the run's echomail-written mark first.
// Returns 0 or the system error number; on failure no work file is left.
[[nodiscard]] int CreatePacket(RunContext& ctx, const EchoMessage& msg,
                               const std::string& body_path, const std::string& packet_path,
                               const std::string& area_tag, const std::string& password,
                               const FtnAddress& packet_origin);
// CreatePacket with the body given as text.
[[nodiscard]] int CreatePacketText(RunContext& ctx, const EchoMessage& msg, std::string_view body,
                                   const std::string& packet_path, const std::string& area_tag,
                                   const std::string& password, const FtnAddress& packet_origin);

// Appends one more message to a packet started by CreatePacket. Returns 0
// or the system error number (the work file is then removed: the packet is
// given up).
[[nodiscard]] int AppendPacketMessage(RunContext& ctx, const EchoMessage& msg,
                                      const std::string& body_path, const std::string& packet_path,
                                      const std::string& area_tag);
[[nodiscard]] int AppendPacketMessageText(RunContext& ctx, const EchoMessage& msg,
                                          std::string_view body, const std::string& packet_path,
                                          const std::string& area_tag);

// Writes the end mark (two NUL bytes) and gives the packet its final name.
// Returns 0 or the system error number (the work file is then removed).
[[nodiscard]] int ClosePacket(RunContext& ctx, const std::string& packet_path);

}  // namespace olvix

#endif  // OLVIX_ANNOUNCE_PACKET_H_
