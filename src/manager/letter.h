// Netmail letters: stored messages ("<number>.msg", the FTS-0001 layout)
// written into a netmail directory and read back.
#ifndef OLVIX_MANAGER_LETTER_H_
#define OLVIX_MANAGER_LETTER_H_

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "util/address.h"

namespace olvix {

struct LinkRecord;
struct RunContext;

// Result of a reader given content it cannot use.
inline constexpr int kInvalidContent = 4081;

// Attribute bits of a stored message.
inline constexpr uint16_t kAttrPrivate = 0x0001;
inline constexpr uint16_t kAttrCrash = 0x0002;
inline constexpr uint16_t kAttrFileAttached = 0x0010;
inline constexpr uint16_t kAttrKillSent = 0x0080;
inline constexpr uint16_t kAttrLocal = 0x0100;
inline constexpr uint16_t kAttrHold = 0x0200;
// Private, kill when sent, local: where every letter starts.
inline constexpr uint16_t kLetterAttributes = 0x0181;

// The fields of one message handed to a writer (netmail here, echomail in
// the packet writer).
struct EchoMessage {
  FtnAddress origin;
  FtnAddress destination;
  std::string from_name;
  std::string to_name;
  std::string subject;
  std::string flags;        // netmail: text of the FLAGS kludge, empty for none
  std::string tear_line;    // the whole tear line, "--- " included
  std::string origin_text;  // text of the origin line
  std::string pid;          // value of the PID kludge
  uint16_t attributes = 0;
};

// A stored message as read.
struct NetmailLetter {
  FtnAddress origin;       // net and node from the header, zone and point from kludges
  FtnAddress destination;  // likewise
  std::string from_name;   // at most 35 characters
  std::string to_name;     // at most 35 characters
  std::string subject;     // at most 71 characters
  // The non-empty lines of the text in file order, kludge lines included,
  // without their line ends.
  std::vector<std::string> lines;
};

// The 190-byte header of a stored message.
inline constexpr size_t kMessageHeaderSize = 190;
struct MessageHeader {
  std::string from_name;
  std::string to_name;
  std::string subject;
  std::string date;  // "dd Mon yy  hh:mm:ss"
  uint16_t times_read = 0;
  uint16_t dest_node = 0;
  uint16_t orig_node = 0;
  uint16_t cost = 0;
  uint16_t orig_net = 0;
  uint16_t dest_net = 0;
  uint16_t dest_zone = 0;
  uint16_t orig_zone = 0;
  uint16_t dest_point = 0;
  uint16_t orig_point = 0;
  uint16_t reply_to = 0;
  uint16_t attributes = 0;
  uint16_t next_reply = 0;
};

// The header as 190 bytes; texts are cut to their field less the NUL.
std::string EncodeMessageHeader(const MessageHeader& header);
// Decodes the first 190 bytes; false when there are fewer.
bool DecodeMessageHeader(std::string_view bytes, MessageHeader* header);
// "05 Mar 02  09:37:34" for the given local time.
std::string MessageDate(const std::tm& local);

// The header fields of `msg` written at local time `local`.
MessageHeader HeaderFor(const EchoMessage& msg, const std::tm& local);
// The kludge lines of `msg` with MSGID serial `serial`, each ended by CR.
std::string BuildKludges(const EchoMessage& msg, uint32_t serial);
// The origin line: the origin text (prefixed with " * Origin: " unless it
// already holds " * Ori") and the address in parentheses.
std::string OriginLine(const std::string& origin_text, const FtnAddress& address);
// Text-file lines are written into a letter in pieces of at most this
// many characters.
inline constexpr size_t kLetterTextPiece = 381;
// The text part of a message from the text of a file (read in text mode):
// pieces of at most `piece_size` characters ended by CR, an empty line,
// the tear line and the origin line (without a final CR).
std::string BuildMessageText(const std::string& file_text, const EchoMessage& msg,
                             size_t piece_size = kLetterTextPiece);

// Parses the bytes of a whole stored message. Returns 0, or kInvalidContent
// (with nothing read) when the bytes are shorter than the header.
int ParseLetter(std::string_view bytes, NetmailLetter* letter);

// The name, without directory, of the next free message number in `dir`:
// the directory is scanned once per run, later calls count on from there.
std::string NextMessageName(RunContext& ctx, const std::string& dir);
// Gives the complete file `temp_path` (which must lie in `dir`) the next
// free message number of `dir`. The name is taken exclusively: a number
// another program took meanwhile is passed over, and the message appears
// under its name complete or not at all. Returns 0 and the path taken in
// *placed; or an error number. The temporary file is gone either way.
int PlaceMessageFile(RunContext& ctx, const std::string& temp_path, const std::string& dir,
                     std::string* placed = nullptr);
// Copies the message file `source` into `dir` under the next free number
// (for letter copies). Returns 0 or an error number.
int CopyMessageInto(RunContext& ctx, const std::string& source, const std::string& dir,
                    std::string* placed = nullptr);

enum class TextFileAfter { kKeep, kDelete };

// Writes one stored message into directory `dir` under the next free
// number: header, kludges (with a fresh MSGID serial) and, when `text_path`
// is not empty, the text of that file followed by the tear and origin
// lines. Sets the run's netmail-written mark. Returns 0 (the path in
// *written); or the error number of the failed step, leaving no message
// behind. With kDelete the text file is removed once the message stands.
[[nodiscard]] int WriteMessageFile(RunContext& ctx, const EchoMessage& msg,
                                   const std::string& text_path, TextFileAfter after,
                                   const std::string& dir, std::string* written = nullptr);

// Writes a letter to `link` (its address is the receiver, its aka the
// sender) into OUTMAIL with the text of `text_path`, which is consumed.
// The second letter of the link's flavour adds FLAGS DIR (D) or IMM (I),
// or the crash (C) or hold (H) attribute. Returns 0, or the error number
// of a failure, which is logged (message 89); callers may go on.
int SendLetter(RunContext& ctx, const std::string& from_name, const std::string& to_name,
               const std::string& subject, const LinkRecord& link, const std::string& text_path,
               uint16_t attributes);

// Reads a stored message. Returns 0; the system error number when the file
// cannot be read; kInvalidContent (logged, the file left alone) when it is
// shorter than its header. An empty path or a null letter reads nothing
// and gives 0.
int ReadLetter(RunContext& ctx, const std::string& path, NetmailLetter* letter);

// The tear line of letters: "--- Olvix <version>-<platform>".
std::string LetterTearLine();

}  // namespace olvix

#endif  // OLVIX_MANAGER_LETTER_H_
