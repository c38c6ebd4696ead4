// Reading a store of 2,000 patches of 100 members each (benchstore.h), its folders in the letter
// case Dravik asks for and in another: THXPatchedApp::Rescan of the unchanged store, and the first
// read of it (no patch known from before), against the floor, a bare read of the same files'
// directories and descriptors.
#include "bench/benchstore.h"
#include "bench/benchutil.h"
#include "patches/patchedapp.h"
#include "tests/fixtures/testgame.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace dravik;
using namespace dravik::bench;
using namespace dravik::test;
namespace fs = std::filesystem;

// The floor: list the folders, then for each file read the header and directory in one read and
// the descriptor's bytes; nothing else.
static size_t BareRead(const std::vector<std::string>& folders) {
  size_t members = 0;
  std::vector<char> buf;
  for (const auto& folder : folders)
    for (auto& e : fs::directory_iterator(folder)) {
      int fd = ::open(e.path().c_str(), O_RDONLY);
      if (fd < 0) continue;
      char head[16];
      if (::pread(fd, head, 16, 0) == 16) {
        int32_t count;
        std::memcpy(&count, head + 12, 4);
        buf.resize(static_cast<size_t>(count) * 136);
        if (::pread(fd, buf.data(), buf.size(), 16) == static_cast<ssize_t>(buf.size())) {
          members += static_cast<size_t>(count);
          int32_t off, len;
          std::memcpy(&off, buf.data(), 4);
          std::memcpy(&len, buf.data() + 4, 4);
          std::vector<char> desc(static_cast<size_t>(len));
          if (::pread(fd, desc.data(), desc.size(), off) < 0) members = 0;
        }
      }
      ::close(fd);
    }
  return members;
}

// Empties the kernel's page cache; false when not allowed.
static bool DropCaches() {
  ::sync();
  int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::write(fd, "3", 1) == 1;
  ::close(fd);
  return ok;
}

// One store, its folders in Dravik's letter case or in another.
static void Measure(bool otherCase) {
  TTestGame game;
  if (otherCase) {
    fs::rename(game.Prefix.HostC("Games"), game.Prefix.HostC("games"));
    fs::rename(game.Prefix.HostC("games/Halvex"), game.Prefix.HostC("games/HALVEX"));
  }
  const TStoreFolders where = StoreFolders(otherCase);
  const std::vector<std::string> folders{game.Prefix.HostC(where.Inactive),
                                         game.Prefix.HostC(where.Active)};
  WriteStore(folders[0], folders[1]);

  THXPatchedAppList apps;
  apps.LoadCatalogue();
  THXPatchedApp* app = apps.Items(0);
  // Warms the caches for both sides; the second rescan finds the files settled, so the rescans
  // measured find an unchanged store.
  app->Rescan();
  app->Rescan();
  BareRead(folders);

  // A first read: the store read whole, no patch known from before (as at start-up).
  auto firstRead = [&](bool dropCaches) {
    double best = 1e30;
    for (int run = 0; run < (dropCaches ? 3 : 5); ++run) {
      app->Patches.Clear();
      if (dropCaches) DropCaches();
      best = std::min(best, Best(1, [&] { app->Rescan(); }));
    }
    return best;
  };
  size_t members = 0;
  double ours = Best(5, [&] { app->Rescan(); });
  double oursFirst = firstRead(false);
  double floor = Best(5, [&] { members = BareRead(folders); });
  const std::string which = otherCase ? "folders in another case" : "folders in Dravik's case";
  std::printf("store (%s): %d patches, %zu directory entries read by the floor\n", which.c_str(),
              app->Patches.Count(), members);
  // With the page cache dropped before every run (needs root), both sides read from the disk.
  if (DropCaches()) {
    double oursCold = Best(3, [&] {
      DropCaches();
      app->Rescan();
    });
    double oursFirstCold = firstRead(true);
    double floorCold = Best(3, [&] {
      DropCaches();
      BareRead(folders);
    });
    PrintResult(("first read, cold cache, " + which).c_str(), oursFirstCold, "floor", floorCold);
    PrintResult(("rescan, cold cache, " + which).c_str(), oursCold, "floor", floorCold);
  }
  PrintResult(("first read, warm cache, " + which).c_str(), oursFirst, "floor", floor);
  PrintResult(("rescan, warm cache, " + which).c_str(), ours,
              "floor (bare directory and descriptor reads)", floor);
}

int main() {
  Measure(false);
  Measure(true);
  return 0;
}
