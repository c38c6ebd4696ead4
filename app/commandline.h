// The program's command line: its switches, and the files and links to install. Each argument
// that is a switch (compared whole, letter case ignored) sets its flag; every other argument
// is a link (http, https, ftp and file URLs), an existing file, or is unknown.
#pragma once

#include "patches/installresult.h"

#include <optional>
#include <string>
#include <vector>

namespace dravik {

class TInstaller;

struct TCommandLine {
  bool QuickStart = false; // "-quickstart"
  bool Morvane = false;    // "-mrvn"
  // "-set NAME": the patch set to switch to before anything else ("" when no name followed).
  std::optional<std::string> Set;
  // What to install, in order: files as absolute Linux paths (a file URL naming a local file
  // becomes its path), other links as given.
  std::vector<std::string> Items;
  // The arguments that are none of the above, as given.
  std::vector<std::string> Unknown;
  // The arguments again with each file named by its absolute path: what a parse in another
  // working folder reads alike.
  std::vector<std::string> Resolved;
};

// Parses the arguments (without the program's own name); relative paths are taken from the
// current folder. Never fails.
TCommandLine ParseCommandLine(const std::vector<std::string>& args);

// Installs the items of a command line through `installer`, in order: files (absolute Linux
// paths, reached through the prefix's drives as dropped files are) and links. A file that no
// drive of the prefix leads to fails.
TInstallReport InstallItems(TInstaller& installer, const std::vector<std::string>& items);

// The message for arguments that are neither a switch, a file nor a link; "" for none.
std::string UnknownArgumentsMessage(const std::vector<std::string>& unknown);

} // namespace dravik
