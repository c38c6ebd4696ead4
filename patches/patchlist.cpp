#include "patchlist.h"

#include "platform/sysutils.h"

#include <algorithm>
#include <span>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace dravik {

static bool NameLess(const TPatch* a, const TPatch* b) {
  return CompareText(a->Name, b->Name) < 0;
}

// Inserts `p` into a conflict list kept in ascending name order, after equal names.
static void InsertByName(std::vector<TPatch*>& list, TPatch* p) {
  list.insert(std::upper_bound(list.begin(), list.end(), p, NameLess), p);
}

TPatchList::~TPatchList() {
  Clear();
}

TPatch* TPatchList::operator[](int index) const {
  if (index < 0 || index >= Count())
    throw EStringListError(Format("List index out of bounds (%d)", index));
  return FItems[static_cast<size_t>(index)].get();
}

int TPatchList::IndexOf(const TPatch* patch) const noexcept {
  if (patch && patch->FListIndex >= 0 && patch->FListIndex < Count() &&
      FItems[static_cast<size_t>(patch->FListIndex)].get() == patch)
    return patch->FListIndex;
  return -1;
}

void TPatchList::Renumber(size_t from) {
  for (size_t i = from; i < FItems.size(); ++i)
    FItems[i]->FListIndex = static_cast<int>(i);
}

std::vector<uint64_t> TPatchList::FileHashes(const TPatch& patch) {
  std::vector<uint64_t> hashes;
  hashes.reserve(patch.Files.Lines().size());
  for (const std::string& name : patch.Files.Lines())
    hashes.push_back(IsNeutralFile(name) ? 0 : TFileIndex::Hash(name));
  return hashes;
}

int TPatchList::Add(std::unique_ptr<TPatch> owned) {
  const std::vector<uint64_t> hashes = FileHashes(*owned);
  return Add(std::move(owned), hashes);
}

int TPatchList::Add(std::unique_ptr<TPatch> owned, const std::vector<uint64_t>& hashes) {
  TPatch* patch = owned.get();
  patch->FListIndex = Count();
  FItems.push_back(std::move(owned));
  patch->SortValue = patch->Info.Values(FSortKey);

  // Gather, through the name index, every patch sharing a game file; each once.
  if (++FMark == 0) FMark = 1; // wrapped: marks of 0 mean "never visited"
  patch->FVisitMark = FMark;
  for (TPatch* linked : patch->Conflicts)
    linked->FVisitMark = FMark; // already linked
  std::vector<TPatch*> found;
  const std::vector<std::string>& names = patch->Files.Lines();
  const size_t count = hashes.size();
  constexpr size_t kAhead = 8; // slots fetched ahead of their look-up
  for (size_t i = 0; i < count && i < kAhead; ++i)
    FIndex.Prefetch(hashes[i]);
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) FIndex.Prefetch(hashes[i + kAhead]);
    if (hashes[i] == 0) continue; // never makes a conflict
    for (TPatch* other : FIndex.Insert(hashes[i], patch, names[i]))
      if (other->FVisitMark != FMark) {
        other->FVisitMark = FMark;
        found.push_back(other);
      }
  }
  // Link in list order, as a pass over the list would, then order the new patch's links.
  std::sort(found.begin(), found.end(),
            [](const TPatch* a, const TPatch* b) { return a->FListIndex < b->FListIndex; });
  for (TPatch* other : found) {
    patch->Conflicts.push_back(other);
    InsertByName(other->Conflicts, patch);
  }
  std::stable_sort(patch->Conflicts.begin(), patch->Conflicts.end(), NameLess);
  return patch->FListIndex;
}

void TPatchList::Unindex(TPatch* patch) {
  const std::vector<uint64_t> hashes = FileHashes(*patch);
  for (size_t i = 0; i < hashes.size(); ++i)
    if (hashes[i]) FIndex.Remove(hashes[i], patch, patch->Files.Lines()[i]);
}

void TPatchList::Delete(int index) {
  TPatch* patch = (*this)[index];
  Unindex(patch);
  FItems.erase(FItems.begin() + index); // frees the patch, which unlinks itself
  Renumber(static_cast<size_t>(index));
}

void TPatchList::Clear() {
  // Links between patches of the list go with both ends: only links to patches outside it
  // are left for the patches to undo.
  for (auto& p : FItems) {
    std::vector<TPatch*>& links = p->Conflicts;
    links.erase(std::remove_if(links.begin(), links.end(),
                               [this](const TPatch* other) { return IndexOf(other) >= 0; }),
                links.end());
  }
  for (auto& p : FItems)
    p.reset(); // first to last
  FItems.clear();
  FIndex.Clear();
}

void TPatchList::Retain(const std::vector<bool>& keep) {
  if (keep.size() != FItems.size()) throw std::invalid_argument("TPatchList::Retain");
  if (std::find(keep.begin(), keep.end(), true) == keep.end()) {
    Clear();
    return;
  }
  if (++FMark == 0) FMark = 1;
  const unsigned going = FMark;
  for (size_t i = 0; i < FItems.size(); ++i)
    if (!keep[i]) {
      Unindex(FItems[i].get());
      FItems[i]->FVisitMark = going;
    }
  // Every link to a patch that goes is dropped here, at both ends, so the patches need not
  // unlink themselves one by one.
  for (size_t i = 0; i < FItems.size(); ++i) {
    std::vector<TPatch*>& links = FItems[i]->Conflicts;
    if (!keep[i])
      links.clear();
    else
      links.erase(std::remove_if(links.begin(), links.end(),
                                 [going](const TPatch* p) { return p->FVisitMark == going; }),
                  links.end());
  }
  size_t kept = 0;
  for (size_t i = 0; i < FItems.size(); ++i)
    if (keep[i]) FItems[kept++] = std::move(FItems[i]);
  FItems.resize(kept); // frees the others, first to last
  Renumber(0);
}

void TPatchList::Arrange(const std::vector<TPatch*>& order) {
  if (order.size() != FItems.size()) throw std::invalid_argument("TPatchList::Arrange");
  bool same = true;
  for (size_t i = 0; same && i < order.size(); ++i)
    same = FItems[i].get() == order[i];
  if (same) return;
  if (++FMark == 0) FMark = 1;
  for (TPatch* p : order) {
    if (IndexOf(p) < 0 || p->FVisitMark == FMark)
      throw std::invalid_argument("TPatchList::Arrange");
    p->FVisitMark = FMark;
  }
  std::vector<std::unique_ptr<TPatch>> items(FItems.size());
  for (size_t i = 0; i < order.size(); ++i)
    items[i] = std::move(FItems[size_t(order[i]->FListIndex)]);
  FItems.swap(items);
  Renumber(0);
  // Each conflict list is in name order already; only runs of equal names take the new order.
  auto byPosition = [](const TPatch* a, const TPatch* b) { return a->FListIndex < b->FListIndex; };
  for (auto& p : FItems) {
    std::vector<TPatch*>& links = p->Conflicts;
    for (size_t i = 0; i + 1 < links.size();) {
      size_t end = i + 1;
      while (end < links.size() && links[end]->Name.size() == links[i]->Name.size() &&
             CompareText(links[end]->Name, links[i]->Name) == 0)
        ++end;
      if (end - i > 1) std::sort(links.begin() + long(i), links.begin() + long(end), byPosition);
      i = end;
    }
  }
}

void TPatchList::Reserve(int patches, size_t fileNames) {
  FItems.reserve(FItems.size() + static_cast<size_t>(std::max(patches, 0)));
  FIndex.Reserve(fileNames);
}

TStateCounts TPatchList::CountStates() const {
  TStateCounts counts;
  counts.Patches = Count();
  for (const auto& p : FItems) {
    const TPatchState state = p->State();
    counts.Active += state == psActive;
    counts.Blocked += state == psConflicting;
  }
  return counts;
}

std::vector<TConflict> TPatchList::ConflictsOf(const TPatch& patch) const {
  std::vector<TConflict> result;
  std::unordered_map<const TPatch*, size_t> place;
  for (TPatch* other : patch.Conflicts) {
    place.emplace(other, result.size());
    result.push_back({other, {}});
  }
  // Each game file of the patch, looked up once (a name it carries twice counts once): its
  // other carriers share it.
  std::unordered_set<const void*> seen;
  for (const std::string& name : patch.Files.Lines()) {
    if (IsNeutralFile(name)) continue;
    const std::span<TPatch* const> carriers = FIndex.Carriers(TFileIndex::Hash(name), name);
    if (carriers.empty() || !seen.insert(carriers.data()).second) continue;
    for (const TPatch* other : carriers)
      if (auto at = place.find(other); at != place.end()) result[at->second].Files.push_back(name);
  }
  return result;
}

void TPatchList::SetSortKey(const std::string& key) {
  if (key == FSortKey) return;
  FSortKey = key;
  for (auto& p : FItems)
    p->SortValue = p->Info.Values(FSortKey);
}

void TPatchList::Sort() {
  const bool desc = Descending;
  auto cmp = [&](const std::unique_ptr<TPatch>& a, const std::unique_ptr<TPatch>& b) {
    int r = 0;
    switch (SortKind) {
    case pskName:
      r = CompareText(a->Name, b->Name);
      break;
    case pskState:
      r = int(a->State()) - int(b->State());
      break;
    case pskKey:
      r = CompareText(a->SortValue, b->SortValue);
      break;
    }
    return desc ? r > 0 : r < 0;
  };
  // Stable, so patches that compare equal keep their places from one sort to the next.
  std::stable_sort(FItems.begin(), FItems.end(), cmp);
  Renumber(0);
}

} // namespace dravik
