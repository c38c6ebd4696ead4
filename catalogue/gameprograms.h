// The program file of each supported game, as its installer leaves it in the game's folder:
// what tells a folder (or a Wine prefix) that holds the game.
#pragma once

#include <array>
#include <string>

namespace dravik {

struct TGameProgram {
  const char* AppName;  // the catalogue's name of the game: "Halvex"
  const char* FileName; // its program, matched without regard to letter case: "halvex.exe"
};

// Halvex, then Morvane, in catalogue order.
extern const std::array<TGameProgram, 2> GamePrograms;

// The game whose program `fileName` is (letter case ignored); null for any other name.
const TGameProgram* GameProgramOf(const std::string& fileName);

} // namespace dravik
