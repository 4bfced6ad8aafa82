// A RunContext for fuzzers: log lines go nowhere, the home directory is a
// scratch directory made once per process.
#ifndef OLVIX_FUZZ_FUZZ_CONTEXT_H_
#define OLVIX_FUZZ_FUZZ_CONTEXT_H_

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "run/context.h"

namespace olvix::fuzz {

inline const std::string& ScratchHome() {
  static const std::string home = [] {
    char pattern[] = "/tmp/olvix-fuzz-home.XXXXXX";
    const char* made = ::mkdtemp(pattern);
    std::string dir = std::string(made ? made : "/tmp") + "/";
    // Drive letters map into the scratch directory too.
    for (char d = 'A'; d <= 'Z'; ++d)
      ::setenv((std::string("OLVIX_DRIVE_") + d).c_str(), dir.c_str(), 1);
    return dir;
  }();
  return home;
}

// Readers that make the directories they read of (the areas file) must
// not make them outside the scratch directory: absolute paths and ".."
// lose their meaning.
inline std::string Confined(std::string text) {
  for (size_t i = 0; i < text.size(); ++i) {
    bool starts_word = i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t' || text[i - 1] == '\n';
    if ((text[i] == '/' || text[i] == '\\') && starts_word) text[i] = '_';
    if (text[i] == '.' && i + 1 < text.size() && text[i + 1] == '.') text[i] = '_';
  }
  return text;
}

// A property that does not hold is a finding: the fuzzer stops there.
inline void Check(bool ok) {
  if (!ok) std::abort();
}

// The lines of `text` without their "\n"; nothing after a last "\n".
inline std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t end = nl == std::string_view::npos ? text.size() : nl;
    out.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return out;
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
