// Text typed on the command line or the console, turned into the OEM code
// page the system's files use (CP866 for Russian texts).
#ifndef OLVIX_UTIL_CHARSET_H_
#define OLVIX_UTIL_CHARSET_H_

#include <string>
#include <string_view>

namespace olvix {

// UTF-8 (the locale's character set on POSIX) to CP866: ASCII stays, the
// Cyrillic letters CP866 has become their CP866 bytes, every other
// character outside ASCII (and every byte that is not valid UTF-8) becomes
// one blank.
std::string Utf8ToCp866(std::string_view text);

}  // namespace olvix

#endif  // OLVIX_UTIL_CHARSET_H_
