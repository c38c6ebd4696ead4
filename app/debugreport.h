// The debug information report: the selected game's folder and program as its DirectPlay
// registration gives them, whether they exist, the store's folders, the launch parameters,
// and the DirectPlay applications installed.
#pragma once

#include <string>
#include <vector>

namespace dravik {

class THXPatchedApp;

// The report's lines, built now. `app` may be null (no game): its values are then empty.
// Reads the settings store and tests files; never throws for missing data.
std::vector<std::string> DebugReportLines(THXPatchedApp* app, const std::string& gameParameters);

} // namespace dravik
