// What an installation did, file by file: the store and the installer return it instead of
// showing it, and the window that started the installation shows the failures once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dravik {

enum TInstallOutcome : uint8_t {
  ioInstalled, // in the store, or in the game's episode folder
  ioSkipped,   // left out as the user or the Parts want it (answered No, cancelled, no patch
               // at all, no such file): nothing to show
  ioFailed     // could not be installed: the window shows Reason
};

struct TInstallResult {
  TInstallOutcome Outcome = ioInstalled;
  // The file as the user knows it: the path chosen or dropped or the shell link's target (one
  // outside the prefix's own drives by its Linux path, winfs::DisplayPath), the URL, or
  // "<entry> in <archive>"; never a private temporary path.
  std::string Name;
  // Why it was skipped or failed, a sentence that names the file; empty when installed.
  std::string Reason;
};

// The results of one installation (a selection, a drop, a list of URLs), in order.
using TInstallReport = std::vector<TInstallResult>;

// One text for the failures of `report`: the reason alone for one, a short list for more (the
// first 20 and how many more); "" when nothing failed.
std::string FailureMessage(const TInstallReport& report);
// Shows FailureMessage in a plain message box, when there is one. For windows.
void ShowInstallFailures(const TInstallReport& report);

} // namespace dravik
