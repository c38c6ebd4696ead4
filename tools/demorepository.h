// The demo prefix's patch repositories: for each game a page listing patches that lie beside it
// (the ZIP archive of sabers too, for Halvex) and a second page of its sabers one folder down,
// in C:\Repository\ with the game's name in lower case, listed among the game's repositories.
// Every write throws Exception (or the platform's errors) when it fails.
#pragma once

#include <string>

namespace dravik {
struct TCatalogueGame;
}

namespace dravik::demo {

// Writes a game's repository: its patches (when missing), the ZIP archive beside them (Halvex),
// and its two pages (always). Returns the number of patch files written.
int WriteRepository(const TCatalogueGame& game);

// Lists each game's two demo repository pages among its repositories, unless the player has
// an entry of that name.
void RegisterRepositories();

} // namespace dravik::demo
