// The demo prefix: a folder laid out like a Wine prefix in which both games are "installed",
// so that Dravik can be tried and tested without Wine or the game.
//
// It holds the catalogue of the two games and a DirectPlay registration for each in system.reg
// (a 64-bit hive, with the keys where a 32-bit installer's writes land), the stand-in game
// program as C:\Games\Halvex\halvex.exe and C:\Games\Morvane\morvane.exe, each game's
// "HXPatch\", "HXPatch\active\" and "episode\" folders with sample patches (some conflicting,
// some active), in C:\users\Public\Downloads\ an episode, a ZIP archive of patches and one
// more patch, ready to be added, and in C:\Repository\ a patch repository for each game (a page
// listing patches that lie beside it, and a second page of its sabers) that the games'
// repository lists name, so that the repository window works offline.
#pragma once

#include <string>
#include <vector>

namespace dravik {

// The folder the sample downloads lie in.
extern const char* const kDemoDownloads; // "C:\users\Public\Downloads\"
// The folder of the demo repositories; each game's is the game's name in lower case below it.
extern const char* const kDemoRepository; // "C:\Repository\"
// The file at the prefix's root that marks a folder as a demo prefix.
extern const char* const kDemoMarker; // "dravik-demo.txt"

struct TDemoPrefixResult {
  bool Refreshed = false;         // the folder was a demo prefix already
  std::vector<std::string> Lines; // what was done, for the user
};

// Makes a demo prefix in the host folder `hostFolder` (created when missing), with copies of
// the program at `standInHostPath` as the games' programs. Run again on a demo prefix, it
// refreshes it: the catalogue, the registrations, the games' programs and the repository pages
// are written anew and missing folders, samples and repository entries are put back, while
// patches the user moved, added or deleted stay as they are. A folder that holds anything else is
// refused with an Exception, as is any failure to write. Sets the program's prefix to the folder
// (SetWinePrefix) and leaves it set.
TDemoPrefixResult MakeDemoPrefix(const std::string& hostFolder, const std::string& standInHostPath);

} // namespace dravik
