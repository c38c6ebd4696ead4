// What the repository window and its list editor ask of the main window: the game being
// managed, the download progress dialog they share, and installing downloads into that game.
// The main window implements it; tests give their own. User-interface thread only.
#pragma once

#include "patches/installer.h"

namespace dravik {

class THXPatchedApp;
class TStatusDialog;

class TRepositoryHost : public TURLInstaller {
public:
  // The game being managed (owned by the host); null when there is none.
  virtual THXPatchedApp* CurrentApp() const = 0;
  // The download progress dialog (owned by the host, alive as long as it is); null without one.
  virtual TStatusDialog* StatusDialog() const = 0;
};

} // namespace dravik
