#include "wineserver.h"

#include "sysutils.h"

#include <cctype>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dravik {

namespace {

// Whether another process holds a write lock on byte 0 of `folder`/lock.
bool LockHeld(const std::string& folder) {
  int fd = open((folder + "/lock").c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 1;
  bool held = fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
  close(fd);
  return held;
}

// The first line of a small regular file, at most `limit` bytes; "" when it cannot be read.
std::string SmallFileText(const std::string& path, size_t limit) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return std::string();
  std::string text;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    text.resize(limit + 1);
    ssize_t got = read(fd, text.data(), text.size());
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  }
  close(fd);
  if (text.size() > limit) return std::string(); // not what Wine writes there
  size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

// The private folder name Debian's Wine wrote into <prefix>/wineserver: one plain file name
// ("wine-2EY14f"), else "".
std::string PrivateFolderName(const std::string& prefix) {
  std::string name = SmallFileText(prefix + "/wineserver", 255);
  if (name.empty() || name == "." || name == "..") return std::string();
  for (char c : name)
    if (c == '/' || c == '\0') return std::string();
  return name;
}

std::vector<std::string> TempFolders() {
  std::vector<std::string> folders;
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') {
    std::string t = tmp;
    while (t.size() > 1 && t.back() == '/')
      t.pop_back();
    if (t != "/tmp") folders.push_back(t);
  }
  folders.push_back("/tmp");
  return folders;
}

bool IsNumber(const char* s) {
  if (!*s) return false;
  for (; *s; ++s)
    if (!std::isdigit(static_cast<unsigned char>(*s))) return false;
  return true;
}

// A running wineserver process whose working folder is a server folder named `serverName`
// with its lock held.
bool ServerProcessRunning(const std::string& serverName) {
  DIR* proc = opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (!IsNumber(entry->d_name)) continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    // "wineserver", or "wineserver64" as Debian names the program.
    if (SmallFileText(dir + "/comm", 64).rfind("wineserver", 0) != 0) continue;
    char target[4096];
    ssize_t n = readlink((dir + "/cwd").c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    std::string cwd(target, static_cast<size_t>(n));
    // The folder may have been removed under the running server (a cleaned /tmp).
    const std::string deleted = " (deleted)";
    if (cwd.size() > deleted.size() && cwd.ends_with(deleted))
      cwd.resize(cwd.size() - deleted.size());
    if (cwd.substr(cwd.rfind('/') + 1) != serverName) continue;
    // Through the process's own link, which reaches the folder whatever its path.
    if (LockHeld(dir + "/cwd")) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

} // namespace

std::string WineServerFolderName(const std::string& prefixHostPath) {
  struct stat st;
  if (stat(prefixHostPath.c_str(), &st) != 0) return std::string();
  return Format("server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
}

bool WineServerRunning(const std::string& prefixHostPath) {
  const std::string serverName = WineServerFolderName(prefixHostPath);
  if (serverName.empty()) return false;
  if (LockHeld(Format("/tmp/.wine-%u/%s", unsigned(getuid()), serverName))) return true;
  if (std::string name = PrivateFolderName(prefixHostPath); !name.empty())
    for (const std::string& temp : TempFolders())
      if (LockHeld(temp + "/" + name + "/" + serverName)) return true;
  return ServerProcessRunning(serverName);
}

} // namespace dravik
