// Where the Wine prefix is: $WINEPREFIX when set, else ~/.wine. Tests and the demo set it.
#pragma once

#include <string>

namespace dravik {

// Host path of the prefix folder, without a trailing slash.
std::string WinePrefix();
// The environment's choice, whatever SetWinePrefix said: $WINEPREFIX when set, else ~/.wine.
std::string EnvironmentWinePrefix();
// Overrides the prefix for the rest of the run (tests, tools). An empty path returns to the
// environment's choice.
void SetWinePrefix(const std::string& hostPath);

} // namespace dravik
