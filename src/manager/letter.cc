// Writing and reading stored messages in netmail directories.
#include "manager/letter.h"

#include "config/records.h"
#include "platform/platform.h"
#include "run/context.h"
#include "run/version.h"
#include "util/files.h"
#include "util/msgnum.h"
#include "util/paths.h"
#include "util/text.h"

namespace olvix {

namespace {

// Numbers tried after the first before giving up on a directory that other
// programs keep filling.
constexpr int kPlaceAttempts = 1000;

std::string DirPrefix(const std::string& dir) { return dir.empty() ? "" : WithTrailingSep(dir); }

std::string DirKey(const std::string& dir) {
  std::string cwd = platform::CurrentDirectory();
  return Lower(WithTrailingSep(platform::NormalizePath(dir.empty() ? cwd : dir, cwd)));
}

uint32_t& NextNumber(RunContext& ctx, const std::string& dir) {
  std::string key = DirKey(dir);
  auto it = ctx.next_message_number.find(key);
  if (it != ctx.next_message_number.end()) return it->second;
  // Temporary names that a killed run left (each may be a second name of a
  // numbered message): looked for once per directory and run.
  RemoveDeadRunTemps(dir.empty() ? "." : dir);
  std::vector<platform::DirEntry> entries;
  // A directory that cannot be listed holds no numbers to avoid; creating
  // the message will report the real trouble.
  (void)platform::ListDirectory(dir.empty() ? "." : dir, "*.msg", false, &entries,
                                platform::EntryDetails::kNamesOnly);
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (platform::DirEntry& e : entries) names.push_back(std::move(e.name));
  return ctx.next_message_number[key] = NextMessageNumber(names);
}

// Writes `data` into a new file `path`; the file is removed again when any
// write or the close fails. A file of that name is removed first, not
// written over: a run killed after giving it its number leaves it as a
// second name of that message, which must keep its text.
int WriteNewFile(const std::string& path, const std::string& data) {
  (void)platform::RemoveFile(path);  // absent is the usual case
  return platform::WriteNewFile(path, data);
}

}  // namespace

std::string LetterTearLine() {
  return std::string("--- Olvix ") + kVersion + "-" + platform::PlatformName();
}

std::string NextMessageName(RunContext& ctx, const std::string& dir) {
  return MessageFileName(NextNumber(ctx, dir));
}

int PlaceMessageFile(RunContext& ctx, const std::string& temp_path, const std::string& dir,
                     std::string* placed) {
  uint32_t& next = NextNumber(ctx, dir);
  int rc = 0;
  for (int attempt = 0; attempt < kPlaceAttempts; ++attempt, ++next) {
    std::string target = DirPrefix(dir) + MessageFileName(next);
    // A hard link makes the finished file appear under its number at once
    // and fails when the number is taken.
    rc = platform::HardLink(temp_path, target);
    if (platform::IsAlreadyExists(rc)) continue;
    if (rc == 0) {
      (void)platform::RemoveFile(temp_path);  // a stray temporary name is no message
    } else {
      // No hard links here: reserve the number, then move the file onto it.
      rc = platform::CreateExclusive(target);
      if (platform::IsAlreadyExists(rc)) continue;
      if (rc == 0) {
        rc = platform::RenamePath(temp_path, target);
        if (rc != 0) (void)platform::RemoveFile(target);  // give the empty name back
      }
      if (rc != 0) break;
    }
    ++next;
    if (placed) *placed = target;
    return 0;
  }
  (void)platform::RemoveFile(temp_path);  // the caller is told of the failure
  return rc;
}

int CopyMessageInto(RunContext& ctx, const std::string& source, const std::string& dir,
                    std::string* placed) {
  // Under a name of this run, which a later run removes should this one be
  // killed before the copy has its number.
  std::string data;
  int rc = 0;
  if (!ReadWholeFile(source, false, &data, &rc)) return rc ? rc : 5;
  std::string temp = platform::RunTempName(DirPrefix(dir) + "olxcopy");
  rc = WriteNewFile(temp, data);
  if (rc != 0) return rc;
  return PlaceMessageFile(ctx, temp, dir, placed);
}

int WriteMessageFile(RunContext& ctx, const EchoMessage& msg, const std::string& text_path,
                     TextFileAfter after, const std::string& dir, std::string* written) {
  ctx.netmail_written = true;
  std::tm local = platform::LocalTime(platform::Now());
  std::string data = EncodeMessageHeader(HeaderFor(msg, local));
  data += BuildKludges(msg, NextMsgidSerial(ctx));
  if (!text_path.empty()) {
    std::string text;
    int err = 0;
    if (!ReadWholeFile(text_path, true, &text, &err)) return err ? err : 5;
    data += BuildMessageText(text, msg);
  }
  // The message is finished under a name no mailer picks up, then given
  // its number in one step.
  std::string temp = platform::RunTempName(DirPrefix(dir) + "olxmsg");
  int rc = WriteNewFile(temp, data);
  if (rc == 0) rc = PlaceMessageFile(ctx, temp, dir, written);
  if (rc != 0) return rc;
  if (after == TextFileAfter::kDelete)
    (void)platform::RemoveFile(text_path);  // a leftover work file is rewritten next time
  return 0;
}

int SendLetter(RunContext& ctx, const std::string& from_name, const std::string& to_name,
               const std::string& subject, const LinkRecord& link, const std::string& text_path,
               uint16_t attributes) {
  ctx.log.Debug('B', "Someone wants to send a message to %s", to_name.c_str());
  ctx.log.Debug('B', "The topic is %s", subject.c_str());
  EchoMessage msg;
  msg.origin = link.aka;
  msg.destination = link.address;
  msg.from_name = from_name;
  msg.to_name = to_name;
  msg.subject = subject;
  msg.tear_line = LetterTearLine();
  msg.pid = msg.tear_line.substr(4);
  msg.origin_text = ctx.cfg.origin;
  char modifier = link.flavour.size() > 1 ? UpperChar(link.flavour[1]) : '\0';
  if (modifier == 'D') msg.flags = "DIR";
  if (modifier == 'I') msg.flags = "IMM";
  msg.attributes = attributes;
  if (modifier == 'C') msg.attributes |= kAttrCrash;
  if (modifier == 'H') msg.attributes |= kAttrHold;
  int rc = WriteMessageFile(ctx, msg, text_path, TextFileAfter::kDelete, ctx.cfg.outmail);
  if (rc != 0)
    ctx.log.Message('!', 1, 89, FormatAddress(link.address).c_str(),
                    platform::ErrorText(rc).c_str());
  return rc;
}

int ReadLetter(RunContext& ctx, const std::string& path, NetmailLetter* letter) {
  if (!letter || path.empty()) return 0;
  *letter = NetmailLetter{};
  std::string bytes;
  int err = 0;
  if (!ReadWholeFile(path, false, &bytes, &err)) return err ? err : 5;
  int rc = ParseLetter(bytes, letter);
  if (rc == kInvalidContent)
    ctx.log.Message('!', 1, 22, path.c_str(), "the message is shorter than its header");
  return rc;
}

}  // namespace olvix
