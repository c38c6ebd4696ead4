// A game's patches: owns them, links conflicting patches as they are added, and orders them by
// name, by conflict state or by a descriptor key.
#pragma once

#include "fileindex.h"
#include "patch.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

enum TPatchSortKind : uint8_t { pskName = 0, pskState = 1, pskKey = 2 };

// How many patches a list holds, how many are active, and how many are blocked (psConflicting).
struct TStateCounts {
  int Patches = 0;
  int Active = 0;
  int Blocked = 0;
};

// A patch that another conflicts with, and the game files the two share.
struct TConflict {
  TPatch* Patch = nullptr;
  std::vector<std::string> Files;
};

class TPatchList {
public:
  TPatchList() = default;
  ~TPatchList();
  TPatchList(const TPatchList&) = delete;
  TPatchList& operator=(const TPatchList&) = delete;

  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  // Throws EStringListError-style "List index out of bounds (%d)" for a bad index.
  TPatch* operator[](int index) const;
  int IndexOf(const TPatch* patch) const noexcept;

  // Takes the patch, appends it, sets its SortValue from SortKey and links it with every patch
  // of the list that carries one of its game files (letter case ignored). Returns its position.
  // The list is not re-sorted. Costs about the patch's own file count plus the links it makes.
  // The patch's Files must not change while it is in the list.
  int Add(std::unique_ptr<TPatch> patch);
  // The same, with the patch's FileHashes worked out beforehand (on the thread that read it).
  int Add(std::unique_ptr<TPatch> patch, const std::vector<uint64_t>& fileHashes);
  // The TFileIndex::Hash of each of a patch's Files, 0 for a name that never makes a conflict.
  static std::vector<uint64_t> FileHashes(const TPatch& patch);
  // Frees the patch at `index` (unlinking it) and removes it from the list.
  void Delete(int index);
  // Frees every patch, first to last. SortKind, SortKey and Descending stay.
  void Clear();
  // Frees the patches at the positions where `keep` (one entry per patch) is false, in one pass
  // whatever their number; the others stay as they are, linked with one another, in their order.
  void Retain(const std::vector<bool>& keep);
  // Puts the patches in the order of `order` (each patch of the list once), and the patches of
  // equal names in every conflict list in that order too: the list is then as though its
  // patches had been added in that order. Throws std::invalid_argument for another `order`.
  void Arrange(const std::vector<TPatch*>& order);
  // Makes room for patches carrying `fileNames` game file names in all, so that adding them
  // does not grow the name index on the way.
  void Reserve(int patches, size_t fileNames);

  // Changes the key (exact comparison) and refreshes every SortValue; the same key again does
  // nothing.
  void SetSortKey(const std::string& key);
  // Orders the whole list by SortKind and Descending.
  void Sort();

  // Costs a pass over the patches and their conflict links.
  TStateCounts CountStates() const;
  // The patches `patch` (of this list) conflicts with, in its Conflicts order, each with the
  // files the two share, in `patch`'s order and spelling. Found through the list's name index:
  // costs about `patch`'s file count plus the carriers of its files, however many patches the list
  // holds.
  std::vector<TConflict> ConflictsOf(const TPatch& patch) const;

  TPatchSortKind SortKind = pskName;
  bool Descending = false;
  const std::string& SortKey() const noexcept { return FSortKey; }

private:
  void Renumber(size_t from);
  void Unindex(TPatch* patch);

  std::vector<std::unique_ptr<TPatch>> FItems;
  std::string FSortKey;
  TFileIndex FIndex;
  unsigned FMark = 0;
};

} // namespace dravik
