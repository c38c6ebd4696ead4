// The store the benchmarks read: 2,000 patches of 100 members each, one in four of them active;
// about one member in twenty is a common game file that several patches replace, as skins and
// weapon packs do. Its folders lie below drive C: either in the letter case Dravik asks for or
// in another, as old installers and copied stores leave them.
#pragma once

#include <string>

namespace dravik::bench {

constexpr int kStorePatches = 2000;
constexpr int kStoreMembers = 100;

// The game's folder and its two store folders, relative to drive C:.
struct TStoreFolders {
  std::string Game, Inactive, Active;
};
TStoreFolders StoreFolders(bool otherCase);

// Writes the patches into the two host folders (which need not exist yet).
void WriteStore(const std::string& inactiveHost, const std::string& activeHost);

} // namespace dravik::bench
