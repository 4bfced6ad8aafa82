// HATCH: puts local files into a fileecho as if they had arrived there:
// a ticket for each, the copy into the fileecho directory, REPLACES, the
// description, the kept ticket, the queue and the purge index, sending to
// the subscribed links and the announcements.
#ifndef OLVIX_TIC_HATCH_H_
#define OLVIX_TIC_HATCH_H_

#include <string>
#include <vector>

namespace olvix {

struct RunContext;

// HATCH <name> <tag> [-D<descr> words...] [-R<mask>] [-C<y|n>] [-A<alias>]
// [-G<file>]: `args` as on the command line, the command first. The name
// is a file or a wildcard mask, matched only inside its own directory; a
// name without a directory is looked for in the fileecho's directory, a
// relative directory is taken from the home directory. With fewer than
// the name and the tag, the dialog asks for them. An unknown fileecho
// (message 52) or no matching file (message 53) changes nothing. A file
// that cannot be written (a copy into the fileecho directory or the
// queue, the kept ticket, the purge index, the description file) ends the
// run (status 1) before any file is sent or deleted.
void HatchCommand(RunContext& ctx, std::vector<std::string> args);

// Asks on the console for the file name, the fileecho and description
// lines, then whether to hatch. Without a terminal the answers are read as
// lines from standard input; the end of the input answers "no".
void HatchDialog(RunContext& ctx);

}  // namespace olvix

#endif  // OLVIX_TIC_HATCH_H_
