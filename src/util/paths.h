// Path routines. Both "\" and "/" separate components in every path given
// to the program; the system itself appends the platform's separator.
#ifndef OLVIX_UTIL_PATHS_H_
#define OLVIX_UTIL_PATHS_H_

#include <string>

namespace olvix {

// Everything up to and including the last separator; "" when there is none.
std::string DirPart(const std::string& path);
// Everything after the last separator.
std::string FilePart(const std::string& path);
bool EndsWithSep(const std::string& path);
// Appends the platform separator unless the path already ends with one.
std::string WithTrailingSep(const std::string& path);
// Joins a directory and a name with exactly one separator between them.
std::string JoinPath(const std::string& dir, const std::string& name);
// What two spellings of one directory have in common (separators, case,
// trailing separators): the key under which a run keeps what it knows of
// a directory. Nothing is looked up on disk.
std::string DirectoryKey(const std::string& dir);
// `dir` in the system's own spelling without a trailing separator, as it is
// written into lists and command lines.
std::string NativeDir(const std::string& dir);
// Creates every directory named by a prefix of `path` that ends before a
// separator. A path without a final separator creates only its parents.
void CreatePath(const std::string& path);
// True when `name` is a bare file name: not empty, not "." or "..", no
// separator, no drive colon, no NUL. Names from other systems must pass
// this before they are used in a path.
bool IsBareFileName(const std::string& name);

}  // namespace olvix

#endif  // OLVIX_UTIL_PATHS_H_
