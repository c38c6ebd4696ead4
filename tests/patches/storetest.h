// The store of a test game (the first of TTestGame's catalogue), with scripted dialogs: shared by
// the store and installer tests.
#pragma once

#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/winfs.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/testgame.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dravik::test {

// The Windows path of a host path.
inline std::string W(const std::string& host) {
  return winfs::ToWindowsPath(host).value_or("");
}

class Store : public ::testing::Test {
protected:
  TTestGame game;
  TScriptedDialogs dialogs;
  THXPatchedAppList apps;
  THXPatchedApp* app = nullptr;

  void SetUp() override {
    apps.LoadCatalogue();
    ASSERT_EQ(apps.Count(), 2);
    app = apps.Items(0);
  }
  // Installs files as the Add Patch command does, without downloads.
  TInstallReport Install(const std::vector<std::string>& winPaths) {
    return TInstaller(*app, nullptr).InstallFiles(winPaths);
  }
  std::vector<std::string> Listed() {
    std::vector<std::string> r;
    for (int i = 0; i < app->Patches.Count(); ++i)
      r.push_back(app->Patches[i]->FileName() + (app->Patches[i]->Active ? "*" : ""));
    return r;
  }
  int Position(const std::string& fileName) {
    for (int i = 0; i < app->Patches.Count(); ++i)
      if (app->Patches[i]->FileName() == fileName) return i;
    return -1;
  }
  // The list and the two folders agree.
  void ExpectStoreMatchesDisk() {
    std::vector<std::string> onDisk;
    for (auto& n : TTestGame::FolderFiles(game.InactiveHost()))
      onDisk.push_back(n);
    for (auto& n : TTestGame::FolderFiles(game.ActiveHost()))
      onDisk.push_back(n + "*");
    std::vector<std::string> listed = Listed();
    std::sort(onDisk.begin(), onDisk.end());
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, onDisk);
  }
};

} // namespace dravik::test
