#ifndef OLVIX_RUN_VERSION_H_
#define OLVIX_RUN_VERSION_H_

namespace olvix {

inline constexpr const char* kVersion = "1.01.08g";
const char* BuildDate();  // "Jan 31 2002"
const char* BuildTime();  // "09:37:34"

}  // namespace olvix

#endif  // OLVIX_RUN_VERSION_H_
