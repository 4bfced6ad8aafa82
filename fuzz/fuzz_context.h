// A RunContext for fuzzers: log lines go nowhere, the home directory is a
// scratch directory made once per process.
#ifndef OLVIX_FUZZ_FUZZ_CONTEXT_H_
#define OLVIX_FUZZ_FUZZ_CONTEXT_H_

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "run/context.h"

namespace olvix::fuzz {

inline const std::string& ScratchHome() {
  static const std::string home = [] {
    char pattern[] = "/tmp/olvix-fuzz-home.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return std::string(made ? made : "/tmp") + "/";
  }();
  return home;
}

// A fresh context per input, so that nothing one input leaves behind
// changes how the next is read.
inline std::unique_ptr<RunContext> NewContext() {
  static std::FILE* sink = std::fopen("/dev/null", "w");
  auto ctx = std::make_unique<RunContext>();
  ctx->home = ScratchHome();
  ctx->log.set_console(sink);
  ctx->log.logchars = "";
  return ctx;
}

}  // namespace olvix::fuzz

#endif  // OLVIX_FUZZ_FUZZ_CONTEXT_H_
