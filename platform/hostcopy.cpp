#include "hostcopy.h"

#include "hostfile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace dravik::host {

namespace {

// The names in the open folder `dirFd` (the descriptor stays open and unmoved), without "."
// and "..". None with errno set when it cannot be read.
std::optional<std::vector<std::string>> FolderNames(int dirFd) {
  int dupFd = ::dup(dirFd);
  if (dupFd < 0) return std::nullopt;
  DIR* d = ::fdopendir(dupFd);
  if (!d) {
    int err = errno;
    ::close(dupFd);
    errno = err;
    return std::nullopt;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  return names;
}

// Removes everything inside the open folder `dirFd` on the file system `dev`. Returns 0 or
// the first errno met.
int RemoveContents(int dirFd, dev_t dev) {
  auto names = FolderNames(dirFd);
  if (!names) return errno;
  int firstErr = 0;
  auto note = [&](int err) {
    if (firstErr == 0) firstErr = err;
  };
  for (const auto& n : *names) {
    struct stat st;
    if (::fstatat(dirFd, n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) note(errno);
      continue;
    }
    if (S_ISDIR(st.st_mode)) {
      if (st.st_dev == dev) {
        int sub = ::openat(dirFd, n.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (sub < 0) {
          note(errno);
          continue;
        }
        if (int err = RemoveContents(sub, dev)) note(err);
        ::close(sub);
      }
      if (::unlinkat(dirFd, n.c_str(), AT_REMOVEDIR) != 0) note(errno);
    } else if (::unlinkat(dirFd, n.c_str(), 0) != 0) {
      note(errno);
    }
  }
  return firstErr;
}

} // namespace

bool CopyData(int in, int out) {
  constexpr size_t kChunk = 256 * 1024;
  std::unique_ptr<char[]> buf(new char[kChunk]);
  for (;;) {
    ssize_t n = ::read(in, buf.get(), kChunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (!WriteAll(out, buf.get(), static_cast<size_t>(n))) return false;
  }
}

std::string CopyToTemp(int in, const struct stat& st, const std::string& hostTarget, mode_t mode) {
  std::string tmp;
  int out = MakeTempBeside(hostTarget, tmp);
  if (out < 0) return std::string();
  struct timespec times[2];
  times[0].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = 0;
  times[1] = st.st_mtim;
  bool ok = CopyData(in, out) && ::fchmod(out, mode) == 0 && ::futimens(out, times) == 0 &&
            ::fsync(out) == 0;
  int err = errno;
  if (::close(out) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    errno = err;
    return std::string();
  }
  return tmp;
}

int CopyTree(const std::string& src, const std::string& dst) {
  int dirFd = ::open(src.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return errno;
  auto names = FolderNames(dirFd);
  int listErr = errno;
  ::close(dirFd);
  if (!names) return listErr;
  for (const auto& n : *names) {
    std::string s = Join(src, n), t = Join(dst, n);
    struct stat st;
    if (::lstat(s.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) {
      if (::mkdir(t.c_str(), 0700) != 0) return errno;
      if (int err = CopyTree(s, t)) return err;
      struct timespec times[2] = {st.st_atim, st.st_mtim};
      if (::chmod(t.c_str(), st.st_mode & 07777) != 0) return errno;
      ::utimensat(AT_FDCWD, t.c_str(), times, 0);
    } else if (S_ISLNK(st.st_mode)) {
      std::optional<std::string> target = LinkTarget(s, st);
      if (!target) return errno;
      if (::symlink(target->c_str(), t.c_str()) != 0) return errno;
    } else if (S_ISREG(st.st_mode)) {
      int in = ::open(s.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (in < 0) return errno;
      int out = ::open(t.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (out < 0) {
        int err = errno;
        ::close(in);
        return err;
      }
      struct timespec times[2] = {st.st_atim, st.st_mtim};
      bool ok = CopyData(in, out) && ::fchmod(out, st.st_mode & 07777) == 0 &&
                ::futimens(out, times) == 0;
      int err = errno;
      ::close(in);
      if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
      }
      if (!ok) return err;
    } else {
      return EPERM; // devices, pipes and sockets are not moved between file systems
    }
  }
  return 0;
}

int RemoveTree(const std::string& hostPath) {
  struct stat st;
  if (::lstat(hostPath.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ::unlink(hostPath.c_str()) == 0 ? 0 : errno;
  int fd = ::open(hostPath.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return errno;
  int err = RemoveContents(fd, st.st_dev);
  ::close(fd);
  if (::rmdir(hostPath.c_str()) != 0 && err == 0) err = errno;
  return err;
}

std::optional<std::string> LinkTarget(const std::string& path, const struct stat& st) {
  std::string target(static_cast<size_t>(st.st_size) + 1, '\0');
  ssize_t len = ::readlink(path.c_str(), target.data(), target.size());
  if (len < 0) return std::nullopt;
  if (static_cast<size_t>(len) >= target.size()) {
    errno = ENAMETOOLONG;
    return std::nullopt;
  }
  target.resize(static_cast<size_t>(len));
  return target;
}

} // namespace dravik::host
