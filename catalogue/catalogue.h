// The catalogue of supported games that Dravik brings, with the file name of each game's
// program, in the forms it takes: written into a prefix's machine hive (by the program when the
// player locates a game, and by the demo prefix maker), and as a .reg file that `wine regedit`
// imports into a player's real prefix (resources/dravik-catalogue.reg). And the games' DirectPlay
// registrations, which the games' installers make and the program makes for a located game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

class TRegistry;

struct TCatalogueGame {
  int Number;                     // the game's sub-key: "0", "1"
  std::string AppName;            // "Halvex"
  std::string DirectPlayName;     // its DirectPlay registration
  std::string DirectPlayDemoName; // the registration of its demo version
  std::string PatchFilter;        // "*.gob"
  std::vector<uint8_t> Icon;      // the bytes of its .ico file
  std::string DemoFolder;         // where the demo prefix installs it: "C:\Games\Halvex\"
  std::string ExeName; // its program, as the installer leaves it in the game's folder: what
                       // tells a folder (or a prefix) that holds the game: "halvex.exe"
};

// Halvex, then Morvane (the game "-mrvn" selects is the second).
const std::vector<TCatalogueGame>& CatalogueGames();

// The catalogue key as a 32-bit installer's writes land in a 64-bit prefix, and as the
// 64-bit view and a 32-bit prefix name it.
extern const char* const kCatalogueKey32; // "Software\Wow6432Node\Orlemont\HXPatch\Applications"
extern const char* const kCatalogueKey;   // "Software\Orlemont\HXPatch\Applications"

// The DirectPlay applications key, below which each game's registration is a sub-key named
// by its DirectPlayName.
extern const char* const kDirectPlayKey; // "Software\Microsoft\DirectPlay\Applications"

// Writes every game's values and an empty "Repositories" key below `key` (a path from the
// machine root), through `reg` on the machine root. Existing values are replaced; other values
// and repositories are left alone. Throws the store's errors.
void WriteCatalogue(TRegistry& reg, const std::string& key);

// Writes `game`'s DirectPlay registration below `appsKey` (a path from the machine root) for
// the game's folder `folder` (a Windows path ending in "\"): "Path" and "CurrentDirectory" the
// folder, "File" its program, and an empty "CommandLine" unless it has one (the Zone option's
// state stays). Other values are left alone. Throws the store's errors.
void WriteRegistration(TRegistry& reg, const std::string& appsKey, const TCatalogueGame& game,
                       const std::string& folder);

// The games whose program stands in the folder `winFolder` (a Windows path), in catalogue order.
std::vector<const TCatalogueGame*> GamesInFolder(const std::string& winFolder);
// The game whose program `fileName` is (letter case ignored); null for any other name.
const TCatalogueGame* GameOfProgram(const std::string& fileName);
// The programs looked for, for messages: "halvex.exe (Halvex) or morvane.exe (Morvane)".
std::string KnownProgramsText();

// Makes `game`, installed in `winFolder`, known in the current prefix as its own installer and
// Dravik's would: the catalogue and the game's registration, written where a 32-bit Windows
// program sees them (the Wow6432Node keys of a 64-bit prefix). Throws the store's errors
// (EWineRunning while Wine runs for the prefix).
void SetUpGame(const TCatalogueGame& game, const std::string& winFolder);

// The catalogue as REGEDIT4 text (CR LF line ends), under both keys above so that one import
// serves the 32-bit view of a 64-bit prefix and a 32-bit prefix alike.
std::string CatalogueRegText();

} // namespace dravik
