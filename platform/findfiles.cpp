#include "findfiles.h"

#include "hostfile.h"
#include "lasterror.h"
#include "namefold.h"
#include "pathmap.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <utility>

namespace dravik::winfs {

namespace {

struct TListed {
  TSearchRec Rec;
  TFileVersion Version; // with `versions` only
  bool Settled = false;
};

// FindFiles; with `versions`, every entry FindFiles(winMask, faAnyFile) would list, with its
// name and version alone.
std::vector<TListed> List(std::string_view winMask, int attr, bool versions) {
  std::vector<TListed> result;
  if (winMask.empty() || winMask.find('\0') != std::string_view::npos) {
    FailWith(ERROR_INVALID_NAME);
    return result;
  }
  size_t cut = winMask.find_last_of("\\/");
  std::string_view folder, mask;
  if (cut != std::string_view::npos) {
    folder = winMask.substr(0, cut + 1);
    mask = winMask.substr(cut + 1);
  } else if (HasDriveLetter(winMask)) {
    folder = winMask.substr(0, 2);
    mask = winMask.substr(2);
  } else {
    folder = ".";
    mask = winMask;
  }
  if (mask.empty()) {
    FailWith(ERROR_FILE_NOT_FOUND);
    return result;
  }
  TMappedPath dir = MapPath(folder);
  if (!dir.Ok) return result;

  // Windows rules: a mask ending in ".*" also matches names without an extension, so "*.*"
  // matches every name.
  const std::u32string maskKey = FoldName(mask);
  std::optional<std::u32string> bareKey;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*")
    bareKey = FoldName(mask.substr(0, mask.size() - 2));

  // Versions are settled against a moment before any status is taken.
  struct timespec readFrom;
  ::clock_gettime(CLOCK_REALTIME, &readFrom);
  DIR* d = ::opendir(dir.Host.c_str());
  if (!d) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      SetLastErrorWithErrno(ERROR_PATH_NOT_FOUND, err);
    else
      SetLastErrno(err, dir.Host);
    return result;
  }
  std::vector<std::pair<std::u32string, TListed>> found;
  const int fd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    // A name with a backslash cannot be named by a Windows path: leave it out rather than
    // hand out a name that leads elsewhere.
    if (name.find('\\') != std::string_view::npos) continue;
    std::u32string key = FoldName(name);
    if (!MatchFolded(key, maskKey) && !(bareKey && MatchFolded(key, *bareKey))) continue;
    struct stat st;
    if (::fstatat(fd, e->d_name, &st, 0) != 0) continue; // broken link, or gone meanwhile
    if (versions) {
      TListed listed;
      listed.Rec.Name = std::string(name);
      listed.Version = host::VersionOf(st);
      listed.Settled = host::Settled(st, readFrom);
      found.emplace_back(std::move(key), std::move(listed));
      continue;
    }
    int a = 0;
    if (S_ISDIR(st.st_mode))
      a = faDirectory;
    else if (S_ISREG(st.st_mode))
      a = faArchive;
    else
      a = faSysFile; // devices, pipes, sockets
    if (name[0] == '.') a |= faHidden;
    if (::faccessat(fd, e->d_name, W_OK, AT_EACCESS) != 0) a |= faReadOnly;
    if ((a & faDirectory) && !(attr & faDirectory)) continue;
    if ((a & faHidden) && !(attr & faHidden)) continue;
    if ((a & faSysFile) && !(attr & faSysFile)) continue;
    TListed listed;
    listed.Rec.Name = std::string(name);
    listed.Rec.Attr = a;
    listed.Rec.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    listed.Rec.Time = st.st_mtime;
    found.emplace_back(std::move(key), std::move(listed));
  }
  ::closedir(d);
  std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) {
    if (x.first != y.first) return x.first < y.first;
    return x.second.Rec.Name < y.second.Rec.Name;
  });
  result.reserve(found.size());
  for (auto& f : found)
    result.push_back(std::move(f.second));
  if (result.empty()) FailWith(ERROR_FILE_NOT_FOUND);
  return result;
}

// What `take` makes of each listed entry, in order.
template <typename F> auto Each(std::vector<TListed> listed, F take) {
  std::vector<std::invoke_result_t<F, TListed&>> out;
  out.reserve(listed.size());
  for (TListed& l : listed)
    out.push_back(take(l));
  return out;
}

} // namespace

std::vector<TSearchRec> FindFiles(std::string_view winMask, int attr) {
  return Each(List(winMask, attr, false), [](TListed& l) { return std::move(l.Rec); });
}

std::vector<TFoundFile> FindVersions(std::string_view winMask) {
  return Each(List(winMask, faAnyFile, true), [](TListed& l) {
    return TFoundFile{std::move(l.Rec.Name), l.Version, l.Settled};
  });
}

} // namespace dravik::winfs
