// Two services the toss performs for newly tossed files after their
// descriptions and announcements: the magic names file (MAGICFILE), which
// maps a file's magic name to the full path of the latest file tossed under
// it, for the file-request server; and the [AUTOSTART] commands run for
// files whose name or magic name matches a mask.
#ifndef OLVIX_TIC_MAGIC_H_
#define OLVIX_TIC_MAGIC_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;

// The lines a new magic names file starts with.
inline constexpr char kMagicFileHeader[] = ";\n; Automaticaly created file by Olvix\n;\n";

// One entry as written: `key` padded with blanks to `width` - 1 characters
// and at least one blank (a key glued to its path could not be found
// again), then `path` and a line end.
std::string MagicEntryLine(const std::string& key, const std::string& path, int width);

// A new entry for the magic names file: the key and its written line.
struct MagicEntry {
  std::string key;
  std::string line;
};

// The magic names file `text` after `entries`, taken one after another as
// if the file were rewritten for each: an entry replaces every line whose
// key (the text before its first blank; ";" lines are comments) equals its
// key without regard to case, in place; without such a line it is appended.
// Other lines stay byte for byte.
std::string ApplyMagicEntries(const std::string& text, const std::vector<MagicEntry>& entries);

// Toss step: one rewrite of the magic names file for every good ticket with
// a magic name in a fileecho without flags P and M, from a link without
// option M.
void UpdateMagicNames(RunContext& ctx);

// The command line of an [AUTOSTART] entry: every "@FILE" replaced by
// `file` and every "@PATH" by `dir`, each quoted as one word for the
// command interpreter; the rest is the sysop's and stays as written.
std::string AutostartCommand(const std::string& command, const std::string& file,
                             const std::string& dir);

// Toss step: runs the [AUTOSTART] commands for the good tickets whose file
// name or magic name matches an entry of their fileecho (or of "*"), in
// their destination directory. When files are sent from the fileecho
// directories, the ticket's CRC and size are taken anew from the file the
// command may have changed.
void Autostart(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_TIC_MAGIC_H_
