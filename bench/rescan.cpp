// Reading a store of 2,000 patches of 100 members each: THXPatchedApp::Rescan against the floor,
// a bare read of the same files' directories and descriptors.
#include "bench/benchutil.h"
#include "patches/patchedapp.h"
#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/testgame.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
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

int main() {
  const int kPatches = 2000, kMembers = 100;
  TTestGame game;
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> common(0, 3000), roll(0, 19);
  for (int p = 0; p < kPatches; ++p) {
    TRawMembers members{
        {"patchinfo.txt", "Name=Patch " + std::to_string(p) + "\r\nType=Skin\r\nAuthor=Bench\r\n"}};
    for (int m = 0; m < kMembers; ++m) {
      std::string name = roll(rng) == 0
                             ? "3do\\mat\\common" + std::to_string(common(rng)) + ".mat"
                             : "3do\\p" + std::to_string(p) + "\\m" + std::to_string(m) + ".3do";
      members.push_back({name, std::string(64, 'x')});
    }
    std::string dir = game.GameHost() + (p % 4 == 0 ? "/HXPatch/active/" : "/HXPatch/");
    WriteHostFile(dir + "patch" + std::to_string(p) + ".gob", MakeGOBBytes(members));
  }

  THXPatchedAppList apps;
  apps.LoadCatalogue();
  THXPatchedApp* app = apps.Items(0);
  app->Rescan(); // warm the caches for both sides
  BareRead({game.GameHost() + "/HXPatch", game.GameHost() + "/HXPatch/active"});

  size_t members = 0;
  double ours = Best(5, [&] { app->Rescan(); });
  double floor = Best(5, [&] {
    members = BareRead({game.GameHost() + "/HXPatch", game.GameHost() + "/HXPatch/active"});
  });
  std::printf("store: %d patches, %zu directory entries read by the floor\n", app->Patches.Count(),
              members);
  // With the page cache dropped before every run (needs root), both sides read from the disk.
  if (DropCaches()) {
    double oursCold = Best(3, [&] {
      DropCaches();
      app->Rescan();
    });
    double floorCold = Best(3, [&] {
      DropCaches();
      BareRead({game.GameHost() + "/HXPatch", game.GameHost() + "/HXPatch/active"});
    });
    PrintResult("rescan, cold cache", oursCold, "floor", floorCold);
  }
  PrintResult("rescan, warm cache", ours, "floor (bare directory and descriptor reads)", floor);
  return 0;
}
