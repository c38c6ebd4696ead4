// The program's version, as the build names it (the project version of the build files).
#pragma once

#include <string>

namespace dravik {

// "1.0.0": the version string shown by the about box.
std::string VersionString();

} // namespace dravik
