// Automatic creation of fileechoes: a file arrives for a fileecho this node
// does not carry from a link that may create fileechoes, or the manager
// forwards a link's request for one to an uplink. The fileecho gets a
// directory made from its tag, a description from the first of several
// places that has one, the settings and subscribers [UPLINKS] prescribes for
// fileechoes from that link, and its lines in the file-request list, the
// base directory's description file and the BLSTBBS configuration.
#ifndef OLVIX_TIC_AUTOCREATE_H_
#define OLVIX_TIC_AUTOCREATE_H_

#include <string>
#include <string_view>

#include "util/address.h"

namespace olvix {

struct AreaRecord;
struct RunContext;

// Creates the fileecho `tag` on behalf of the link `creator` and rewrites
// the areas file. `offered_desc` (a ticket's AREADESC) is used when no list
// file describes the fileecho; the letters of `offered_flags` are added to
// the flags [UPLINKS] gives. Returns the new record, owned by ctx.areas; the
// existing one when the tag is known already. nullptr, with the table
// unchanged, when `creator` is no link, the tag cannot be a fileecho
// (TagMayBeCreated) or the areas file could not be written (logged).
AreaRecord* CreateFileecho(RunContext& ctx, const std::string& tag, const FtnAddress& creator,
                           const std::string& offered_desc, const std::string& offered_flags);

// Whether a tag from another system can become a fileecho: one word of
// printable characters, short enough for its lines in the areas file.
bool TagMayBeCreated(const std::string& tag);

// The directory name of a new fileecho. The short form cuts the tag to 8
// characters and turns "\", ".", ":", "*", "?", "/", "+" and control
// characters into "_"; with `long_dirs` the whole tag is kept but still
// makes a single name inside the base directory: separators, ":" and
// control characters become "_", and so does every dot of a name made of
// dots alone.
std::string NewEchoDirName(const std::string& tag, bool long_dirs);

// The descriptions the list files give for `tag`; "" when they give none.
// ECHOLISTFILE: the first line (not empty, not a ";" comment) that holds the
// tag, case-sensitive, anywhere: the word after it, "_" read as blanks.
std::string EchoListDescription(std::string_view text, const std::string& tag);
// ECHODESCFILE: the first line ",TAG,description[,...]" whose tag equals
// `tag` without regard to case.
std::string EchoDescFileDescription(std::string_view text, const std::string& tag);
// An uplink's fileecho list: "TAG description" lines; the last line of the
// tag (without regard to case) with a description wins.
std::string UplinkListDescription(std::string_view text, const std::string& tag);

}  // namespace olvix

#endif  // OLVIX_TIC_AUTOCREATE_H_
