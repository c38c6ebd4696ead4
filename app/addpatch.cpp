#include "addpatch.h"

#include "platform/winfs.h"

namespace dravik {

std::string AddPatchFilter(const std::string& patchFilter, const std::string& gameFilter) {
  const std::string all = patchFilter + ";*.zip;*.url;*.lnk";
  return "All patches (" + all + ")|" + all + "|" + gameFilter;
}

std::string AddPatchFolder(const std::string& lastFolder) {
  for (const std::string& folder : {lastFolder, std::string("C:\\users\\Public\\Downloads\\")})
    if (!folder.empty() && winfs::DirectoryExists(folder)) return folder;
  return "C:\\";
}

} // namespace dravik
