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

TFileMover::~TFileMover() {
  for (TFolder& f : FFolders)
    if (f.Fd >= 0) ::close(f.Fd);
}

TFileMover::TFileMover(std::string_view winFolder0, std::string_view winFolder1) {
  const std::string_view folders[2] = {winFolder0, winFolder1};
  for (size_t i = 0; i < 2; ++i) {
    TFolder& f = FFolders[i];
    f.Win = std::string(folders[i]);
    if (!f.Win.empty() && f.Win.back() != '\\') f.Win += '\\';
    const TMappedPath m = MapPath(f.Win);
    const int fd = m.Ok ? ::open(m.Host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* d = fd >= 0 ? ::fdopendir(::dup(fd)) : nullptr;
    if (!d) {
      if (fd >= 0) ::close(fd);
      continue; // each move then goes through MoveFile, which says why it fails
    }
    while (dirent* e = ::readdir(d)) {
      const std::string_view n(e->d_name);
      if (n != "." && n != "..") f.Names[FoldName(n)].emplace_back(n);
    }
    ::closedir(d);
    f.Host = m.Host;
    f.Fd = fd;
  }
}

bool TFileMover::Move(int from, const std::string& name) {
  TFolder& src = FFolders[static_cast<size_t>(from & 1)];
  TFolder& dst = FFolders[static_cast<size_t>((from & 1) ^ 1)];
  if (src.Host.empty() || dst.Host.empty() || name.empty() ||
      name.find_first_of("\\/") != std::string::npos)
    return MoveFile(src.Win + name, dst.Win + name);
  const std::u32string key = FoldName(name);
  auto here = src.Names.find(key);
  if (here == src.Names.end() || here->second.empty())
    return FailWithErrno(ENOENT, host::Join(src.Host, name));
  std::vector<std::string>& spellings = here->second;
  auto found = std::find(spellings.begin(), spellings.end(), name);
  if (found == spellings.end()) found = std::min_element(spellings.begin(), spellings.end());
  if (auto there = dst.Names.find(key); there != dst.Names.end() && !there->second.empty())
    return FailWithErrno(EEXIST, host::Join(dst.Host, there->second.front()));
  // Relative to the folders opened once, the kernel need not walk the whole path each time.
  int result = ::renameat2(src.Fd, found->c_str(), dst.Fd, name.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP))
    result =
        host::RenameNoReplace(AT_FDCWD, host::Join(src.Host, *found), host::Join(dst.Host, name));
  if (result != 0) {
    if (errno != EXDEV) return FailWithErrno(errno, host::Join(dst.Host, name));
    // Folders on two file systems: MoveFile copies and deletes.
    if (!MoveFile(src.Win + *found, dst.Win + name)) return false;
  }
  spellings.erase(found);
  dst.Names[key].push_back(name);
  return true;
}

} // namespace dravik::winfs
