#include "util/msgnum.h"

#include "platform/platform.h"
#include "run/context.h"
#include "util/random.h"

namespace olvix {

uint32_t MessageNumberOf(std::string_view name) {
  size_t i = 0;
  while (i < name.size() && (name[i] == ' ' || name[i] == '\t')) ++i;
  if (i < name.size() && name[i] == '-') return 0;  // no message carries a negative number
  if (i < name.size() && name[i] == '+') ++i;
  uint64_t value = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(name[i] - '0');
    // A number this large is no message number; taking it would push every
    // later message past what mailers can number.
    if (value > 0xFFFFFFFEu) return 0;
  }
  return static_cast<uint32_t>(value);
}

std::string MessageFileName(uint32_t number) { return std::to_string(number) + ".msg"; }

uint32_t NextMessageNumber(const std::vector<std::string>& names) {
  uint32_t highest = 1;
  for (const std::string& name : names) {
    uint32_t n = MessageNumberOf(name);
    if (n > highest) highest = n;
  }
  return highest + 1;
}

uint32_t MsgidSerial(const std::tm& local, int hundredths, int random, uint32_t last) {
  uint32_t year = static_cast<uint32_t>(local.tm_year + 1900);
  uint32_t value =
      ((year % 3) << 30) | (static_cast<uint32_t>(local.tm_mon + 1) << 26) |
      (static_cast<uint32_t>(local.tm_mday) << 21) | (static_cast<uint32_t>(local.tm_hour) << 16) |
      (static_cast<uint32_t>(local.tm_min) << 10) | (static_cast<uint32_t>(local.tm_sec) << 4) |
      (static_cast<uint32_t>(hundredths) % 15);
  value += static_cast<uint32_t>(random % 100);
  if (value <= last) value = last + 1;
  return value;
}

uint32_t NextMsgidSerialAt(RunContext& ctx, const std::tm& local, int hundredths) {
  ctx.last_msgid = MsgidSerial(local, hundredths, NextRandom(ctx), ctx.last_msgid);
  return ctx.last_msgid;
}

uint32_t NextMsgidSerial(RunContext& ctx) {
  int64_t ms = platform::NowMilliseconds();
  return NextMsgidSerialAt(ctx, platform::LocalTime(ms / 1000), static_cast<int>((ms % 1000) / 10));
}

}  // namespace olvix
