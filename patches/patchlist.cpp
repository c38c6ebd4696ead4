#include "patchlist.h"

#include "platform/sysutils.h"

#include <algorithm>
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

int TPatchList::Add(std::unique_ptr<TPatch> owned) {
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
  patch->FIndexEntries.clear();
  patch->FIndexEntries.reserve(static_cast<size_t>(patch->Files.Count()));
  auto visit = [&](TPatch* other) {
    if (other->FVisitMark != FMark) {
      other->FVisitMark = FMark;
      found.push_back(other);
    }
  };
  for (const std::string& name : patch->Files.Lines()) {
    if (IsNeutralFile(name)) continue;
    auto [it, added] = FIndex.try_emplace(name, TFileCarriers{patch, {}});
    if (!added) {
      TFileCarriers& carriers = it->second;
      TPatch* last = carriers.More.empty() ? carriers.First : carriers.More.back();
      if (last == patch) continue; // the same name twice in one patch
      visit(carriers.First);
      for (TPatch* other : carriers.More)
        visit(other);
      carriers.More.push_back(patch);
    }
    patch->FIndexEntries.push_back(&*it);
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

size_t TPatchList::TFoldedHash::operator()(std::string_view s) const noexcept {
  uint64_t h = 1469598103934665603ull; // FNV-1a
  for (unsigned char c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
    h = (h ^ c) * 1099511628211ull;
  }
  return static_cast<size_t>(h);
}

bool TPatchList::TFoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept {
  return SameText(a, b);
}

void TPatchList::Unindex(TPatch* patch) {
  for (auto* entry : patch->FIndexEntries) {
    TFileCarriers& carriers = entry->second;
    if (carriers.First != patch) {
      carriers.More.erase(std::remove(carriers.More.begin(), carriers.More.end(), patch),
                          carriers.More.end());
      continue;
    }
    auto it = FIndex.find(entry->first);
    if (carriers.More.empty()) {
      FIndex.erase(it);
      continue;
    }
    // The key lives in this patch's own names: hand the entry to the next carrier, keyed by its
    // spelling. The entry itself stays where it is, so the other carriers' pointers hold.
    TPatch* next = carriers.More.front();
    carriers.More.erase(carriers.More.begin());
    carriers.First = next;
    auto node = FIndex.extract(it);
    for (const std::string& name : next->Files.Lines())
      if (SameText(name, node.key())) {
        node.key() = name;
        break;
      }
    FIndex.insert(std::move(node));
  }
  patch->FIndexEntries.clear();
}

void TPatchList::Delete(int index) {
  TPatch* patch = (*this)[index];
  Unindex(patch);
  FItems.erase(FItems.begin() + index); // frees the patch, which unlinks itself
  Renumber(static_cast<size_t>(index));
}

void TPatchList::Clear() {
  for (auto& p : FItems)
    p.reset(); // first to last
  FItems.clear();
  FIndex.clear();
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
    auto it = FIndex.find(name);
    if (it == FIndex.end() || !seen.insert(&*it).second) continue;
    const TFileCarriers& carriers = it->second;
    auto share = [&](const TPatch* other) {
      if (auto at = place.find(other); at != place.end()) result[at->second].Files.push_back(name);
    };
    share(carriers.First);
    for (const TPatch* other : carriers.More)
      share(other);
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
