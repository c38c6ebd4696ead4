// Finding the Wine prefixes that hold a game: the places where Wine itself and the usual Wine
// front-ends keep their prefixes (~/.wine, Lutris's game folders and the prefixes its game
// configurations name, Bottles' bottles, Steam's compatibility prefixes, PlayOnLinux's and
// Heroic's prefixes), and a bounded look through each prefix's drive C for a game's program.
// Host paths throughout. Calls block on file I/O; nothing is written.
#pragma once

#include <string>
#include <vector>

namespace dravik {

// The places to look, as absolute host paths in which a "*" component stands for every
// folder there ("/home/me/Games/*"): fixed places below $HOME (and $XDG_DATA_HOME,
// $XDG_CONFIG_HOME where the front-ends follow them), then the prefixes named by Lutris's
// game configurations.
std::vector<std::string> UsualPrefixPlaces();

// A place as a person reads it: $HOME shown as "~".
std::string ShortHostPath(const std::string& hostPath);

// Whether `hostPath` is laid out as a Wine prefix: a "drive_c" folder and a "system.reg" file.
bool IsWinePrefixFolder(const std::string& hostPath);

// Which of `fileNames` (letter case ignored) lie in the prefix's drive C, in the order of
// `fileNames`. Looks at most 5 folders below drive_c, never into its "windows" folder nor
// through symbolic links, and gives up after 20000 entries.
std::vector<std::string> FindProgramsInPrefix(const std::string& prefix,
                                              const std::vector<std::string>& fileNames);

struct TFoundPrefix {
  std::string Path;                  // the prefix folder as the place named it
  std::vector<std::string> Programs; // the file names found, as FindProgramsInPrefix gives them
};

// Every Wine prefix in `places` whose drive C holds one of `fileNames`, in the order of the
// places (folders of a "*" by name), each prefix once however many places reach it.
std::vector<TFoundPrefix> FindGamePrefixes(const std::vector<std::string>& places,
                                           const std::vector<std::string>& fileNames);

} // namespace dravik
