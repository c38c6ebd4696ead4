#include "version.h"

namespace dravik {

std::string VersionString() {
#ifdef DRAVIK_VERSION
  return DRAVIK_VERSION;
#else
  return "0.0.0";
#endif
}

} // namespace dravik
