#include "hostcopy.h"

#include "hostfile.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
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

constexpr off_t kToTheEnd = std::numeric_limits<off_t>::max();
constexpr size_t kBufferSize = size_t(256) << 10;

// Whether copy_file_range failed with `err` because these files or this kernel do not support
// it (reading and writing will do), rather than because the copy itself failed.
bool KernelCopyUnsupported(int err) {
  return err == EXDEV || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP;
}

// Copies the bytes [from, to) of `in` to the same place in `out`; the end of `in` ends the copy
// earlier. copy_file_range copies in the kernel (sharing blocks where the file system can);
// where it is not supported `kernel` is cleared and the bytes go through `buf` (made on first
// use). False with errno set on failure.
bool CopyRange(int in, int out, off_t from, off_t to, bool& kernel, std::unique_ptr<char[]>& buf) {
  while (from < to) {
    const size_t want = static_cast<size_t>(std::min<off_t>(to - from, off_t(1) << 30));
    if (kernel) {
      off_t inPos = from, outPos = from;
      ssize_t n = ::copy_file_range(in, &inPos, out, &outPos, want, 0);
      if (n > 0) {
        from += n;
        continue;
      }
      if (n == 0) return true;
      if (errno == EINTR) continue;
      if (!KernelCopyUnsupported(errno)) return false;
      kernel = false;
    }
    if (!buf) buf.reset(new char[kBufferSize]);
    ssize_t n = ::pread(in, buf.get(), std::min(want, kBufferSize), from);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    if (::lseek(out, from, SEEK_SET) < 0 || !WriteAll(out, buf.get(), static_cast<size_t>(n)))
      return false;
    from += n;
  }
  return true;
}

} // namespace

bool CopyData(int in, int out) {
  struct stat st;
  if (::fstat(in, &st) != 0) return false;
  bool kernel = true;
  std::unique_ptr<char[]> buf;
  // A file that tells no size (as those of /proc do) is read to its end.
  if (st.st_size == 0) {
    kernel = false;
    return CopyRange(in, out, 0, kToTheEnd, kernel, buf);
  }
  // Only the stretches that hold data are copied; the holes between them stay holes.
  off_t pos = 0;
  for (;;) {
    off_t data = ::lseek(in, pos, SEEK_DATA);
    if (data < 0) {
      if (errno == ENXIO) break; // nothing but a hole from `pos` on
      if (pos == 0 && (errno == EINVAL || errno == EOPNOTSUPP))
        return CopyRange(in, out, 0, kToTheEnd, kernel, buf); // no holes to be told here
      return false;
    }
    off_t hole = ::lseek(in, data, SEEK_HOLE);
    if (hole < 0 || !CopyRange(in, out, data, hole, kernel, buf)) return false;
    pos = hole;
  }
  // A hole at the end has no data to copy; the copy gets the length.
  off_t end = ::lseek(in, 0, SEEK_END);
  struct stat copied;
  if (end < 0 || ::fstat(out, &copied) != 0) return false;
  return copied.st_size >= end || ::ftruncate(out, end) == 0;
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
