// Setting a game up from inside Dravik: the player points at the game's folder, Dravik knows the
// game by its program file and, once the player agrees, writes the catalogue and the game's
// DirectPlay registration into the prefix, as the game's installer and an imported catalogue
// would have. Used by the Game Not Found dialog and the Game menu.
#pragma once

#include <string>
#include <vector>

namespace dravik {

// Asks for the game's folder (a folder dialog starting in the prefix's drive_c), refuses one on
// no drive of the prefix or without a known game program (saying what was looked for), asks for
// a confirmation that names the prefix and the keys, and writes them; while Wine runs for the
// prefix, asks to quit it and retry. Returns the names (AppName) of the games set up; none when
// the player cancelled or the folder was refused. Every question goes through the dialogs
// interface; failures of the store pass to the caller.
std::vector<std::string> LocateGame();

} // namespace dravik
