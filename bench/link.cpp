// Linking a store of 2,000 patches of 100 members each: TPatchList::Add (indexed by file name)
// against the peer, a pass comparing the new patch with every patch of the list.
#include "bench/benchutil.h"
#include "patches/patchlist.h"
#include "platform/sysutils.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace dravik;

namespace {

std::vector<std::unique_ptr<TPatch>> MakeStore(int patches, int members) {
  // Most members are a patch's own; about one in twenty is a common game file that several
  // patches replace, as skins and weapon packs do.
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> common(0, 3000), roll(0, 19);
  std::vector<std::unique_ptr<TPatch>> store;
  for (int p = 0; p < patches; ++p) {
    auto patch = std::make_unique<TPatch>();
    patch->Name = "Patch " + std::to_string(p);
    for (int m = 0; m < members; ++m) {
      if (roll(rng) == 0)
        patch->Files.Add("3do\\mat\\common" + std::to_string(common(rng)) + ".mat");
      else
        patch->Files.Add("3do\\p" + std::to_string(p) + "\\member" + std::to_string(m) + ".3do");
    }
    patch->Files.Add("misc\\models.dat");
    store.push_back(std::move(patch));
  }
  return store;
}

} // namespace

int main() {
  const int kPatches = 2000, kMembers = 100;
  size_t linksOurs = 0, linksPeer = 0;

  auto ours = MakeStore(kPatches, kMembers);
  auto t0 = std::chrono::steady_clock::now();
  {
    TPatchList list;
    for (auto& p : ours)
      list.Add(std::move(p));
    for (int i = 0; i < list.Count(); ++i)
      linksOurs += list[i]->Conflicts.size();
  }
  double oursSec = bench::Since(t0);

  auto peer = MakeStore(kPatches, kMembers);
  auto byName = [](TPatch* a, TPatch* b) { return CompareText(a->Name, b->Name) < 0; };
  t0 = std::chrono::steady_clock::now();
  for (size_t i = 0; i < peer.size(); ++i) {
    for (size_t j = 0; j < i; ++j)
      if (peer[i]->ConflictsWith(peer[j].get()))
        std::sort(peer[j]->Conflicts.begin(), peer[j]->Conflicts.end(), byName);
    std::sort(peer[i]->Conflicts.begin(), peer[i]->Conflicts.end(), byName);
  }
  for (auto& p : peer)
    linksPeer += p->Conflicts.size();
  double peerSec = bench::Since(t0);
  peer.clear();

  if (linksOurs != linksPeer) {
    std::printf("link counts differ: ours %zu, peer %zu\n", linksOurs, linksPeer);
    return 1;
  }
  std::printf("store: %d patches x %d members, %zu links\n", kPatches, kMembers, linksOurs / 2);
  std::printf("link: ours %.3f s, peer (pairwise scan) %.3f s, ratio %.4f\n", oursSec, peerSec,
              oursSec / peerSec);
  return 0;
}
