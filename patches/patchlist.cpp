#include "patchlist.h"

#include "platform/sysutils.h"

#include <algorithm>

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
  patch->FKeys.clear();
  for (const std::string& name : patch->Files.Lines()) {
    std::string key = ConflictKey(name);
    if (IsNeutralFile(key)) continue;
    auto& carriers = FIndex[key];
    if (!carriers.empty() && carriers.back() == patch) continue; // same name twice in one patch
    for (TPatch* other : carriers)
      if (other->FVisitMark != FMark) {
        other->FVisitMark = FMark;
        found.push_back(other);
      }
    carriers.push_back(patch);
    patch->FKeys.push_back(std::move(key));
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
  for (const std::string& key : patch->FKeys) {
    auto it = FIndex.find(key);
    if (it == FIndex.end()) continue;
    auto& v = it->second;
    v.erase(std::remove(v.begin(), v.end(), patch), v.end());
    if (v.empty()) FIndex.erase(it);
  }
  patch->FKeys.clear();
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
  std::sort(FItems.begin(), FItems.end(), cmp);
  Renumber(0);
}

} // namespace dravik
