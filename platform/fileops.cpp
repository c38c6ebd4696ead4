#include "fileops.h"

#include "hostcopy.h"
#include "hostfile.h"
#include "lasterror.h"
#include "pathmap.h"
#include "pathmemory.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace dravik::winfs {

namespace {

// Moves `src` (status `st`) to `dst` on another file system: copies, puts the copy in place
// without replacing anything, then removes the source.
bool MoveAcross(const std::string& src, const struct stat& st, const std::string& dst) {
  std::string tmp;
  if (S_ISREG(st.st_mode)) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return FailWithErrno(errno, src);
    tmp = host::CopyToTemp(in, st, dst, st.st_mode & 07777);
    int err = errno;
    ::close(in);
    if (tmp.empty()) return FailWithErrno(err, dst);
  } else if (S_ISDIR(st.st_mode)) {
    struct stat existing;
    if (::lstat(dst.c_str(), &existing) == 0) return FailWithErrno(EEXIST, dst);
    tmp = host::Join(host::Parent(dst), "." + host::BaseName(dst) + ".XXXXXX");
    if (!::mkdtemp(tmp.data())) return FailWithErrno(errno, dst);
    int err = host::CopyTree(src, tmp);
    if (err == 0 && ::chmod(tmp.c_str(), st.st_mode & 07777) != 0) err = errno;
    if (err != 0) {
      (void)host::RemoveTree(tmp); // the partial copy; the copy's own error is the one to report
      return FailWithErrno(err, dst);
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, tmp.c_str(), times, 0);
  } else if (S_ISLNK(st.st_mode)) {
    std::optional<std::string> target = host::LinkTarget(src, st);
    if (!target) return FailWithErrno(errno, src);
    if (::symlink(target->c_str(), dst.c_str()) != 0) return FailWithErrno(errno, dst);
    if (::unlink(src.c_str()) != 0) return FailWithErrno(errno, src);
    return true;
  } else {
    return FailWith(ERROR_ACCESS_DENIED);
  }
  if (host::RenameNoReplace(AT_FDCWD, tmp, dst) != 0) {
    int err = errno;
    (void)host::RemoveTree(tmp); // the finished copy that could not be put in place
    return FailWithErrno(err, dst);
  }
  host::FlushFolder(host::Parent(dst));
  if (int err = host::RemoveTree(src)) return FailWithErrno(err, src);
  return true;
}

// Maps the two paths of a move or rename: neither may be a drive root, and the source must
// exist (its status goes to `st`). False with the last error set otherwise.
bool MapMove(std::string_view from, std::string_view to, TMappedPath& src, TMappedPath& dst,
             struct stat& st) {
  src = MapPath(from);
  if (!src.Ok) return false;
  dst = MapPath(to);
  if (!dst.Ok) return false;
  if (src.IsRoot || dst.IsRoot) return FailWith(ERROR_ACCESS_DENIED);
  if (::lstat(src.Host.c_str(), &st) != 0) return FailWithErrno(errno, src.Host);
  return true;
}

} // namespace

bool FileExists(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) return FailWithErrno(errno, m.Host);
  if (S_ISDIR(st.st_mode)) return FailWith(ERROR_FILE_NOT_FOUND);
  return true;
}

bool DirectoryExists(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) return FailWithErrno(errno, m.Host);
  if (!S_ISDIR(st.st_mode)) return FailWith(ERROR_PATH_NOT_FOUND);
  return true;
}

int64_t FileSize(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return -1;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) {
    FailWithErrno(errno, m.Host);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    FailWith(ERROR_ACCESS_DENIED);
    return -1;
  }
  if (::faccessat(AT_FDCWD, m.Host.c_str(), R_OK, AT_EACCESS) != 0) {
    FailWithErrno(errno, m.Host);
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool CreateDir(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  if (m.IsRoot) return FailWith(ERROR_ALREADY_EXISTS);
  if (::mkdir(m.Host.c_str(), 0777) != 0) return FailWithErrno(errno, m.Host);
  FolderChanged(host::Parent(m.Host));
  return true;
}

bool RemoveDir(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  if (m.IsRoot) return FailWith(ERROR_ACCESS_DENIED);
  if (::rmdir(m.Host.c_str()) != 0) {
    if (errno == EEXIST) errno = ENOTEMPTY;
    return FailWithErrno(errno, m.Host);
  }
  FolderChanged(host::Parent(m.Host));
  return true;
}

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  TMappedPath src = MapPath(from);
  if (!src.Ok) return false;
  TMappedPath dst = MapPath(to);
  if (!dst.Ok) return false;
  if (dst.IsRoot) return FailWith(ERROR_ACCESS_DENIED);

  int in = ::open(src.Host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return FailWithErrno(errno, src.Host);
  struct stat st;
  if (::fstat(in, &st) != 0) {
    int err = errno;
    ::close(in);
    return FailWithErrno(err, src.Host);
  }
  if (!S_ISREG(st.st_mode)) { // a folder, pipe or device is not copied as a file
    ::close(in);
    return FailWith(ERROR_ACCESS_DENIED);
  }
  struct stat existing;
  if (::stat(dst.Host.c_str(), &existing) == 0) {
    if (failIfExists) {
      ::close(in);
      SetLastErrorWithErrno(ERROR_FILE_EXISTS, EEXIST);
      return false;
    }
    if (S_ISDIR(existing.st_mode)) {
      ::close(in);
      return FailWith(ERROR_ACCESS_DENIED);
    }
  }

  std::string tmp = host::CopyToTemp(in, st, dst.Host, (st.st_mode & 0777) & ~host::CurrentUmask());
  int err = errno;
  ::close(in);
  FolderChanged(host::Parent(dst.Host));
  if (tmp.empty()) return FailWithErrno(err, dst.Host);
  int r = failIfExists ? host::RenameNoReplace(AT_FDCWD, tmp, dst.Host)
                       : ::rename(tmp.c_str(), dst.Host.c_str());
  if (r != 0) {
    err = errno;
    ::unlink(tmp.c_str());
    if (err == EEXIST && failIfExists) {
      SetLastErrorWithErrno(ERROR_FILE_EXISTS, EEXIST);
      return false;
    }
    return FailWithErrno(err, dst.Host);
  }
  host::FlushFolder(host::Parent(dst.Host));
  return true;
}

bool MoveFile(std::string_view from, std::string_view to) {
  TMappedPath src, dst;
  struct stat st;
  if (!MapMove(from, to, src, dst, st)) return false;
  std::string target = dst.Host;
  if (target == src.Host) {
    // The same entry under another spelling: a change of letter case, or nothing to do.
    if (dst.LastName == host::BaseName(src.Host)) return true;
    target = host::Join(host::Parent(src.Host), dst.LastName);
  }
  bool moved = host::RenameNoReplace(AT_FDCWD, src.Host, target) == 0;
  const int err = errno;
  if (!moved && err == EXDEV) moved = MoveAcross(src.Host, st, target); // records its failure
  FolderChanged(host::Parent(src.Host));
  FolderChanged(host::Parent(target));
  if (!moved && err != EXDEV) return FailWithErrno(err, target);
  return moved;
}

bool DeleteFile(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  if (::unlink(m.Host.c_str()) != 0) return FailWithErrno(errno, m.Host);
  FolderChanged(host::Parent(m.Host));
  return true;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  TMappedPath src, dst;
  struct stat st;
  if (!MapMove(from, to, src, dst, st)) return false;
  if (::rename(src.Host.c_str(), dst.Host.c_str()) != 0) return FailWithErrno(errno, dst.Host);
  FolderChanged(host::Parent(src.Host));
  FolderChanged(host::Parent(dst.Host));
  return true;
}

bool RemoveTree(std::string_view winPath) {
  TMappedPath m = MapPath(winPath);
  if (!m.Ok) return false;
  // A drive root is never removed as a whole ("Z:\" is the whole machine).
  if (m.IsRoot || m.Host == "/") return FailWith(ERROR_ACCESS_DENIED);
  const int err = host::RemoveTree(m.Host);
  FolderChanged(host::Parent(m.Host));
  if (err) return FailWithErrno(err, m.Host);
  return true;
}

} // namespace dravik::winfs
