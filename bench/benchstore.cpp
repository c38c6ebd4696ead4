#include "bench/benchstore.h"

#include "tests/fixtures/gobmaker.h"
#include "tests/fixtures/tempprefix.h"

#include <random>

namespace dravik::bench {

TStoreFolders StoreFolders(bool otherCase) {
  if (otherCase) return {"games/HALVEX", "games/HALVEX/hxpatch", "games/HALVEX/hxpatch/ACTIVE"};
  return {"Games/Halvex", "Games/Halvex/HXPatch", "Games/Halvex/HXPatch/active"};
}

void WriteStore(const std::string& inactiveHost, const std::string& activeHost) {
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> common(0, 3000), roll(0, 19);
  for (int p = 0; p < kStorePatches; ++p) {
    test::TRawMembers members{
        {"patchinfo.txt", "Name=Patch " + std::to_string(p) + "\r\nType=Skin\r\nAuthor=Bench\r\n"}};
    for (int m = 0; m < kStoreMembers; ++m) {
      std::string name = roll(rng) == 0
                             ? "3do\\mat\\common" + std::to_string(common(rng)) + ".mat"
                             : "3do\\p" + std::to_string(p) + "\\m" + std::to_string(m) + ".3do";
      members.push_back({name, std::string(64, 'x')});
    }
    const std::string& dir = p % 4 == 0 ? activeHost : inactiveHost;
    test::WriteHostFile(dir + "/patch" + std::to_string(p) + ".gob", test::MakeGOBBytes(members));
  }
}

} // namespace dravik::bench
