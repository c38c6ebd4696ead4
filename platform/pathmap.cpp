#include "pathmap.h"

#include "hostfile.h"
#include "lasterror.h"
#include "pathmemory.h"
#include "prefix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
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

std::optional<std::string> CurrentFolder() {
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return std::nullopt;
  std::string s(cwd);
  std::free(cwd);
  return s;
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
    auto root = DriveFolder(letter);
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

  // Components are views of the path or of the current folder; those of the current folder
  // come first and exist as spelled.
  std::vector<std::string_view> comps;
  size_t known = 0;
  std::optional<std::string> cwd;
  std::string root;
  size_t pos = 0;
  if (HasDriveLetter(winPath)) {
    auto dr = DriveFolder(winPath[0]);
    if (!dr) {
      FailWith(ERROR_PATH_NOT_FOUND);
      return r;
    }
    root = *dr;
    pos = 2;
  } else {
    cwd = CurrentFolder();
    if (!cwd) {
      FailWithErrno(errno, std::string());
      return r;
    }
    if (IsSep(winPath[0])) {
      // The root of the drive that holds the current folder.
      auto w = WindowsPathOf(*cwd);
      std::optional<std::string> dr;
      if (w) dr = DriveFolder((*w)[0]);
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
        if (e > b) comps.push_back(std::string_view(*cwd).substr(b, e - b));
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
      comps.push_back(c);
    }
    pos = e + 1;
  }
  if (cwd) { // the current folder's components left after ".."
    while (known < comps.size() && comps[known].data() >= cwd->data() &&
           comps[known].data() < cwd->data() + cwd->size())
      ++known;
  }

  // The current folder's components are taken as they are; the rest are looked up.
  for (size_t i = 0; i < known; ++i)
    root = host::Join(root, comps[i]);
  r.Ok = true;
  r.Host = ResolveBelow(root, std::span(comps).subspan(known));
  r.IsRoot = comps.empty();
  r.LastName = comps.empty() ? std::string() : std::string(comps.back());
  return r;
}

bool HasDriveLetter(std::string_view winPath) {
  return winPath.size() >= 2 && winPath[1] == ':' &&
         ((winPath[0] >= 'a' && winPath[0] <= 'z') || (winPath[0] >= 'A' && winPath[0] <= 'Z'));
}

std::vector<std::string> DriveRoots() {
  std::vector<std::string> roots;
  for (char letter = 'A'; letter <= 'Z'; ++letter)
    if (DriveFolder(letter)) roots.push_back(std::string(1, letter) + ":\\");
  return roots;
}

std::string DisplayPath(std::string_view path) {
  if (!HasDriveLetter(path) || (path.size() > 2 && !IsSep(path[2]))) return std::string(path);
  const std::optional<std::string> root = DriveFolder(path[0]);
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
