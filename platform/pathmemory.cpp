#include "pathmemory.h"

#include "hostfile.h"
#include "namefold.h"
#include "prefix.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace dravik::winfs {

namespace {

// Bounds of the memory; past one, that part is forgotten whole and filled again as needed.
constexpr size_t kMaxNames = 200000;   // folder names kept, over all folders
constexpr size_t kMaxResolved = 20000; // folder paths kept
constexpr size_t kMaxDrives = 1000;

// A folder's entries at one moment: creating, deleting or renaming an entry gives the folder
// another version.
using TFolderId = TFileVersion;

std::optional<TFolderId> FolderId(const std::string& folder) {
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  return host::VersionOf(st);
}

// The names of one folder, sorted by folded form and then byte by byte: the first name of a
// folded form is the one a case-insensitive look-up finds.
struct TListing {
  TFolderId Id;
  bool Settled = false; // remembered only when settled
  std::vector<std::pair<std::u32string, std::string>> Names;

  // What `name` finds: itself when it is there, else the first name of its folded form.
  const std::string* Find(std::string_view name) const {
    const std::u32string key = FoldName(name);
    auto it = std::lower_bound(
        Names.begin(), Names.end(), key,
        [](const auto& entry, const std::u32string& k) { return entry.first < k; });
    const std::string* first = nullptr;
    for (; it != Names.end() && it->first == key; ++it) {
      if (it->second == name) return &it->second;
      if (!first) first = &it->second;
    }
    return first;
  }
};

std::shared_ptr<const TListing> ReadListing(const std::string& folder) {
  struct timespec readFrom;
  ::clock_gettime(CLOCK_REALTIME, &readFrom);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  DIR* d = ::fstat(fd, &st) == 0 ? ::fdopendir(fd) : nullptr;
  if (!d) {
    ::close(fd);
    return nullptr;
  }
  auto listing = std::make_shared<TListing>();
  listing->Id = host::VersionOf(st);
  listing->Settled = host::Settled(st, readFrom);
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n == "." || n == "..") continue;
    listing->Names.emplace_back(FoldName(n), std::string(n));
  }
  ::closedir(d);
  std::sort(listing->Names.begin(), listing->Names.end());
  return listing;
}

// A folder that decided a component of a resolved path, as it was then.
struct TDecider {
  std::string Folder;
  TFolderId Id;
};

// A folder path resolved below a root.
struct TResolved {
  std::string Host;
  bool Exists = true; // every component was found
  // The folders in which a component was not found as spelled. The components found as spelled
  // hold while the path leads through them.
  std::vector<TDecider> Deciders;
};

struct TDrive {
  std::string Folder;
  dev_t Dev = 0;
  ino_t Ino = 0;
};

class TMemory {
public:
  std::shared_ptr<const TListing> Listing(const std::string& folder);
  std::shared_ptr<const TResolved> Resolved(const std::string& key);
  void Remember(const std::string& key, std::shared_ptr<const TResolved> resolved);
  void Forget(const std::string& key);
  void FolderChanged(const std::string& folder);
  std::optional<std::string> Drive(const std::string& link, const struct stat& target);
  void RememberDrive(const std::string& link, const std::string& folder, const struct stat& st);

private:
  bool Holds(const TDecider& decider);

  std::mutex FMutex;
  std::unordered_map<std::string, std::shared_ptr<const TListing>> FListings;
  size_t FNames = 0;
  std::unordered_map<std::string, std::shared_ptr<const TResolved>> FResolved;
  std::unordered_map<std::string, TDrive> FDrives; // by dosdevices link
};

// Never destroyed: file operations may run while the program's static objects go.
TMemory& Memory() {
  static TMemory* memory = new TMemory;
  return *memory;
}

// The folder's names: the remembered ones while the folder is unchanged, else read anew (and
// remembered when settled). Null when the folder cannot be read.
std::shared_ptr<const TListing> TMemory::Listing(const std::string& folder) {
  std::shared_ptr<const TListing> known;
  {
    std::lock_guard lock(FMutex);
    if (auto it = FListings.find(folder); it != FListings.end()) known = it->second;
  }
  if (known && FolderId(folder) == known->Id) return known;
  std::shared_ptr<const TListing> fresh = ReadListing(folder);
  std::lock_guard lock(FMutex);
  if (auto it = FListings.find(folder); it != FListings.end()) {
    FNames -= it->second->Names.size();
    FListings.erase(it);
  }
  if (fresh && fresh->Settled) {
    if (FNames + fresh->Names.size() > kMaxNames) {
      FListings.clear();
      FNames = 0;
    }
    FNames += fresh->Names.size();
    FListings.emplace(folder, fresh);
  }
  return fresh;
}

bool TMemory::Holds(const TDecider& decider) {
  {
    std::lock_guard lock(FMutex);
    auto it = FListings.find(decider.Folder);
    if (it == FListings.end() || !(it->second->Id == decider.Id)) return false;
  }
  return FolderId(decider.Folder) == decider.Id;
}

// A remembered folder path whose deciding folders are all unchanged.
std::shared_ptr<const TResolved> TMemory::Resolved(const std::string& key) {
  std::shared_ptr<const TResolved> known;
  {
    std::lock_guard lock(FMutex);
    if (auto it = FResolved.find(key); it != FResolved.end()) known = it->second;
  }
  if (!known) return nullptr;
  for (const TDecider& decider : known->Deciders)
    if (!Holds(decider)) {
      Forget(key);
      return nullptr;
    }
  return known;
}

void TMemory::Remember(const std::string& key, std::shared_ptr<const TResolved> resolved) {
  std::lock_guard lock(FMutex);
  if (FResolved.size() >= kMaxResolved) FResolved.clear();
  FResolved[key] = std::move(resolved);
}

void TMemory::Forget(const std::string& key) {
  std::lock_guard lock(FMutex);
  FResolved.erase(key);
}

void TMemory::FolderChanged(const std::string& folder) {
  std::lock_guard lock(FMutex);
  if (auto it = FListings.find(folder); it != FListings.end()) {
    FNames -= it->second->Names.size();
    FListings.erase(it);
  }
}

// The remembered folder of a drive link whose target has the status `target`, when it still
// names that folder.
std::optional<std::string> TMemory::Drive(const std::string& link, const struct stat& target) {
  std::string folder;
  {
    std::lock_guard lock(FMutex);
    auto it = FDrives.find(link);
    if (it == FDrives.end() || it->second.Dev != target.st_dev || it->second.Ino != target.st_ino)
      return std::nullopt;
    folder = it->second.Folder;
  }
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || st.st_dev != target.st_dev || st.st_ino != target.st_ino)
    return std::nullopt;
  return folder;
}

void TMemory::RememberDrive(const std::string& link, const std::string& folder,
                            const struct stat& st) {
  std::lock_guard lock(FMutex);
  if (FDrives.size() >= kMaxDrives) FDrives.clear();
  FDrives[link] = {folder, st.st_dev, st.st_ino};
}

// Resolves the folder path `names` below `root`, recording the folders whose names decided it;
// remembers it under `key` when every such folder's names were settled.
std::shared_ptr<const TResolved> ResolveFolder(const std::string& root,
                                               std::span<const std::string_view> names,
                                               const std::string& key) {
  auto r = std::make_shared<TResolved>();
  r->Host = root;
  bool remember = true;
  for (const std::string_view name : names) {
    std::string spelled = host::Join(r->Host, name);
    if (!r->Exists) {
      r->Host = std::move(spelled);
      continue;
    }
    struct stat st;
    if (::lstat(spelled.c_str(), &st) == 0) {
      r->Host = std::move(spelled);
      continue;
    }
    std::shared_ptr<const TListing> listing;
    if (errno == ENOENT) listing = Memory().Listing(r->Host);
    if (!listing) {
      // Not a folder that can be searched: nothing below it is found.
      remember = false;
      r->Exists = false;
      r->Host = std::move(spelled);
      continue;
    }
    remember = remember && listing->Settled;
    r->Deciders.push_back({r->Host, listing->Id});
    if (const std::string* found = listing->Find(name)) {
      r->Host = host::Join(r->Host, *found);
    } else {
      r->Exists = false;
      r->Host = std::move(spelled);
    }
  }
  if (remember) Memory().Remember(key, r);
  return r;
}

} // namespace

std::optional<std::string> DriveFolder(char letter) {
  const char lower = static_cast<char>(letter | 0x20);
  const std::string link = WinePrefix() + "/dosdevices/" + lower + ":";
  struct stat target;
  if (::stat(link.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return std::nullopt;
  if (auto known = Memory().Drive(link, target)) return known;
  char* real = ::realpath(link.c_str(), nullptr);
  if (!real) return std::nullopt;
  std::string folder(real);
  std::free(real);
  struct stat st;
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  Memory().RememberDrive(link, folder, st);
  return folder;
}

std::string ResolveBelow(const std::string& root, std::span<const std::string_view> names) {
  if (names.empty()) return root;
  const std::span<const std::string_view> folders = names.first(names.size() - 1);
  const std::string_view last = names.back();
  size_t length = root.size();
  for (const std::string_view name : folders)
    length += 1 + name.size();
  std::string key;
  key.reserve(length);
  key = root;
  for (const std::string_view name : folders) {
    key += '\0';
    key += name;
  }
  for (int attempt = 0;; ++attempt) {
    std::shared_ptr<const TResolved> folder = Memory().Resolved(key);
    const bool remembered = folder != nullptr;
    if (!remembered) folder = ResolveFolder(root, folders, key);
    std::string spelled = host::Join(folder->Host, last);
    if (!folder->Exists) return spelled;
    // Found as spelled (which also shows that the path still leads through the names it was
    // found by), or not to be searched.
    struct stat st;
    if (::lstat(spelled.c_str(), &st) == 0 || errno != ENOENT) return spelled;
    std::shared_ptr<const TListing> listing = Memory().Listing(folder->Host);
    if (!listing) {
      // The folder is gone: what was remembered of the path no longer holds.
      if (remembered && attempt == 0) {
        Memory().Forget(key);
        continue;
      }
      return spelled;
    }
    const std::string* found = listing->Find(last);
    return found ? host::Join(folder->Host, *found) : spelled;
  }
}

void FolderChanged(const std::string& hostFolder) {
  Memory().FolderChanged(hostFolder);
}

} // namespace dravik::winfs
