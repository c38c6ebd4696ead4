// The catalogue of supported games that Dravik's installation brings, in the two forms it takes:
// written into a prefix's machine hive (the demo prefix), and as a .reg file that `wine regedit`
// imports into a player's real prefix (resources/dravik-catalogue.reg).
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
  // Where the demo prefix installs it, and its program's file name.
  std::string DemoFolder; // "C:\Games\Halvex\"
  std::string ExeName;    // "halvex.exe"
};

// Halvex, then Morvane (the game "-mrvn" selects is the second).
const std::vector<TCatalogueGame>& CatalogueGames();

// The catalogue key as a 32-bit installer's writes land in a 64-bit prefix, and as the
// 64-bit view and a 32-bit prefix name it.
extern const char* const kCatalogueKey32; // "Software\Wow6432Node\Orlemont\HXPatch\Applications"
extern const char* const kCatalogueKey;   // "Software\Orlemont\HXPatch\Applications"

// Writes every game's values and an empty "Repositories" key below `key` (a path from the
// machine root), through `reg` on the machine root. Existing values are replaced; other values
// and repositories are left alone. Throws the store's errors.
void WriteCatalogue(TRegistry& reg, const std::string& key);

// The catalogue as REGEDIT4 text (CR LF line ends), under both keys above so that one import
// serves the 32-bit view of a 64-bit prefix and a 32-bit prefix alike.
std::string CatalogueRegText();

} // namespace dravik
