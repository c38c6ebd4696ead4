#include "debugreport.h"

#include "patches/patchedapp.h"
#include "platform/registry.h"
#include "platform/stringlist.h"
#include "platform/winfs.h"

namespace dravik {

std::vector<std::string> DebugReportLines(THXPatchedApp* app, const std::string& gameParameters) {
  const std::string path = app ? app->GetDirectPlayValue(0) : std::string();
  const std::string file = app ? app->GetDirectPlayValue(1) : std::string();
  std::vector<std::string> lines;
  lines.push_back("Path: " + path);
  // An empty path names the current folder, which always exists.
  const bool pathExists = path.empty() || winfs::DirectoryExists(path);
  lines.push_back(pathExists ? "Path exists." : "Path doesn't exist!");
  lines.push_back("Patch path: " + path + PatchDirs[0]);
  lines.push_back("Active path: " + path + PatchDirs[1]);
  lines.push_back("Command Line: " + gameParameters);
  const bool fileExists = !(path + file).empty() && winfs::FileExists(path + file);
  lines.push_back(file + (fileExists ? " exists." : " doesn't exist!"));

  TRegistry reg(HKEY_LOCAL_MACHINE);
  if (reg.OpenKeyReadOnly("\\SOFTWARE\\Microsoft\\DirectPlay\\Applications")) {
    lines.push_back("");
    lines.push_back("Installed DirectPlay Applications:");
    TStringList names;
    reg.GetKeyNames(names);
    for (const std::string& name : names.Lines())
      lines.push_back(name);
  }
  return lines;
}

} // namespace dravik
