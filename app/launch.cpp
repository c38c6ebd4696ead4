#include "launch.h"

#include "patches/patchedapp.h"

namespace dravik {

const std::array<const char*, OptionCount> OptionSwitchWords = {
    "framerate", "displayconfig", "dispstats", "devmode", "windowgui"};

const char* const ZoneWarning =
    "In order to use patches in multiplayer, all players (including the host) must have the "
    "exact same patches activated, or players will get a software version error when "
    "connecting to the host.\r\n\r\n"
    "Additionally, this option will remain in effect for games played on the Zone until you "
    "return to Dravik and turn it off.\r\n\r\n"
    "Do you wish to have your patches active when you enter the Zone?";

std::string ZoneCommandLine() {
  return std::string("-path ") + PatchDirs[1];
}

std::string GameParameters(const TOptionFlags& flags, const std::string& customOptions) {
  std::string params = " " + ZoneCommandLine();
  for (size_t i = 0; i < flags.size(); ++i)
    if (flags[i]) params += std::string(" -") + OptionSwitchWords[i];
  if (!customOptions.empty()) params += " " + customOptions;
  return params;
}

} // namespace dravik
