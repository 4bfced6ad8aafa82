#include "run/version.h"

namespace olvix {

const char* BuildDate() { return __DATE__; }
const char* BuildTime() { return __TIME__; }

}  // namespace olvix
