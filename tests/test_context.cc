#include "test_context.h"

#include <stdio.h>

#include <cstdlib>

namespace olvix::test {

TestContext::TestContext() {
  ctx.home = dir.dir();
  console_ = ::open_memstream(&buffer_, &size_);
  if (console_) ctx.log.set_console(console_);
}

TestContext::~TestContext() {
  ctx.log.set_console(stdout);
  if (console_) std::fclose(console_);
  std::free(buffer_);
}

std::string TestContext::Output() {
  if (!console_) return "";
  std::fflush(console_);
  return StripTimeStamps(std::string(buffer_, size_));
}

}  // namespace olvix::test
