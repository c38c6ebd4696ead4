// A game's patch sets: named lists of patch file names, kept in the program's per-user settings
// key under "Sets\<AppName>", one string value per set: the value's name is the set's name, its
// data the file names joined by "|" (no Windows file name holds one), in the list's order.
// Set names are compared as the settings store compares value names, without regard to letter
// case. A set is only names: deleting or replacing a patch leaves the sets that name it alone.
//
// Each call opens the key, reads or writes, and closes it; it blocks on the settings file only.
// A refused write (Wine holds the registry) throws the store's ERegistryException.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dravik {

struct TPatchSet {
  std::string Name;
  std::vector<std::string> Files; // patch file names, in the list's order
};

// The names offered beside the saved sets: every patch switched off, and active patches that
// match no set. Neither can name a saved set.
extern const char* const NoSetName;     // "(none)"
extern const char* const CustomSetName; // "(custom)"

// Whether two set names are the same to the settings store (letter case ignored).
bool SameSetName(const std::string& a, const std::string& b);

// Why `name` cannot name a set, "" when it can: it is empty, one of the two names above (in any
// letter case), or holds a control character.
std::string SetNameProblem(const std::string& name);

// A set's value data and back. Joining throws Exception for a file name holding "|"; splitting
// leaves out empty names.
std::string JoinSetFiles(const std::vector<std::string>& files);
std::vector<std::string> SplitSetFiles(const std::string& data);

class TPatchSets {
public:
  explicit TPatchSets(std::string appName);

  // Every set of the game, ordered by name ignoring letter case; a value that is no string, or
  // whose name could not be a set's, is left out.
  std::vector<TPatchSet> Load() const;
  std::optional<TPatchSet> Find(const std::string& name) const;
  // Writes the set, replacing one of the same name in any letter case (whose spelling stays).
  // Throws Exception for a name SetNameProblem refuses, or a file name with "|".
  void Save(const TPatchSet& set);
  // False when there is no such set.
  bool Delete(const std::string& name);
  // Gives the set `oldName` the name `newName` (a change of letter case too), replacing another
  // set already named so. False when
  // there is no set `oldName`; throws as Save for a refused name. The new value is written
  // before the old one goes, so a failure between the two loses no set.
  bool Rename(const std::string& oldName, const std::string& newName);

private:
  std::string FKey;
};

} // namespace dravik
