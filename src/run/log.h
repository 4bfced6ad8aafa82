// The message writer and the debug writer. Both write one line to the
// console and, while it is open, to the log file.
#ifndef OLVIX_RUN_LOG_H_
#define OLVIX_RUN_LOG_H_

#include <cstdarg>
#include <cstdio>
#include <string>

namespace olvix {

// Catalogue texts of the two languages (CP866), indexed 0 to 119.
inline constexpr int kMessageCount = 120;
extern const char* const kEnglishMessages[kMessageCount];
extern const char* const kRussianMessages[kMessageCount];

class Log {
 public:
  // Filters, as read from the configuration.
  std::string logchars = "*#.:!";  // enabled level characters; empty = none
  int loglevel = 3;                // verbosity limit 0..7
  std::string debug;               // enabled debug categories (upper case)
  bool russian = false;
  bool console_all = false;  // the -D switch: everything to the console

  // The catalogue text of `number` in the selected language.
  const char* Text(int number) const;

  // Writes catalogue message `number` with printf arguments under level
  // character `level` and verbosity `verbosity`.
  void Message(char level, int verbosity, int number, ...);
  void MessageV(char level, int verbosity, int number, va_list ap);
  // Writes a line that is not in the catalogue under level character
  // `level` and verbosity `verbosity` (for events the catalogue has no
  // message for).
  void Note(char level, int verbosity, const char* fmt, ...) __attribute__((format(printf, 4, 5)));
  // Writes a free-form trace line of debug category `category`.
  void Debug(char category, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

  // True when a message of this level and verbosity passes the filter.
  bool Wants(char level, int verbosity) const;
  bool WantsDebug(char category) const;

  // The log file, opened and closed by the run driver.
  void AttachFile(std::FILE* f) { file_ = f; }
  std::FILE* file() const { return file_; }
  void DetachFile() { file_ = nullptr; }

  // Where console lines go (standard output unless a test redirects it).
  void set_console(std::FILE* f) { console_ = f; }

 private:
  void WriteLine(const std::string& prefix, const std::string& text);

  std::FILE* file_ = nullptr;
  std::FILE* console_ = stdout;
};

}  // namespace olvix

#endif  // OLVIX_RUN_LOG_H_
