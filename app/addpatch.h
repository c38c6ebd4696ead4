// The Add Patch dialog's filter and the folder it opens in.
#pragma once

#include <string>

namespace dravik {

// The filter the game's patches are added with: "All patches (<patch filter>;*.zip;*.url;
// *.lnk)" first (everything the installation takes), then `gameFilter` ("Halvex Patches
// (*.gob)|*.gob|ZIP Files (*.zip)|*.zip").
std::string AddPatchFilter(const std::string& patchFilter, const std::string& gameFilter);

// The folder the dialog opens in: `lastFolder` (where patches were last added from) while it
// exists, else the prefix's shared downloads folder "C:\users\Public\Downloads\" while it
// exists, else "C:\". Windows paths.
std::string AddPatchFolder(const std::string& lastFolder);

} // namespace dravik
