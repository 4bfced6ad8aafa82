#include "run/log.h"

#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "util/text.h"

namespace olvix {

namespace {

std::string VFormat(const char* fmt, va_list ap) {
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap2);
  va_end(ap2);
  if (n <= 0) return "";
  std::vector<char> buf(static_cast<size_t>(n) + 1);
  std::vsnprintf(buf.data(), buf.size(), fmt, ap);
  return std::string(buf.data(), static_cast<size_t>(n));
}

std::string TimePrefix(const char* pattern) {
  std::string t = platform::FormatTime(pattern, platform::LocalTime(platform::Now()));
  if (t.size() > 80) t.resize(80);
  return t;
}

// What begins a line of `level` (a message or a note).
std::string LevelPrefix(char level) {
  return std::string(1, level) + " " + TimePrefix("%d %b %T OLVX ");
}

}  // namespace

const char* Log::Text(int number) const {
  if (number < 0 || number >= kMessageCount) return "";
  return russian ? kRussianMessages[number] : kEnglishMessages[number];
}

bool Log::Wants(char level, int verbosity) const {
  if (console_all) return true;
  if (loglevel < verbosity) return false;
  if (logchars.empty()) return false;
  return logchars.find(level) != std::string::npos;
}

bool Log::WantsDebug(char category) const {
  if (console_all) return true;
  return !debug.empty() && debug.find(category) != std::string::npos;
}

void Log::Message(char level, int verbosity, int number, ...) {
  va_list ap;
  va_start(ap, number);
  MessageV(level, verbosity, number, ap);
  va_end(ap);
}

void Log::MessageV(char level, int verbosity, int number, va_list ap) {
  if (!Wants(level, verbosity)) return;
  WriteLine(LevelPrefix(level), VFormat(Text(number), ap));
}

void Log::Note(char level, int verbosity, const char* fmt, ...) {
  if (!Wants(level, verbosity)) return;
  va_list ap;
  va_start(ap, fmt);
  std::string text = VFormat(fmt, ap);
  va_end(ap);
  WriteLine(LevelPrefix(level), text);
}

void Log::Debug(char category, const char* fmt, ...) {
  if (!WantsDebug(category)) return;
  va_list ap;
  va_start(ap, fmt);
  std::string text = VFormat(fmt, ap);
  va_end(ap);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  std::string prefix = std::string(1, category) + " " + TimePrefix("DEBUG  %T OLVX ");
  WriteLine(prefix, text);
}

void Log::WriteLine(const std::string& prefix, const std::string& text) {
  // Every physical line of a multi-line message carries the prefix.
  std::string line = prefix;
  for (char c : text) {
    // Names and values from other systems must not end a line early for a
    // reader that splits at CR, nor hide what follows.
    if (static_cast<unsigned char>(c) < 32 && c != '\n') c = ' ';
    line += c;
    if (c == '\n') line += prefix;
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), console_);
  if (file_) std::fwrite(line.data(), 1, line.size(), file_);
  if (console_all) {
    std::fflush(console_);
    if (file_) std::fflush(file_);
  }
}

}  // namespace olvix
