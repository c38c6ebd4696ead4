#include "filemover.h"

#include "fileops.h"
#include "hostfile.h"
#include "lasterror.h"
#include "namefold.h"
#include "pathmap.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace dravik::winfs {

TFileMover::TFileMover(std::string_view winFolder0, std::string_view winFolder1) {
  const std::string_view folders[2] = {winFolder0, winFolder1};
  for (size_t i = 0; i < 2; ++i) {
    TFolder& f = FFolders[i];
    f.Win = std::string(folders[i]);
    if (!f.Win.empty() && f.Win.back() != '\\') f.Win += '\\';
    const TMappedPath m = MapPath(f.Win);
    // Without the folder open, each move goes through MoveFile, which says why it fails.
    f.Fd = m.Ok ? ::open(m.Host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (f.Fd >= 0) f.Host = m.Host;
  }
}

TFileMover::~TFileMover() {
  for (TFolder& f : FFolders)
    if (f.Fd >= 0) ::close(f.Fd);
}

bool TFileMover::List(TFolder& f) {
  if (f.Listed) return true;
  const int fd = ::openat(f.Fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* d = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (!d) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  while (dirent* e = ::readdir(d)) {
    const std::string_view n(e->d_name);
    if (n != "." && n != "..") f.Names[FoldName(n)].emplace_back(n);
  }
  ::closedir(d);
  f.Listed = true;
  return true;
}

bool TFileMover::Move(int from, const std::string& name) {
  TFolder& src = FFolders[static_cast<size_t>(from & 1)];
  TFolder& dst = FFolders[static_cast<size_t>((from & 1) ^ 1)];
  if (src.Fd < 0 || dst.Fd < 0 || name.empty() || name.find_first_of("\\/") != std::string::npos ||
      !List(dst))
    return MoveFile(src.Win + name, dst.Win + name);
  const std::u32string key = FoldName(name);
  if (auto there = dst.Names.find(key); there != dst.Names.end() && !there->second.empty())
    return FailWithErrno(EEXIST, host::Join(dst.Host, there->second.front()));
  // The source as spelled, else (listing its folder only then) the first of another spelling.
  std::string source = name;
  for (bool retried = false;; retried = true) {
    // Relative to the folders opened once, the kernel need not walk the whole path each time.
    int result = ::renameat2(src.Fd, source.c_str(), dst.Fd, name.c_str(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
      result =
          host::RenameNoReplace(AT_FDCWD, host::Join(src.Host, source), host::Join(dst.Host, name));
    if (result == 0) break;
    const int err = errno;
    if (err == EXDEV) { // folders on two file systems: MoveFile copies and deletes
      if (!MoveFile(src.Win + source, dst.Win + name)) return false;
      break;
    }
    if (err != ENOENT) return FailWithErrno(err, host::Join(dst.Host, name));
    if (retried || !List(src)) return FailWithErrno(err, host::Join(src.Host, name));
    auto here = src.Names.find(key);
    if (here == src.Names.end() || here->second.empty())
      return FailWithErrno(ENOENT, host::Join(src.Host, name));
    source = *std::min_element(here->second.begin(), here->second.end());
    if (source == name) return FailWithErrno(ENOENT, host::Join(src.Host, name));
  }
  if (src.Listed) {
    std::vector<std::string>& spellings = src.Names[key];
    spellings.erase(std::remove(spellings.begin(), spellings.end(), source), spellings.end());
  }
  dst.Names[key].push_back(name);
  return true;
}

} // namespace dravik::winfs
