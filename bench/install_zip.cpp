// Installing a ZIP of 50 patches (about 100 MB) into an empty store, against `unzip -j` of the
// same archive into a folder.
#include "bench/benchutil.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/winfs.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/testgame.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;
namespace fs = std::filesystem;

int main() {
  TTestGame game;
  std::string work = game.Prefix.Path() + "/work";
  fs::create_directories(work + "/pack");
  // Member data like game files: mostly noise with some repetition, so the archive holds about
  // 100 MB.
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int p = 0; p < 50; ++p) {
    TRawMembers members{{"patchinfo.txt", "Name=P" + std::to_string(p)}};
    for (int m = 0; m < 10; ++m) {
      std::string data(256 * 1024, '\0');
      for (size_t i = 0; i < data.size(); ++i)
        data[i] = (i / 64) % 4 ? static_cast<char>(byte(rng)) : static_cast<char>('a' + (i % 23));
      members.push_back({"3do\\p" + std::to_string(p) + "\\m" + std::to_string(m) + ".3do", data});
    }
    WriteHostFile(work + "/pack/patch" + std::to_string(p) + ".gob", MakeGOBBytes(members));
  }
  if (std::system(("cd '" + work + "' && zip -qr pack.zip pack").c_str()) != 0) return 1;
  std::printf("archive: %.1f MB\n", fs::file_size(work + "/pack.zip") / 1e6);

  THXPatchedAppList apps;
  apps.LoadCatalogue();
  THXPatchedApp* app = apps.Items(0);
  app->OpenStore();
  std::string zipWin = *winfs::ToWindowsPath(work + "/pack.zip");
  std::string store = game.GameHost() + "/HXPatch";
  auto emptyStore = [&] {
    for (auto& e : fs::directory_iterator(store))
      if (e.is_regular_file()) fs::remove(e.path());
    app->Rescan();
  };
  double ours = 1e30, theirs = 1e30;
  for (int run = 0; run < 3; ++run) {
    emptyStore();
    ours = std::min(ours, Best(1, [&] { TInstaller(*app, nullptr).InstallFiles({zipWin}); }));
    fs::remove_all(work + "/out");
    theirs = std::min(
        theirs, Best(1, [&] {
          if (std::system(
                  ("unzip -q -j -o '" + work + "/pack.zip' -d '" + work + "/out'").c_str()) != 0)
            std::exit(1);
        }));
  }
  std::printf("installed: %d patches\n", app->Patches.Count());
  PrintResult("install-zip", ours, "unzip -j", theirs);
  return 0;
}
