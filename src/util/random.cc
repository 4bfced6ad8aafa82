#include "util/random.h"

#include "platform/platform.h"
#include "run/context.h"

namespace olvix {

int NextRandom(RunContext& ctx) {
  ctx.random_state = ctx.random_state * 1103515245u + 12345u;
  return static_cast<int>((ctx.random_state >> 16) & 0x7FFF);
}

uint32_t NextSerialAt(RunContext& ctx, const std::tm& local, int hundredths) {
  uint32_t year = static_cast<uint32_t>(local.tm_year + 1900);
  uint32_t value =
      ((year % 3) << 30) | (static_cast<uint32_t>(local.tm_mon + 1) << 26) |
      (static_cast<uint32_t>(local.tm_mday) << 21) | (static_cast<uint32_t>(local.tm_hour) << 16) |
      (static_cast<uint32_t>(local.tm_min) << 10) | (static_cast<uint32_t>(local.tm_sec) << 4) |
      static_cast<uint32_t>(hundredths % 15);
  value += static_cast<uint32_t>(NextRandom(ctx) % 100);
  if (value <= ctx.last_serial) value = ctx.last_serial + 1;
  ctx.last_serial = value;
  return value;
}

uint32_t NextSerial(RunContext& ctx) {
  int64_t ms = platform::NowMilliseconds();
  return NextSerialAt(ctx, platform::LocalTime(ms / 1000), static_cast<int>(ms % 1000 / 10));
}

}  // namespace olvix
