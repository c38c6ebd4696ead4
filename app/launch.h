// The game's command line: the store's active folder given with -path, the switches of the
// launch options chosen, then the user's own text; and the same -path switch as the lobby
// service's command line.
#pragma once

#include "settings.h"

#include <array>
#include <string>

namespace dravik {

// Switch words of the launch options, by flag index: "framerate", "displayconfig",
// "dispstats", "devmode", "windowgui".
extern const std::array<const char*, OptionCount> OptionSwitchWords;

// " -path HXPatch\active\", then " -<word>" for each flag set (in index order), then " " and
// `customOptions` when that is not empty.
std::string GameParameters(const TOptionFlags& flags, const std::string& customOptions);

// "-path HXPatch\active\": the DirectPlay command line while the Zone option is on.
std::string ZoneCommandLine();

// The question asked before the Zone option is switched on.
extern const char* const ZoneWarning;

} // namespace dravik
