#include "tempfolder.h"

#include "hostcopy.h"
#include "hostfile.h"
#include "lasterror.h"
#include "pathmap.h"
#include "prefix.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace dravik::winfs {

namespace {

struct TTempFolder {
  std::string Host;
  pid_t Owner; // the process that made it; only that one removes it
};

struct TTempState {
  std::mutex Mutex;
  std::vector<TTempFolder> Folders;
  bool AtExitRegistered = false;
};

TTempState& TempState() {
  static TTempState* state = new TTempState; // outlives the exit handlers that use it
  return *state;
}

void RemoveTempFolders() {
  TTempState& s = TempState();
  std::lock_guard<std::mutex> lock(s.Mutex);
  const pid_t self = ::getpid();
  for (const auto& f : s.Folders)
    if (f.Owner == self) (void)host::RemoveTree(f.Host); // at exit: no one left to tell
}

// Makes "<base>/dravik-XXXXXX" (mode 0700) and returns it with its Windows path, or nothing
// when it cannot be made or no drive holds it (then it is removed again).
std::optional<std::pair<std::string, std::string>> MakeTempFolderIn(const std::string& base) {
  std::string tmpl = host::Join(base, "dravik-XXXXXX");
  if (!::mkdtemp(tmpl.data())) {
    FailWithErrno(errno, tmpl);
    return std::nullopt;
  }
  auto w = ToWindowsPath(tmpl);
  if (!w) {
    ::rmdir(tmpl.c_str());
    return std::nullopt;
  }
  return std::make_pair(tmpl, *w);
}

// The host path and Windows path (trailing backslash) of the private temporary folder.
std::optional<std::pair<std::string, std::string>> TempFolder() {
  TTempState& s = TempState();
  std::lock_guard<std::mutex> lock(s.Mutex);
  const pid_t self = ::getpid();
  // The folder made earlier, as long as it is there and the current prefix can name it.
  for (auto it = s.Folders.rbegin(); it != s.Folders.rend(); ++it) {
    if (it->Owner != self || !host::IsFolder(it->Host)) continue;
    if (auto w = ToWindowsPath(it->Host)) return std::make_pair(it->Host, *w + "\\");
  }
  std::vector<std::string> bases;
  if (const char* env = std::getenv("TMPDIR"); env && env[0] == '/') bases.emplace_back(env);
  bases.emplace_back("/tmp");
  std::optional<std::pair<std::string, std::string>> made;
  for (const auto& b : bases)
    if ((made = MakeTempFolderIn(b))) break;
  if (!made) {
    // No drive holds the system's temporary folder: use the prefix's own.
    std::string windows = WinePrefix() + "/drive_c/windows";
    ::mkdir(windows.c_str(), 0777);
    ::mkdir((windows + "/temp").c_str(), 0777);
    made = MakeTempFolderIn(windows + "/temp");
  }
  if (!made) return std::nullopt;
  s.Folders.push_back({made->first, self});
  if (!s.AtExitRegistered) {
    std::atexit(RemoveTempFolders);
    s.AtExitRegistered = true;
  }
  made->second += "\\";
  return made;
}

} // namespace

std::string GetTempPath() {
  auto t = TempFolder();
  return t ? t->second : std::string();
}

std::string MakeTempDir() {
  auto t = TempFolder();
  if (!t) return std::string();
  std::string tmpl = host::Join(t->first, "tmpXXXXXX");
  if (!::mkdtemp(tmpl.data())) {
    FailWithErrno(errno, tmpl);
    return std::string();
  }
  return t->second + host::BaseName(tmpl) + "\\";
}

} // namespace dravik::winfs
