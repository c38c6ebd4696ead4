#include "patchproperties.h"

#include "patches/patch.h"
#include "platform/stringlist.h"

namespace dravik {

std::vector<TPropertyRow> PropertyRows(const TPatch& patch) {
  std::vector<TPropertyRow> rows;
  for (int i = 0; i < patch.Info.Count(); ++i) {
    const std::string key = patch.Info.Names(i);
    if (key == "Name" || key == "Description") continue;
    rows.push_back({key, patch.Info.Values(key)});
  }
  return rows;
}

TFileTreeNode BuildFileTree(const TStringList& files) {
  TFileTreeNode root{"\\", true, {}};
  for (const std::string& name : files.Lines()) {
    const size_t slash = name.rfind('\\');
    TFileTreeNode* node = &root;
    if (slash != std::string::npos) {
      const std::string folders = name.substr(0, slash);
      size_t start = 0;
      while (true) {
        const size_t end = folders.find('\\', start);
        const std::string part =
            folders.substr(start, end == std::string::npos ? std::string::npos : end - start);
        TFileTreeNode* found = nullptr;
        for (TFileTreeNode& child : node->Children)
          if (child.Caption == part) {
            found = &child;
            break;
          }
        if (!found) {
          node->Children.insert(node->Children.begin(), TFileTreeNode{part, true, {}});
          found = &node->Children.front();
        }
        node = found;
        if (end == std::string::npos) break;
        start = end + 1;
      }
    }
    node->Children.push_back(
        {slash == std::string::npos ? name : name.substr(slash + 1), false, {}});
  }
  return root;
}

} // namespace dravik
