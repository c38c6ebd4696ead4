#include "datadir.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

static bool IsFolder(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[maybe_unused]] static bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DataFolder() {
  if (const char* env = std::getenv("DRAVIK_DATADIR"); env && *env)
    return IsFolder(env) ? std::string(env) : std::string();
#ifdef DRAVIK_DATADIR
  if (IsFile(std::string(DRAVIK_DATADIR) + "/docs.html")) return DRAVIK_DATADIR;
#endif
#ifdef DRAVIK_SOURCE_RESOURCES
  if (IsFolder(DRAVIK_SOURCE_RESOURCES)) return DRAVIK_SOURCE_RESOURCES;
#endif
  return std::string();
}

bool EnterDataFolder() {
  std::string folder = DataFolder();
  return !folder.empty() && ::chdir(folder.c_str()) == 0;
}

} // namespace dravik
