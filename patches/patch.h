// One patch file of a game's store: its display name, its descriptor ("patchinfo.txt" inside
// the archive, lines key=value), the game files it carries, whether it is active, and the
// patches of the same list it conflicts with.
#pragma once

#include "platform/fileversion.h"
#include "platform/stringlist.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// Conflict state of a patch; the numbers index the list's state pictures and order pskState.
enum TPatchState : uint8_t { psInactive = 0, psActive = 1, psConflicting = 2 };

class TPatchStates {
public:
  constexpr TPatchStates(std::initializer_list<TPatchState> states) {
    for (TPatchState s : states)
      FBits |= uint8_t(1u << s);
  }
  constexpr bool Contains(TPatchState s) const { return (FBits >> s) & 1u; }
  static constexpr TPatchStates All() { return {psInactive, psActive, psConflicting}; }

private:
  uint8_t FBits = 0;
};

class TPatchList;
class TPatch;
class THXPatchedApp;

class TPatch {
public:
  TPatch() = default;
  // Removes this patch from the conflict list of every patch it is linked with.
  ~TPatch();
  TPatch(const TPatch&) = delete;
  TPatch& operator=(const TPatch&) = delete;

  // Reads the archive's directory and descriptor (no other member data). Throws EFOpenError
  // ("Cannot open file %s") when the file cannot be opened; a damaged directory or descriptor
  // is read as far as it lies inside the file.
  void LoadFromFile(std::string_view path);

  // Whether this patch and `other` carry a common game file ("misc\models.dat" never counts);
  // links the two when they do.
  bool ConflictsWith(TPatch* other);
  TPatchState State() const;
  // Names of the conflicting patches whose own state is in `states`, joined by "; ".
  std::string ConflictText(TPatchStates states) const;

  // The patch file's own name: the only link between a patch and its file.
  std::string FileName() const { return Info.Values("File Name"); }

  std::vector<TPatch*> Conflicts; // not owned; ascending by name; symmetric
  std::string Name;
  TStringList Files;  // member names, stored case, leading "\" and descriptor left out
  uint8_t Active = 0; // 0: "HXPatch\", 1: "HXPatch\active\"
  TStringList Info;   // descriptor lines, sorted
  std::string SortValue;

private:
  friend class TPatchList;
  friend class THXPatchedApp;
  void Link(TPatch* other);
  // The store's file this patch was read from by a rescan, when a later change of the file is
  // sure to give it another version: a rescan keeps the patch while the file is unchanged.
  struct TSource {
    winfs::TFileVersion Version;
    uint8_t Folder = 0; // which folder it was read from (Active then)
  };
  std::optional<TSource> FSource;
  int FListIndex = -1;     // position in the owning list, kept by TPatchList
  unsigned FVisitMark = 0; // used by TPatchList while it gathers conflicts
};

// Whether a file name (in any letter case) never makes a conflict.
bool IsNeutralFile(std::string_view name);

} // namespace dravik
