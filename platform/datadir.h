// The program's data folder: where "docs.html" and "faq.html" lie. The program makes it its
// working folder at start, as a Windows shortcut's "Start in" folder would, so that documents
// named without a folder resolve against it.
#pragma once

#include <string>

namespace dravik {

// Host path of the data folder: $DRAVIK_DATADIR when set; else the installed data folder when
// it holds docs.html; else the source tree's resources/ folder. Empty when none of them exists.
std::string DataFolder();
// Makes DataFolder() the current folder; false (current folder unchanged) when there is none or
// it cannot be entered.
[[nodiscard]] bool EnterDataFolder();

} // namespace dravik
