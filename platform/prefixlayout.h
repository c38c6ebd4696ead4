// Lays out a new Wine-style prefix on the host, for the tools that make sample prefixes: the
// prefix folder, its drive C: folder and its drive-letter links. Everything else in a prefix is
// reached through winfs once SetWinePrefix() names it.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dravik {

// The names in a host folder, ascending by byte value; none when it does not exist or is not a
// folder (a symbolic link to a folder counts as one). Blocks on file I/O only.
std::optional<std::vector<std::string>> HostFolderEntries(const std::string& hostPath);

// `path` made absolute against the current folder (an absolute path is returned as it is).
std::string AbsoluteHostPath(const std::string& path);
// Whether the host path names a file that is no folder, device or pipe (links followed).
bool IsHostFile(const std::string& hostPath);

// Makes the host folder `hostPath` (with any missing parents), its "drive_c" folder, and
// "dosdevices" with the links "c:" -> "../drive_c" and "z:" -> "/", as wineboot makes them.
// Whatever already stands there is kept. Throws Exception naming the path and the system's
// reason when something cannot be made.
void CreatePrefixLayout(const std::string& hostPath);

} // namespace dravik
