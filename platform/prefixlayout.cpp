#include "prefixlayout.h"

#include "hostfile.h"
#include "sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw Exception(Format("Cannot %s %s: %s", what, path, host::ErrnoText(err)));
}

void MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return;
  int err = errno;
  struct stat st;
  if (err == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return;
  Fail("create folder", path, err);
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1))
    if (slash + 1 < path.size()) MakeFolder(path.substr(0, slash));
  MakeFolder(path);
}

void MakeLink(const std::string& target, const std::string& path) {
  struct stat st;
  if (::lstat(path.c_str(), &st) == 0) return;
  if (::symlink(target.c_str(), path.c_str()) != 0) Fail("create link", path, errno);
}

} // namespace

std::optional<std::vector<std::string>> HostFolderEntries(const std::string& hostPath) {
  DIR* dir = ::opendir(hostPath.c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) {
    std::string name(e->d_name);
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string AbsoluteHostPath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) Fail("find the current folder for", path, errno);
  std::string base(cwd);
  std::free(cwd);
  if (path.empty() || path == ".") return base;
  return base + (base.back() == '/' ? "" : "/") + path;
}

bool IsHostFile(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void CreatePrefixLayout(const std::string& hostPath) {
  std::string root = hostPath;
  while (root.size() > 1 && root.back() == '/')
    root.pop_back();
  MakeFolders(root);
  MakeFolder(root + "/drive_c");
  MakeFolder(root + "/dosdevices");
  MakeLink("../drive_c", root + "/dosdevices/c:");
  MakeLink("/", root + "/dosdevices/z:");
}

} // namespace dravik
