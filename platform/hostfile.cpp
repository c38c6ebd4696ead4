#include "hostfile.h"

#include "sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik::host {

std::string ErrnoText(int err) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not be in `buf`.
  const char* text = ::strerror_r(err, buf, sizeof buf);
  return text ? std::string(text) : Format("Unknown error %d", err);
}

std::string Parent(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

std::string BaseName(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
}

std::string Join(const std::string& dir, std::string_view name) {
  std::string r = dir;
  if (r.empty() || r.back() != '/') r += '/';
  r += name;
  return r;
}

bool IsFolder(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

static int64_t Nanoseconds(const struct timespec& t) {
  return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

winfs::TFileVersion VersionOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
          static_cast<int64_t>(st.st_size), Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim)};
}

bool Settled(const struct stat& st, const struct timespec& readFrom) {
  const bool wholeSeconds = st.st_mtim.tv_nsec == 0 && st.st_ctim.tv_nsec == 0;
  const int64_t margin = wholeSeconds ? int64_t(2100) * 1000000 : int64_t(50) * 1000000;
  // The later of the two: a modification time set back (touch -d) leaves the change time new.
  const int64_t last = std::max(Nanoseconds(st.st_mtim), Nanoseconds(st.st_ctim));
  return last < Nanoseconds(readFrom) - margin;
}

mode_t CurrentUmask() {
  // /proc tells it without the race of setting it and putting it back.
  if (FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f))
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return static_cast<mode_t>(mask & 0777);
  }
  static std::mutex umaskMutex;
  std::lock_guard<std::mutex> lock(umaskMutex);
  mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

int MakeTempBeside(const std::string& hostTarget, std::string& hostTemp) {
  std::string name = BaseName(hostTarget);
  // Keep the temporary name within NAME_MAX; cut on a UTF-8 character boundary.
  constexpr size_t kMaxKept = 200;
  if (name.size() > kMaxKept) {
    size_t cut = kMaxKept;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
      --cut;
    name.resize(cut);
  }
  std::string dir = Parent(hostTarget);
  hostTemp = (dir == "/" ? std::string() : dir) + "/." + name + ".XXXXXX.tmp";
  return ::mkostemps(hostTemp.data(), 4, O_CLOEXEC);
}

int RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
  if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return -1;
  struct stat st;
  if (::fstatat(dirFd, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) {
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) == 0) {
      ::unlinkat(dirFd, from.c_str(), 0);
      return 0;
    }
    if (errno == EEXIST) return -1;
  }
  if (::fstatat(dirFd, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::renameat(dirFd, from.c_str(), dirFd, to.c_str());
}

bool WriteAll(int fd, const void* data, size_t count) {
  const char* p = static_cast<const char*>(data);
  while (count > 0) {
    size_t chunk = std::min<size_t>(count, size_t(1) << 30);
    ssize_t n = ::write(fd, p, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    p += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

void FlushFolder(const std::string& hostDir) {
  int fd = ::open(hostDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

} // namespace dravik::host
