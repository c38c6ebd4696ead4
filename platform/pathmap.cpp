#include "pathmap.h"

#include "hostfile.h"
#include "lasterror.h"
#include "namefold.h"
#include "prefix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dravik::winfs {

namespace {

bool IsSep(char c) {
  return c == '\\' || c == '/';
}

std::optional<std::string> RealPath(const std::string& hostPath) {
  char* r = ::realpath(hostPath.c_str(), nullptr);
  if (!r) return std::nullopt;
  std::string s(r);
  std::free(r);
  return s;
}

// The folder a drive letter stands for: its dosdevices link resolved, when that is a folder.
std::optional<std::string> DriveRoot(char letter) {
  char lower = static_cast<char>(letter | 0x20);
  auto root = RealPath(WinePrefix() + "/dosdevices/" + lower + ":");
  if (!root || !host::IsFolder(*root)) return std::nullopt;
  return root;
}

std::optional<std::string> CurrentFolder() {
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return std::nullopt;
  std::string s(cwd);
  std::free(cwd);
  return s;
}

// Finds `name` in folder `dir`: the exact name, else the first name in byte order that
// matches it without regard to letter case.
std::optional<std::string> FindEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (::lstat(host::Join(dir, name).c_str(), &st) == 0) return name;
  if (errno != ENOENT) return std::nullopt;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return std::nullopt;
  const std::u32string key = FoldName(name);
  std::optional<std::string> best;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n == "." || n == "..") continue;
    if (FoldName(n) == key && (!best || n < *best)) best = std::string(n);
  }
  ::closedir(d);
  return best;
}

// Windows path of an absolute host path; the deepest existing folder above it is resolved
// (symbolic links, "..") and the rest is folded by name. The last component itself is not
// resolved: a link keeps its own name.
std::optional<std::string> WindowsPathOf(const std::string& absHostPath) {
  std::vector<std::string> comps;
  size_t b = 0;
  while (b < absHostPath.size()) {
    size_t e = absHostPath.find('/', b);
    if (e == std::string::npos) e = absHostPath.size();
    if (e > b) comps.push_back(absHostPath.substr(b, e - b));
    b = e + 1;
  }
  size_t k = comps.size();
  if (k > 0 && comps.back() != "." && comps.back() != "..") --k;
  std::string resolved;
  for (;; --k) {
    std::string prefix;
    for (size_t i = 0; i < k; ++i)
      prefix += "/" + comps[i];
    if (auto rp = RealPath(prefix.empty() ? "/" : prefix)) {
      resolved = *rp;
      break;
    }
    if (k == 0) {
      resolved = "/";
      break;
    }
  }
  for (size_t i = k; i < comps.size(); ++i) {
    if (comps[i] == ".") continue;
    if (comps[i] == "..") {
      resolved = host::Parent(resolved);
      continue;
    }
    resolved = host::Join(resolved, comps[i]);
  }

  char bestLetter = 0;
  std::string bestRoot;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    auto root = DriveRoot(letter);
    if (!root) continue;
    bool holds = *root == "/" || resolved == *root ||
                 (resolved.compare(0, root->size(), *root) == 0 && resolved[root->size()] == '/');
    if (holds && (bestLetter == 0 || root->size() > bestRoot.size())) {
      bestLetter = letter;
      bestRoot = *root;
    }
  }
  if (bestLetter == 0) {
    FailWith(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::string rest = resolved.substr(bestRoot == "/" ? 1 : bestRoot.size());
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  // A Linux name with a backslash in it cannot be named by a Windows path: it would turn into
  // two components and name a different file.
  if (rest.find('\\') != std::string::npos) {
    FailWith(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::replace(rest.begin(), rest.end(), '/', '\\');
  std::string w;
  w += static_cast<char>(bestLetter - 'a' + 'A');
  w += ":\\";
  return w + rest;
}

} // namespace

TMappedPath MapPath(std::string_view winPath) {
  TMappedPath r;
  if (winPath.empty() || winPath.find('\0') != std::string_view::npos) {
    FailWith(ERROR_INVALID_NAME);
    return r;
  }
  if (winPath.size() >= 2 && IsSep(winPath[0]) && IsSep(winPath[1])) {
    FailWith(ERROR_PATH_NOT_FOUND); // UNC and device paths have no place in a prefix
    return r;
  }

  struct TComp {
    std::string Name;
    bool Known; // a component of the current folder: exists as spelled
  };
  std::vector<TComp> comps;
  std::string root;
  size_t pos = 0;
  if (HasDriveLetter(winPath)) {
    auto dr = DriveRoot(winPath[0]);
    if (!dr) {
      FailWith(ERROR_PATH_NOT_FOUND);
      return r;
    }
    root = *dr;
    pos = 2;
  } else {
    auto cwd = CurrentFolder();
    if (!cwd) {
      FailWithErrno(errno, std::string());
      return r;
    }
    if (IsSep(winPath[0])) {
      // The root of the drive that holds the current folder.
      auto w = WindowsPathOf(*cwd);
      std::optional<std::string> dr;
      if (w) dr = DriveRoot((*w)[0]);
      if (!dr) {
        FailWith(ERROR_PATH_NOT_FOUND);
        return r;
      }
      root = *dr;
    } else {
      root = "/";
      size_t b = 0;
      while (b < cwd->size()) {
        size_t e = cwd->find('/', b);
        if (e == std::string::npos) e = cwd->size();
        if (e > b) comps.push_back({cwd->substr(b, e - b), true});
        b = e + 1;
      }
    }
  }

  // Split on either separator; runs of separators count as one; fold "." and ".." without
  // ever climbing above the root.
  while (pos < winPath.size()) {
    size_t e = pos;
    while (e < winPath.size() && !IsSep(winPath[e]))
      ++e;
    std::string_view c = winPath.substr(pos, e - pos);
    if (c == "..") {
      if (!comps.empty()) comps.pop_back();
    } else if (!c.empty() && c != ".") {
      comps.push_back({std::string(c), false});
    }
    pos = e + 1;
  }

  std::string cur = root;
  bool searching = true; // stops at the first component that does not exist
  for (const auto& c : comps) {
    if (c.Known || !searching) {
      cur = host::Join(cur, c.Name);
      continue;
    }
    auto found = FindEntry(cur, c.Name);
    if (!found) searching = false;
    cur = host::Join(cur, found ? *found : c.Name);
  }
  r.Ok = true;
  r.Host = cur;
  r.IsRoot = comps.empty();
  r.LastName = comps.empty() ? std::string() : comps.back().Name;
  return r;
}

bool HasDriveLetter(std::string_view winPath) {
  return winPath.size() >= 2 && winPath[1] == ':' &&
         ((winPath[0] >= 'a' && winPath[0] <= 'z') || (winPath[0] >= 'A' && winPath[0] <= 'Z'));
}

std::vector<std::string> DriveRoots() {
  std::vector<std::string> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    if (DriveRoot(letter)) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

std::string DisplayPath(std::string_view path) {
  if (!HasDriveLetter(path) || (path.size() > 2 && !IsSep(path[2]))) return std::string(path);
  const std::optional<std::string> root = DriveRoot(path[0]);
  if (!root || *root != "/") return std::string(path);
  // Spelled as given: a message names the file the user chose, whether or not it exists.
  std::string host = "/";
  for (char c : path.substr(2)) {
    c = IsSep(c) ? '/' : c;
    if (c != '/' || host.back() != '/') host += c;
  }
  return host;
}

std::string ToHostPath(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  return m.Ok ? m.Host : std::string();
}

std::optional<std::string> ToWindowsPath(std::string_view hostPath) {
  if (hostPath.empty() || hostPath.find('\0') != std::string_view::npos) {
    FailWith(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::string p(hostPath);
  if (p[0] != '/') {
    auto cwd = CurrentFolder();
    if (!cwd) {
      FailWithErrno(errno, std::string());
      return std::nullopt;
    }
    p = host::Join(*cwd, p);
  }
  return WindowsPathOf(p);
}

} // namespace dravik::winfs
