// The program's private temporary folder. A failure records the last error (lasterror.h).
#pragma once

#include <string>

namespace dravik::winfs {

// The program's private temporary folder (mode 0700), made on first use and removed at exit
// by the process that made it, in Windows form with a trailing backslash. It lies in the
// system's temporary folder when a drive holds that, else in the prefix's
// "C:\windows\temp\". Empty on failure.
std::string GetTempPath();
// A new, empty, private folder inside GetTempPath() (trailing backslash); the caller removes
// it with RemoveTree. Empty on failure.
std::string MakeTempDir();

} // namespace dravik::winfs
