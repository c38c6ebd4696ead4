// Windows paths and host paths (see winfs.h for the rules). Drive letters are the prefix's
// dosdevices/ links; a Windows path's components are found without regard to letter case (the
// exact name first, else the first case-insensitive match in name order); a component that
// does not exist keeps its spelling. A relative path is relative to the process's current
// folder. A failure records the last error (lasterror.h). Calls block on file I/O only.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik::winfs {

// Host path for a Windows path, components matched without regard to case. Empty when the
// path cannot be mapped (unknown drive letter, UNC path); the last error is then set.
std::string ToHostPath(std::string_view winPath);
// Windows path for a host path: under the most specific drive whose target holds it (Z:\...
// by default). Relative host paths are taken from the current folder. None when no drive
// holds it.
std::optional<std::string> ToWindowsPath(std::string_view hostPath);

// For the platform layer's own file code: a Windows path mapped, with what the operations
// need to know about it beyond the host path.
struct TMappedPath {
  bool Ok = false;      // false: not mappable, the last error says why
  std::string Host;     // host path
  std::string LastName; // the last component as the caller spelled it
  bool IsRoot = false;  // a drive root (or "/"): nothing below it was named
};
TMappedPath MapPath(std::string_view winPath);
// Whether a Windows path begins with a drive letter and a colon ("C:", "c:\x").
bool HasDriveLetter(std::string_view winPath);

// The roots of the prefix's drives whose links lead to folders, in letter order ("C:\",
// "Z:\").
std::vector<std::string> DriveRoots();

// A path as messages name it to the user: on a drive that stands for the whole Linux file
// system (Z: by default), where files outside the prefix's own folders are, its Linux path
// ("Z:\home\me\x.gob" is "/home/me/x.gob"); any other path (a prefix drive, a host path, a
// URL) as it is. Leaves the last error alone.
std::string DisplayPath(std::string_view path);

} // namespace dravik::winfs
