// Switching between two patch sets of 500 patches each in a store of 2,000: SwitchToSet (which
// works out the moves from the list and checks and maps every path) against the floor, a bare
// loop of rename() calls doing the same 1,000 moves.
#include "bench/benchutil.h"
#include "patches/patchedapp.h"
#include "patches/setswitch.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/testgame.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;

// Moves each of `off` from the active folder to the inactive one, then each of `on` back.
static void BareSwitch(const std::string& store, const std::vector<std::string>& off,
                       const std::vector<std::string>& on) {
  for (const std::string& name : off)
    if (std::rename((store + "active/" + name).c_str(), (store + name).c_str()) != 0)
      std::perror(name.c_str());
  for (const std::string& name : on)
    if (std::rename((store + name).c_str(), (store + "active/" + name).c_str()) != 0)
      std::perror(name.c_str());
}

int main() {
  const int kPatches = 2000, kSetSize = 500;
  TTestGame game;
  const std::string store = game.GameHost() + "/HXPatch/";
  MakeHostDirs(store + "active");
  TPatchSet first{"First", {}}, second{"Second", {}};
  for (int p = 0; p < kPatches; ++p) {
    const std::string name = "patch" + std::to_string(p) + ".gob";
    WriteHostFile(store + name,
                  MakePatchBytes({"3do\\p" + std::to_string(p) + "\\m.3do"}, "Type=Skin\r\n"));
    if (p < kSetSize) first.Files.push_back(name);
    if (p >= kSetSize && p < 2 * kSetSize) second.Files.push_back(name);
  }

  THXPatchedAppList apps;
  apps.LoadCatalogue();
  THXPatchedApp* app = apps.Items(0);
  app->Rescan();
  SwitchToSet(*app, first);

  // One run: to the second set and back, 2,000 moves. The two sides take turns, so that a
  // busy machine weighs on both alike.
  double ours = 1e30, floor = 1e30;
  for (int round = 0; round < 30; ++round) {
    ours = std::min(ours, Best(1, [&] {
                      if (SwitchToSet(*app, second).Moved != 2 * kSetSize ||
                          SwitchToSet(*app, first).Moved != 2 * kSetSize)
                        std::puts("a switch moved too little");
                    }));
    floor = std::min(floor, Best(1, [&] {
                       BareSwitch(store, first.Files, second.Files);
                       BareSwitch(store, second.Files, first.Files);
                     }));
  }
  std::printf("store: %d patches, sets of %d, %d moves a run\n", app->Patches.Count(), kSetSize,
              4 * kSetSize);
  PrintResult("switching sets", ours, "floor (bare rename() loop)", floor);
  return 0;
}
