// Reading and rewriting the configuration files: the line pieces the
// readers work on and the safe replacement of a rewritten file.
#ifndef OLVIX_CONFIG_CONFIG_FILES_H_
#define OLVIX_CONFIG_CONFIG_FILES_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;

// Configuration lines are read in pieces of at most this many characters.
inline constexpr size_t kConfigPiece = 509;

// One line of a configuration file.
struct ConfigLine {
  std::string piece;  // the first kConfigPiece characters, with the "\n" when it fits
  std::string raw;    // the whole line with its "\n" (missing on an unterminated last line)
};

// Splits text (line ends already LF) into lines. The rest of a line beyond
// its first piece belongs to that line; it is never taken as a line of its
// own.
std::vector<ConfigLine> SplitConfigLines(const std::string& text);

// Reads a whole text file through the file table; CR LF becomes LF. On
// failure returns false; the file table has logged message 0 unless `quiet`.
// The loaders' view of a line of olxlinks.ini or olxareas.ini: tab-expanded,
// left-trimmed, without its line feed. False for lines they pass over
// (shorter than 5 characters, a comment, no blank).
bool PrepareLine(const std::string& piece, std::string* line);
// The first word of a tab-expanded, left-trimmed line.
std::string FirstWord(const std::string& piece);
// True for a line whose first character after blanks is ";".
bool IsComment(const std::string& piece);

bool ReadConfigFile(RunContext& ctx, const std::string& path, bool quiet, std::string* text,
                    int* error);

// Replaces `path` by `contents`. The new text goes to `temp` first; only
// when every write and the close succeeded is the old file kept as `bak`
// and `temp` renamed onto `path`. On any failure the old file stays as it
// was, `temp` is removed, message 9 is logged and the error number is
// returned; 0 on success. A `temp` that cannot be created is reported as
// message 0 unless `quiet_open`.
int ReplaceConfigFile(RunContext& ctx, const std::string& path, const std::string& temp,
                      const std::string& bak, const std::string& contents, bool quiet_open);

}  // namespace olvix

#endif  // OLVIX_CONFIG_CONFIG_FILES_H_
