// Switching a game's store to a patch set (patchsets.h), and telling which set its active
// patches are.
//
// A set's patches are found in the store by file name, letter case ignored as the store
// compares names; a name the store would refuse (a folder, a drive, "..", as a hand-edited
// registry may hold) counts as not installed, so a set never moves a file outside the store.
// Where two of a set's patches conflict, the later one in the set wins and the earlier one
// stays off. Nothing here shows anything: results are returned for the windows to show.
#pragma once

#include "patches/patchsets.h"

#include <string>
#include <vector>

namespace dravik {

class THXPatchedApp;
class TPatch;
class TPatchList;

// What switching to a set did beyond the moves.
struct TSetSwitchResult {
  std::string SetName;
  std::vector<std::string> Missing; // the set's patches not installed, in the set's order
  struct TLeftOff {
    std::string File, Winner; // File stayed off: it conflicts with Winner, later in the set
  };
  std::vector<TLeftOff> LeftOff;
  int Moved = 0; // files moved

  // One message naming the missing and the left-off patches; "" when there are none.
  std::string Message() const;
};

// Makes the active folder hold exactly the set's installed patches: first every active patch
// not in the set is switched off, then every patch of the set is switched on, whole or not at
// all (THXPatchedApp::SwitchPatches: a failed move puts back what was moved and throws its
// Exception naming the file). An empty set switches every patch off. The list is not
// re-sorted.
TSetSwitchResult SwitchToSet(THXPatchedApp& app, const TPatchSet& set);

// The same for a saved set of the game named `name`, or NoSetName. Throws Exception, changing
// nothing, when the game has no set of that name.
TSetSwitchResult SwitchToSet(THXPatchedApp& app, const std::string& name);

// The name of the first of `sets` that switching to would leave exactly as the store is;
// NoSetName when no patch is active; CustomSetName when no set matches.
std::string MatchingSet(const TPatchList& patches, const std::vector<TPatchSet>& sets);

// The set `name` of the store's active patches, in the list's order. A patch whose file name
// holds "|" cannot be named and is left out, its name added to `leftOut`.
TPatchSet CurrentSet(const TPatchList& patches, const std::string& name,
                     std::vector<std::string>& leftOut);

// A set's file names, each with whether the store holds a patch of that name, and its name.
struct TSetMember {
  std::string File;
  bool Installed = false;
  std::string Name; // the patch's name when installed
};
std::vector<TSetMember> SetMembers(const TPatchList& patches, const TPatchSet& set);

} // namespace dravik
