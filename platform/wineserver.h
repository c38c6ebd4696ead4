// Whether a wineserver runs for a prefix. While one does, it keeps the prefix's registry in
// memory and rewrites the hive files from it, so a change written to them meanwhile is lost.
//
// A server lives in a folder named after the prefix folder's device and inode
// ("server-<dev>-<inode>", lower-case hex) and holds a write lock on byte 0 of the file "lock"
// there. Where that folder is depends on how Wine was built, so every known place is looked at:
// upstream Wine's /tmp/.wine-<uid>/; the private folder that Debian's Wine names in the file
// <prefix>/wineserver (under $TMPDIR or /tmp; the file may be left over from a server that
// ended); and the working folder of every running wineserver process. A folder counts only
// while its lock is held.
#pragma once

#include <string>

namespace dravik {

// True while a wineserver holds the lock of the prefix at `prefixHostPath`. Reads the file
// system and /proc only; never waits for the server.
bool WineServerRunning(const std::string& prefixHostPath);

// The folder name a server for the prefix uses ("server-fe00-a849fe"); "" when the prefix
// folder does not exist.
std::string WineServerFolderName(const std::string& prefixHostPath);

} // namespace dravik
