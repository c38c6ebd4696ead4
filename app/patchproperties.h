// What the patch properties window shows of one patch: the descriptor lines as property rows,
// and the patch's game files as a folder tree.
#pragma once

#include <string>
#include <vector>

namespace dravik {

class TPatch;
class TStringList;

struct TPropertyRow {
  std::string Key;
  std::string Value;
};

// One row per descriptor line in the descriptor's (sorted) order, leaving out the lines keyed
// exactly "Name" and "Description"; each value is the first line's with that key.
std::vector<TPropertyRow> PropertyRows(const TPatch& patch);

struct TFileTreeNode {
  std::string Caption;
  bool Folder = false;
  std::vector<TFileTreeNode> Children;
};

// The root "\" with the files' folders and names below it. A folder is made at its first use,
// as the first child of its parent (so sub-folders stand above files, the newest first); a
// folder's later uses find the first child with exactly its caption. Files keep their order
// and stand last.
TFileTreeNode BuildFileTree(const TStringList& files);

} // namespace dravik
