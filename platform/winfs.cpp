#include "winfs.h"

#include "codepage.h"
#include "prefix.h"
#include "sysutils.h"
#include "winfs_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <mutex>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>

namespace dravik::winfs {

// ---------------------------------------------------------------------------------------------
// Last error

namespace {

struct TLastError {
  int Code = ERROR_SUCCESS;
  int Errno = 0; // the errno behind Code, 0 when the code was set directly
};

thread_local TLastError tLastError;

// Records a Windows code with the errno behind it (the caller chooses the code where one errno
// stands for several: EEXIST is 80 for one call and 183 for another).
void SetError(int code, int err) {
  tLastError.Code = code;
  tLastError.Errno = err;
}

constexpr int ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr int ERROR_INVALID_HANDLE = 6;
constexpr int ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr int ERROR_NOT_READY = 21;
constexpr int ERROR_LOCK_VIOLATION = 33;
constexpr int ERROR_NOT_SUPPORTED = 50;
constexpr int ERROR_SEEK_ON_DEVICE = 132;
constexpr int ERROR_FILE_TOO_LARGE = 223;
constexpr int ERROR_IO_DEVICE = 1117;
constexpr int ERROR_TOO_MANY_LINKS = 1142;
constexpr int ERROR_CANT_RESOLVE_FILENAME = 1921;

// Each Windows code the layer reports, with the errno whose text describes it.
constexpr std::pair<int, int> kCodeErrno[] = {
    {ERROR_SUCCESS, 0},
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_NOT_READY, ENODEV},
    {ERROR_SHARING_VIOLATION, EBUSY},
    {ERROR_LOCK_VIOLATION, EAGAIN},
    {ERROR_NOT_SUPPORTED, EOPNOTSUPP},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_INVALID_NAME, EINVAL},
    {ERROR_SEEK_ON_DEVICE, ESPIPE},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_IO_DEVICE, EIO},
    {ERROR_TOO_MANY_LINKS, EMLINK},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
};

bool IsDirectory(const std::string& hostPath) {
  struct stat st;
  return ::stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int ErrnoToCode(int err, const std::string& hostPath) {
  switch (err) {
  case 0:
    return ERROR_SUCCESS;
  case ENOENT:
    return !hostPath.empty() && IsDirectory(detail::HostParent(hostPath)) ? ERROR_FILE_NOT_FOUND
                                                                          : ERROR_PATH_NOT_FOUND;
  case ENOTDIR:
    return ERROR_PATH_NOT_FOUND;
  case EACCES:
  case EPERM:
  case EISDIR:
    return ERROR_ACCESS_DENIED;
  case EEXIST:
    return ERROR_ALREADY_EXISTS;
  case ENOSPC:
  case EDQUOT:
    return ERROR_DISK_FULL;
  case ENAMETOOLONG:
    return ERROR_FILENAME_EXCED_RANGE;
  case EROFS:
    return ERROR_WRITE_PROTECT;
  case EBUSY:
  case ETXTBSY:
    return ERROR_SHARING_VIOLATION;
  case EXDEV:
    return ERROR_NOT_SAME_DEVICE;
  case EINVAL:
    return ERROR_INVALID_PARAMETER;
  case ENOTEMPTY:
    return ERROR_DIR_NOT_EMPTY;
  case EMFILE:
  case ENFILE:
    return ERROR_TOO_MANY_OPEN_FILES;
  case EBADF:
    return ERROR_INVALID_HANDLE;
  case ENOMEM:
    return ERROR_NOT_ENOUGH_MEMORY;
  case ENXIO:
  case ENODEV:
    return ERROR_NOT_READY;
  case EAGAIN:
    return ERROR_LOCK_VIOLATION;
  case ENOSYS:
  case EOPNOTSUPP:
    return ERROR_NOT_SUPPORTED;
  case ESPIPE:
    return ERROR_SEEK_ON_DEVICE;
  case EFBIG:
    return ERROR_FILE_TOO_LARGE;
  case EMLINK:
    return ERROR_TOO_MANY_LINKS;
  case ELOOP:
    return ERROR_CANT_RESOLVE_FILENAME;
  default:
    return ERROR_IO_DEVICE;
  }
}

bool Fail(int code) {
  SetError(code, 0);
  return false;
}

bool FailErrno(int err, const std::string& hostPath) {
  detail::SetLastErrno(err, hostPath);
  return false;
}

} // namespace

int GetLastError() {
  return tLastError.Code;
}

void SetLastError(int code) {
  SetError(code, 0);
}

std::string LastErrorText() {
  if (tLastError.Errno != 0) return detail::ErrnoText(tLastError.Errno);
  return SysErrorMessage(tLastError.Code);
}

std::string SysErrorMessage(int code) {
  for (const auto& [c, err] : kCodeErrno)
    if (c == code) return detail::ErrnoText(err);
  return Format("Unknown error %d", code);
}

void RaiseLastInOutError() {
  throw EInOutError(GetLastError());
}

namespace detail {

void SetLastErrno(int err, const std::string& hostPath) {
  SetError(ErrnoToCode(err, hostPath), err);
}

std::string ErrnoText(int err) {
  char buf[256];
  // The GNU strerror_r returns the text, which may or may not be in `buf`.
  const char* text = ::strerror_r(err, buf, sizeof buf);
  return text ? std::string(text) : Format("Unknown error %d", err);
}

std::string HostParent(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return hostPath.substr(0, slash);
}

std::string HostBaseName(const std::string& hostPath) {
  size_t slash = hostPath.rfind('/');
  return slash == std::string::npos ? hostPath : hostPath.substr(slash + 1);
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
  std::string name = HostBaseName(hostTarget);
  // Keep the temporary name within NAME_MAX; cut on a UTF-8 character boundary.
  constexpr size_t kMaxKept = 200;
  if (name.size() > kMaxKept) {
    size_t cut = kMaxKept;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
      --cut;
    name.resize(cut);
  }
  std::string dir = HostParent(hostTarget);
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

bool FsyncDir(const std::string& hostDir) {
  int fd = ::open(hostDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  int r = ::fsync(fd);
  int err = errno;
  ::close(fd);
  if (r != 0 && err != EINVAL && err != EROFS) {
    errno = err;
    return false;
  }
  return true;
}

} // namespace detail

// ---------------------------------------------------------------------------------------------
// Names: letter case folding and wildcard matching

namespace {

// The upper-case form of a character for comparing names. Covers ASCII, Latin-1, Latin
// Extended-A and the regular parts of Extended-B and Extended Additional, Greek, Cyrillic,
// Armenian, Roman numerals, circled and full-width letters. Fixed tables: the result never
// depends on the process's locale.
char32_t FoldChar(char32_t c) {
  auto evenUpper = [](char32_t x) { return (x & 1) ? x - 1 : x; };
  auto oddUpper = [](char32_t x) { return (x & 1) ? x : x - 1; };
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C; // micro sign -> Greek capital mu
    if (c == 0xFF) return 0x178;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return oddUpper(c);
    return evenUpper(c);
  }
  if (c < 0x250) {
    if (c >= 0x1CD && c <= 0x1DC) return oddUpper(c);
    if ((c >= 0x1DE && c <= 0x1EF) || (c >= 0x1F8 && c <= 0x21F) || (c >= 0x222 && c <= 0x233) ||
        (c >= 0x246 && c <= 0x24F))
      return evenUpper(c);
    return c;
  }
  if (c < 0x400) {
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c >= 0x3B1 && c <= 0x3CB) return c - 32;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 37;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 63;
    if (c >= 0x3D8 && c <= 0x3EF) return evenUpper(c);
    return c;
  }
  if (c < 0x530) {
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
      return evenUpper(c);
    if (c >= 0x4C1 && c <= 0x4CE) return oddUpper(c);
    if (c == 0x4CF) return 0x4C0;
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return c - 48;
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return evenUpper(c);
  if (c >= 0x2170 && c <= 0x217F) return c - 16;
  if (c >= 0x24D0 && c <= 0x24E9) return c - 26;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

// A name as a sequence of case-folded characters. A byte that is not part of well-formed
// UTF-8 stands for itself, above every character, so no two different names become one.
std::u32string FoldKey(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t c;
    if (DecodeUtf8(s, i, c))
      out.push_back(FoldChar(c));
    else
      out.push_back(0x110000 + static_cast<unsigned char>(s[i++]));
  }
  return out;
}

// Windows wildcard match over folded names: "*" any run, "?" exactly one character.
bool WildMatch(std::u32string_view text, std::u32string_view mask) {
  return dravik::detail::WildcardMatch(text, mask, std::equal_to<char32_t>());
}

// ---------------------------------------------------------------------------------------------
// Path mapping

bool IsSep(char c) {
  return c == '\\' || c == '/';
}
bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string JoinHost(const std::string& dir, std::string_view name) {
  std::string r = dir;
  if (r.empty() || r.back() != '/') r += '/';
  r += name;
  return r;
}

std::optional<std::string> RealPath(const std::string& hostPath) {
  char* r = ::realpath(hostPath.c_str(), nullptr);
  if (!r) return std::nullopt;
  std::string s(r);
  std::free(r);
  return s;
}

// The folder a drive letter stands for: its dosdevices link resolved, when that is a folder.
std::optional<std::string> DriveRoot(char letter) {
  char lower = static_cast<char>(letter | 0x20);
  auto root = RealPath(WinePrefix() + "/dosdevices/" + lower + ":");
  if (!root || !IsDirectory(*root)) return std::nullopt;
  return root;
}

std::optional<std::string> CurrentFolder() {
  char* cwd = ::getcwd(nullptr, 0);
  if (!cwd) return std::nullopt;
  std::string s(cwd);
  std::free(cwd);
  return s;
}

// Finds `name` in folder `dir`: the exact name, else the first name in byte order that
// matches it without regard to letter case.
std::optional<std::string> FindEntry(const std::string& dir, const std::string& name) {
  struct stat st;
  if (::lstat(JoinHost(dir, name).c_str(), &st) == 0) return name;
  if (errno != ENOENT) return std::nullopt;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return std::nullopt;
  const std::u32string key = FoldKey(name);
  std::optional<std::string> best;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n == "." || n == "..") continue;
    if (FoldKey(n) == key && (!best || n < *best)) best = std::string(n);
  }
  ::closedir(d);
  return best;
}

struct TMapped {
  bool Ok = false;
  std::string Host;     // host path
  std::string LastName; // the last component as the caller spelled it
  bool IsRoot = false;  // a drive root (or "/"): nothing below it was named
};

std::optional<std::string> WindowsPathOf(const std::string& absHostPath);

TMapped MapPath(std::string_view winPath) {
  TMapped r;
  if (winPath.empty() || winPath.find('\0') != std::string_view::npos) {
    Fail(ERROR_INVALID_NAME);
    return r;
  }
  if (winPath.size() >= 2 && IsSep(winPath[0]) && IsSep(winPath[1])) {
    Fail(ERROR_PATH_NOT_FOUND); // UNC and device paths have no place in a prefix
    return r;
  }

  struct TComp {
    std::string Name;
    bool Known; // a component of the current folder: exists as spelled
  };
  std::vector<TComp> comps;
  std::string root;
  size_t pos = 0;
  if (winPath.size() >= 2 && IsAsciiLetter(winPath[0]) && winPath[1] == ':') {
    auto dr = DriveRoot(winPath[0]);
    if (!dr) {
      Fail(ERROR_PATH_NOT_FOUND);
      return r;
    }
    root = *dr;
    pos = 2;
  } else {
    auto cwd = CurrentFolder();
    if (!cwd) {
      FailErrno(errno, std::string());
      return r;
    }
    if (IsSep(winPath[0])) {
      // The root of the drive that holds the current folder.
      auto w = WindowsPathOf(*cwd);
      std::optional<std::string> dr;
      if (w) dr = DriveRoot((*w)[0]);
      if (!dr) {
        Fail(ERROR_PATH_NOT_FOUND);
        return r;
      }
      root = *dr;
    } else {
      root = "/";
      size_t b = 0;
      while (b < cwd->size()) {
        size_t e = cwd->find('/', b);
        if (e == std::string::npos) e = cwd->size();
        if (e > b) comps.push_back({cwd->substr(b, e - b), true});
        b = e + 1;
      }
    }
  }

  // Split on either separator; runs of separators count as one; fold "." and ".." without
  // ever climbing above the root.
  while (pos < winPath.size()) {
    size_t e = pos;
    while (e < winPath.size() && !IsSep(winPath[e]))
      ++e;
    std::string_view c = winPath.substr(pos, e - pos);
    if (c == "..") {
      if (!comps.empty()) comps.pop_back();
    } else if (!c.empty() && c != ".") {
      comps.push_back({std::string(c), false});
    }
    pos = e + 1;
  }

  std::string cur = root;
  bool searching = true; // stops at the first component that does not exist
  for (const auto& c : comps) {
    if (c.Known || !searching) {
      cur = JoinHost(cur, c.Name);
      continue;
    }
    auto found = FindEntry(cur, c.Name);
    if (!found) searching = false;
    cur = JoinHost(cur, found ? *found : c.Name);
  }
  r.Ok = true;
  r.Host = cur;
  r.IsRoot = comps.empty();
  r.LastName = comps.empty() ? std::string() : comps.back().Name;
  return r;
}

// Windows path of an absolute host path; the deepest existing folder above it is resolved
// (symbolic links, "..") and the rest is folded by name. The last component itself is not
// resolved: a link keeps its own name.
std::optional<std::string> WindowsPathOf(const std::string& absHostPath) {
  std::vector<std::string> comps;
  size_t b = 0;
  while (b < absHostPath.size()) {
    size_t e = absHostPath.find('/', b);
    if (e == std::string::npos) e = absHostPath.size();
    if (e > b) comps.push_back(absHostPath.substr(b, e - b));
    b = e + 1;
  }
  size_t k = comps.size();
  if (k > 0 && comps.back() != "." && comps.back() != "..") --k;
  std::string resolved;
  for (;; --k) {
    std::string prefix;
    for (size_t i = 0; i < k; ++i)
      prefix += "/" + comps[i];
    if (auto rp = RealPath(prefix.empty() ? "/" : prefix)) {
      resolved = *rp;
      break;
    }
    if (k == 0) {
      resolved = "/";
      break;
    }
  }
  for (size_t i = k; i < comps.size(); ++i) {
    if (comps[i] == ".") continue;
    if (comps[i] == "..") {
      resolved = detail::HostParent(resolved);
      continue;
    }
    resolved = JoinHost(resolved, comps[i]);
  }

  char bestLetter = 0;
  std::string bestRoot;
  for (char letter = 'a'; letter <= 'z'; ++letter) {
    auto root = DriveRoot(letter);
    if (!root) continue;
    bool holds = *root == "/" || resolved == *root ||
                 (resolved.compare(0, root->size(), *root) == 0 && resolved[root->size()] == '/');
    if (holds && (bestLetter == 0 || root->size() > bestRoot.size())) {
      bestLetter = letter;
      bestRoot = *root;
    }
  }
  if (bestLetter == 0) {
    Fail(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::string rest = resolved.substr(bestRoot == "/" ? 1 : bestRoot.size());
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  // A Linux name with a backslash in it cannot be named by a Windows path: it would turn into
  // two components and name a different file.
  if (rest.find('\\') != std::string::npos) {
    Fail(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::replace(rest.begin(), rest.end(), '/', '\\');
  std::string w;
  w += static_cast<char>(bestLetter - 'a' + 'A');
  w += ":\\";
  return w + rest;
}

// ---------------------------------------------------------------------------------------------
// Host operations

// Copies the bytes of one open file to another in chunks. False with errno set on failure.
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
    if (!detail::WriteAll(out, buf.get(), static_cast<size_t>(n))) return false;
  }
}

// Copies the regular file `src` (already open as `in`, status `st`) into a new temporary file
// beside `dstHost`, with its modification time and the given mode, flushed to disk. Returns the
// temporary file's path, or empty with errno set (nothing left behind).
std::string CopyToTemp(int in, const struct stat& st, const std::string& dstHost, mode_t mode) {
  std::string tmp;
  int out = detail::MakeTempBeside(dstHost, tmp);
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

// Removes everything inside the open folder `dirFd`, never following symbolic links and
// never entering another file system. Returns 0 or the first errno met (it goes on past
// errors).
int RemoveContents(int dirFd, dev_t dev) {
  int dupFd = ::dup(dirFd);
  if (dupFd < 0) return errno;
  DIR* d = ::fdopendir(dupFd);
  if (!d) {
    int err = errno;
    ::close(dupFd);
    return err;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  int firstErr = 0;
  auto note = [&](int err) {
    if (firstErr == 0) firstErr = err;
  };
  for (const auto& n : names) {
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

// Removes a host path and everything below it. Returns 0 or an errno.
int RemoveTreeHost(const std::string& hostPath) {
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

// The target of the symbolic link `path` (status `st`); none with errno set when it cannot be
// read, or ENAMETOOLONG when it grew after `st` was taken.
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

// Copies the folder `src` into the existing empty folder `dst`: files with their modes and
// times, folders, symbolic links as links. Returns 0 or an errno.
int CopyTreeHost(const std::string& src, const std::string& dst) {
  DIR* d = ::opendir(src.c_str());
  if (!d) return errno;
  std::vector<std::string> names;
  while (dirent* e = ::readdir(d)) {
    std::string_view n(e->d_name);
    if (n != "." && n != "..") names.emplace_back(n);
  }
  ::closedir(d);
  for (const auto& n : names) {
    std::string s = JoinHost(src, n), t = JoinHost(dst, n);
    struct stat st;
    if (::lstat(s.c_str(), &st) != 0) return errno;
    if (S_ISDIR(st.st_mode)) {
      if (::mkdir(t.c_str(), 0700) != 0) return errno;
      if (int err = CopyTreeHost(s, t)) return err;
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

// Moves `src` (status `st`) to `dst` on another file system: copies, puts the copy in place
// without replacing anything, then removes the source.
bool MoveAcross(const std::string& src, const struct stat& st, const std::string& dst) {
  std::string tmp;
  if (S_ISREG(st.st_mode)) {
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in < 0) return FailErrno(errno, src);
    tmp = CopyToTemp(in, st, dst, st.st_mode & 07777);
    int err = errno;
    ::close(in);
    if (tmp.empty()) return FailErrno(err, dst);
  } else if (S_ISDIR(st.st_mode)) {
    struct stat existing;
    if (::lstat(dst.c_str(), &existing) == 0) return FailErrno(EEXIST, dst);
    tmp = JoinHost(detail::HostParent(dst), "." + detail::HostBaseName(dst) + ".XXXXXX");
    if (!::mkdtemp(tmp.data())) return FailErrno(errno, dst);
    int err = CopyTreeHost(src, tmp);
    if (err == 0 && ::chmod(tmp.c_str(), st.st_mode & 07777) != 0) err = errno;
    if (err != 0) {
      RemoveTreeHost(tmp);
      return FailErrno(err, dst);
    }
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, tmp.c_str(), times, 0);
  } else if (S_ISLNK(st.st_mode)) {
    std::optional<std::string> target = LinkTarget(src, st);
    if (!target) return FailErrno(errno, src);
    if (::symlink(target->c_str(), dst.c_str()) != 0) return FailErrno(errno, dst);
    if (::unlink(src.c_str()) != 0) return FailErrno(errno, src);
    return true;
  } else {
    return Fail(ERROR_ACCESS_DENIED);
  }
  if (detail::RenameNoReplace(AT_FDCWD, tmp, dst) != 0) {
    int err = errno;
    RemoveTreeHost(tmp);
    return FailErrno(err, dst);
  }
  detail::FsyncDir(detail::HostParent(dst));
  if (int err = RemoveTreeHost(src)) return FailErrno(err, src);
  return true;
}

// Maps the two paths of a move or rename: neither may be a drive root, and the source must
// exist (its status goes to `st`). False with the last error set otherwise.
bool MapMove(std::string_view from, std::string_view to, TMapped& src, TMapped& dst,
             struct stat& st) {
  src = MapPath(from);
  if (!src.Ok) return false;
  dst = MapPath(to);
  if (!dst.Ok) return false;
  if (src.IsRoot || dst.IsRoot) return Fail(ERROR_ACCESS_DENIED);
  if (::lstat(src.Host.c_str(), &st) != 0) return FailErrno(errno, src.Host);
  return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Public operations

std::string ToHostPath(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  return m.Ok ? m.Host : std::string();
}

std::optional<std::string> ToWindowsPath(std::string_view hostPath) {
  if (hostPath.empty() || hostPath.find('\0') != std::string_view::npos) {
    Fail(ERROR_INVALID_NAME);
    return std::nullopt;
  }
  std::string p(hostPath);
  if (p[0] != '/') {
    auto cwd = CurrentFolder();
    if (!cwd) {
      FailErrno(errno, std::string());
      return std::nullopt;
    }
    p = JoinHost(*cwd, p);
  }
  return WindowsPathOf(p);
}

bool FileExists(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) return FailErrno(errno, m.Host);
  if (S_ISDIR(st.st_mode)) return Fail(ERROR_FILE_NOT_FOUND);
  return true;
}

bool DirectoryExists(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) return FailErrno(errno, m.Host);
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
  return true;
}

int64_t FileSize(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return -1;
  struct stat st;
  if (::stat(m.Host.c_str(), &st) != 0) {
    FailErrno(errno, m.Host);
    return -1;
  }
  if (!S_ISREG(st.st_mode)) {
    Fail(ERROR_ACCESS_DENIED);
    return -1;
  }
  if (::faccessat(AT_FDCWD, m.Host.c_str(), R_OK, AT_EACCESS) != 0) {
    FailErrno(errno, m.Host);
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

bool CreateDir(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  if (m.IsRoot) return Fail(ERROR_ALREADY_EXISTS);
  if (::mkdir(m.Host.c_str(), 0777) != 0) return FailErrno(errno, m.Host);
  return true;
}

bool RemoveDir(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  if (m.IsRoot) return Fail(ERROR_ACCESS_DENIED);
  if (::rmdir(m.Host.c_str()) != 0) {
    if (errno == EEXIST) errno = ENOTEMPTY;
    return FailErrno(errno, m.Host);
  }
  return true;
}

bool CopyFile(std::string_view from, std::string_view to, bool failIfExists) {
  TMapped src = MapPath(from);
  if (!src.Ok) return false;
  TMapped dst = MapPath(to);
  if (!dst.Ok) return false;
  if (dst.IsRoot) return Fail(ERROR_ACCESS_DENIED);

  int in = ::open(src.Host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (in < 0) return FailErrno(errno, src.Host);
  struct stat st;
  if (::fstat(in, &st) != 0) {
    int err = errno;
    ::close(in);
    return FailErrno(err, src.Host);
  }
  if (!S_ISREG(st.st_mode)) { // a folder, pipe or device is not copied as a file
    ::close(in);
    return Fail(ERROR_ACCESS_DENIED);
  }
  struct stat existing;
  if (::stat(dst.Host.c_str(), &existing) == 0) {
    if (failIfExists) {
      ::close(in);
      SetError(ERROR_FILE_EXISTS, EEXIST);
      return false;
    }
    if (S_ISDIR(existing.st_mode)) {
      ::close(in);
      return Fail(ERROR_ACCESS_DENIED);
    }
  }

  std::string tmp = CopyToTemp(in, st, dst.Host, (st.st_mode & 0777) & ~detail::CurrentUmask());
  int err = errno;
  ::close(in);
  if (tmp.empty()) return FailErrno(err, dst.Host);
  int r = failIfExists ? detail::RenameNoReplace(AT_FDCWD, tmp, dst.Host)
                       : ::rename(tmp.c_str(), dst.Host.c_str());
  if (r != 0) {
    err = errno;
    ::unlink(tmp.c_str());
    if (err == EEXIST && failIfExists) {
      SetError(ERROR_FILE_EXISTS, EEXIST);
      return false;
    }
    return FailErrno(err, dst.Host);
  }
  detail::FsyncDir(detail::HostParent(dst.Host));
  return true;
}

bool MoveFile(std::string_view from, std::string_view to) {
  TMapped src, dst;
  struct stat st;
  if (!MapMove(from, to, src, dst, st)) return false;
  std::string target = dst.Host;
  if (target == src.Host) {
    // The same entry under another spelling: a change of letter case, or nothing to do.
    if (dst.LastName == detail::HostBaseName(src.Host)) return true;
    target = JoinHost(detail::HostParent(src.Host), dst.LastName);
  }
  if (detail::RenameNoReplace(AT_FDCWD, src.Host, target) == 0) return true;
  if (errno != EXDEV) return FailErrno(errno, target);
  return MoveAcross(src.Host, st, target);
}

bool DeleteFile(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  if (::unlink(m.Host.c_str()) != 0) return FailErrno(errno, m.Host);
  return true;
}

bool ReplaceFile(std::string_view from, std::string_view to) {
  TMapped src, dst;
  struct stat st;
  if (!MapMove(from, to, src, dst, st)) return false;
  if (::rename(src.Host.c_str(), dst.Host.c_str()) != 0) return FailErrno(errno, dst.Host);
  return true;
}

std::vector<TSearchRec> FindFiles(std::string_view winMask, int attr) {
  std::vector<TSearchRec> result;
  if (winMask.empty() || winMask.find('\0') != std::string_view::npos) {
    Fail(ERROR_INVALID_NAME);
    return result;
  }
  size_t cut = winMask.find_last_of("\\/");
  std::string_view folder, mask;
  if (cut != std::string_view::npos) {
    folder = winMask.substr(0, cut + 1);
    mask = winMask.substr(cut + 1);
  } else if (winMask.size() >= 2 && IsAsciiLetter(winMask[0]) && winMask[1] == ':') {
    folder = winMask.substr(0, 2);
    mask = winMask.substr(2);
  } else {
    folder = ".";
    mask = winMask;
  }
  if (mask.empty()) {
    Fail(ERROR_FILE_NOT_FOUND);
    return result;
  }
  TMapped dir = MapPath(folder);
  if (!dir.Ok) return result;

  // Windows rules: a mask ending in ".*" also matches names without an extension, so "*.*"
  // matches every name.
  const std::u32string maskKey = FoldKey(mask);
  std::optional<std::u32string> bareKey;
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == ".*")
    bareKey = FoldKey(mask.substr(0, mask.size() - 2));

  DIR* d = ::opendir(dir.Host.c_str());
  if (!d) {
    int err = errno;
    if (err == ENOENT || err == ENOTDIR)
      SetError(ERROR_PATH_NOT_FOUND, err);
    else
      detail::SetLastErrno(err, dir.Host);
    return result;
  }
  std::vector<std::pair<std::u32string, TSearchRec>> found;
  const int fd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    std::string_view name(e->d_name);
    if (name == "." || name == "..") continue;
    // A name with a backslash cannot be named by a Windows path: leave it out rather than
    // hand out a name that leads elsewhere.
    if (name.find('\\') != std::string_view::npos) continue;
    std::u32string key = FoldKey(name);
    if (!WildMatch(key, maskKey) && !(bareKey && WildMatch(key, *bareKey))) continue;
    struct stat st;
    if (::fstatat(fd, e->d_name, &st, 0) != 0) continue; // broken link, or gone meanwhile
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
    TSearchRec rec;
    rec.Name = std::string(name);
    rec.Attr = a;
    rec.Size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    rec.Time = st.st_mtime;
    found.emplace_back(std::move(key), std::move(rec));
  }
  ::closedir(d);
  std::sort(found.begin(), found.end(), [](const auto& x, const auto& y) {
    if (x.first != y.first) return x.first < y.first;
    return x.second.Name < y.second.Name;
  });
  result.reserve(found.size());
  for (auto& f : found)
    result.push_back(std::move(f.second));
  if (result.empty()) Fail(ERROR_FILE_NOT_FOUND);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Temporary folder

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
    if (f.Owner == self) RemoveTreeHost(f.Host);
}

// Makes "<base>/dravik-XXXXXX" (mode 0700) and returns it with its Windows path, or nothing
// when it cannot be made or no drive holds it (then it is removed again).
std::optional<std::pair<std::string, std::string>> MakeTempFolderIn(const std::string& base) {
  std::string tmpl = JoinHost(base, "dravik-XXXXXX");
  if (!::mkdtemp(tmpl.data())) {
    FailErrno(errno, tmpl);
    return std::nullopt;
  }
  auto w = WindowsPathOf(tmpl);
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
    if (it->Owner != self || !IsDirectory(it->Host)) continue;
    if (auto w = WindowsPathOf(it->Host)) return std::make_pair(it->Host, *w + "\\");
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
  std::string tmpl = JoinHost(t->first, "tmpXXXXXX");
  if (!::mkdtemp(tmpl.data())) {
    FailErrno(errno, tmpl);
    return std::string();
  }
  return t->second + detail::HostBaseName(tmpl) + "\\";
}

bool RemoveTree(std::string_view winPath) {
  TMapped m = MapPath(winPath);
  if (!m.Ok) return false;
  // A drive root is never removed as a whole ("Z:\" is the whole machine).
  if (m.IsRoot || m.Host == "/") return Fail(ERROR_ACCESS_DENIED);
  if (int err = RemoveTreeHost(m.Host)) return FailErrno(err, m.Host);
  return true;
}

} // namespace dravik::winfs
