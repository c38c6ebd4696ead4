#include "unzip.h"

#include "codepage.h"
#include "hostfile.h"
#include "scopeexit.h"
#include "sysutils.h"
#include "winfs.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#include <zip.h>

namespace dravik {

namespace {

using host::ErrnoText;

constexpr size_t kChunk = 64 * 1024;

std::string ZipErrText(int code) {
  zip_error_t ze;
  zip_error_init_with_code(&ze, code);
  std::string text = zip_error_strerror(&ze);
  zip_error_fini(&ze);
  return text;
}

// A descriptor closed when it goes.
class TFd {
public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() { Reset(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  void Reset(int fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }
  int Release() {
    int fd = FFd;
    FFd = -1;
    return fd;
  }

private:
  int FFd;
};

// An archive open for reading.
class TArchive {
public:
  explicit TArchive(std::string_view winName) {
    const std::string shown(winName);
    const std::string host = winfs::ToHostPath(winName);
    if (host.empty())
      throw Exception(Format("Cannot open zip archive %s: %s", shown,
                             winfs::SysErrorMessage(winfs::ERROR_PATH_NOT_FOUND)));
    // Opened here rather than by libzip so that a named pipe or a folder is refused without
    // blocking.
    TFd fd(::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0)
      throw Exception(Format("Cannot open zip archive %s: %s", shown, ErrnoText(errno)));
    struct stat st;
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
      throw Exception(Format("Cannot open zip archive %s: not a file", shown));
    int fl = ::fcntl(fd.Get(), F_GETFL);
    if (fl >= 0) ::fcntl(fd.Get(), F_SETFL, fl & ~O_NONBLOCK);
    int err = 0;
    FZip = zip_fdopen(fd.Get(), ZIP_RDONLY, &err);
    if (!FZip) throw Exception(Format("Cannot open zip archive %s: %s", shown, ZipErrText(err)));
    fd.Release(); // libzip closed it and keeps its own
  }
  ~TArchive() { zip_discard(FZip); }
  TArchive(const TArchive&) = delete;
  TArchive& operator=(const TArchive&) = delete;
  zip_t* Get() const { return FZip; }

private:
  zip_t* FZip = nullptr;
};

// An entry's name in UTF-8: code page 437 unless flagged UTF-8 (libzip's strict reading
// tells which). Where libzip converts from code page 437 our own table is used, so that names agree
// with those the ZIP component reads itself.
std::string EntryName(zip_t* za, zip_uint64_t index) {
  const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
  if (!raw) return std::string();
  const std::string rawName(raw); // libzip may reuse the buffer on the next call
  const char* strict = zip_get_name(za, index, ZIP_FL_ENC_STRICT);
  if (strict && rawName == strict && IsValidUtf8(rawName)) return rawName;
  return Cp437ToUtf8(rawName);
}

bool IsSep(char c) {
  return c == '/' || c == '\\';
}

std::string WithBackslashes(std::string_view s) {
  std::string r(s);
  std::replace(r.begin(), r.end(), '/', '\\');
  return r;
}

bool MatchesAny(const std::string& name, const std::vector<std::string>& masks) {
  const std::string n = WithBackslashes(name);
  bool any = false;
  for (const auto& m : masks) {
    if (m.empty()) continue;
    any = true;
    if (MatchesMask(n, WithBackslashes(m))) return true;
  }
  return !any;
}

// What an entry's name may make inside the base folder: its folders (only with folder names
// on) and its file name. A drive letter, empty components, "." and ".." are dropped, and a
// component keeps only what follows its last ":", as a Windows file name would be read.
struct TTargetName {
  std::vector<std::string> Folders;
  std::string File; // empty for a folder entry
};

TTargetName TargetName(std::string_view name, bool dirNames, bool isFolder) {
  std::vector<std::string> comps;
  size_t i = 0;
  while (i < name.size()) {
    size_t j = i;
    while (j < name.size() && !IsSep(name[j]))
      ++j;
    std::string_view c = name.substr(i, j - i);
    if (size_t colon = c.rfind(':'); colon != std::string_view::npos) c = c.substr(colon + 1);
    if (!c.empty() && c != "." && c != "..") comps.emplace_back(c);
    i = j + 1;
  }
  TTargetName t;
  if (!isFolder && !comps.empty()) {
    t.File = std::move(comps.back());
    comps.pop_back();
  }
  if (dirNames) t.Folders = std::move(comps);
  return t;
}

std::string JoinWin(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (IsSep(dir.back())) return dir + name;
  return dir + "\\" + name;
}

// The spelling under which `name` exists in the folder `dirFd` (Windows path `dirWin`),
// found without regard to letter case as the file system layer finds it; `name` itself when
// nothing matches.
std::string OnDiskName(int dirFd, const std::string& dirWin, const std::string& name) {
  struct stat st;
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT) return name;
  const std::string host = winfs::ToHostPath(JoinWin(dirWin, name));
  if (host.empty()) return name;
  std::string found = host.substr(host.rfind('/') + 1);
  if (found != name && found.size() == name.size() &&
      ::fstatat(dirFd, found.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
    return found;
  return name;
}

// Opens the folder `name` inside `parentFd`, making it when it is missing; never through a
// symbolic link. -1 with errno set on failure.
int OpenSubfolder(int parentFd, const std::string& name, bool& made) {
  made = false;
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = ::openat(parentFd, name.c_str(), flags);
  if (fd >= 0 || errno != ENOENT) return fd;
  if (::mkdirat(parentFd, name.c_str(), 0777) == 0)
    made = true;
  else if (errno != EEXIST)
    return -1;
  return ::openat(parentFd, name.c_str(), flags);
}

// Creates a new, empty temporary file in `dirFd`; -1 with errno set on failure.
int CreateTemp(int dirFd, std::string& name) {
  static std::atomic<unsigned> counter{0};
  static const unsigned seed = std::random_device{}();
  for (int attempt = 0; attempt < 64; ++attempt) {
    name = Format(".dravik-unzip-%08x-%08x.tmp", seed ^ static_cast<unsigned>(::getpid()),
                  counter.fetch_add(1));
    int fd =
        ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

int WriteErrorCode(int err) {
  return (err == ENOSPC || err == EDQUOT || err == EFBIG) ? ueDiskFull : ueCannotWrite;
}

class TExtractor {
public:
  TExtractor(const TUnzipRequest& request, zip_t* zip, int baseFd)
      : R(request), FZip(zip), FBaseFd(baseFd) {}

  int Run() {
    const zip_int64_t n = zip_get_num_entries(FZip, 0);
    for (zip_int64_t i = 0; i < n && !FCancelled; ++i)
      Entry(static_cast<zip_uint64_t>(i));
    return FCount;
  }

private:
  // Reports an event; true when the callback asks to cancel.
  bool Emit(TUnzipAction action, int code, int64_t size, const std::string& text) {
    if (R.Callback && !FCancelled) {
      TUnzipEvent e;
      e.Action = action;
      e.ErrorCode = code;
      e.Size = size;
      e.Text = text;
      if (R.Callback(e)) FCancelled = true;
    }
    return FCancelled;
  }
  void Message(int code, const std::string& text) { Emit(uaMessage, code, 0, text); }

  // Opens the entry's folders inside the base folder, making the missing ones; -1 after a
  // message when one cannot be made.
  int OpenFolders(const std::string& name, const std::vector<std::string>& folders,
                  std::string& dirWin) {
    TFd dir(::dup(FBaseFd));
    dirWin = R.BaseDir;
    for (const auto& f : folders) {
      if (dir.Get() < 0) break;
      const std::string onDisk = OnDiskName(dir.Get(), dirWin, f);
      bool made = false;
      int fd = OpenSubfolder(dir.Get(), onDisk, made);
      if (fd < 0) {
        int err = errno;
        Message(ueCannotWrite, Format("Cannot make folder %s for %s: %s", onDisk, name,
                                      err == ELOOP ? "it is a symbolic link" : ErrnoText(err)));
        return -1;
      }
      dir.Reset(fd);
      dirWin = JoinWin(dirWin, onDisk);
      if (made && R.Trace) Message(ueNone, Format("Created folder %s", dirWin));
    }
    if (dir.Get() < 0)
      Message(ueCannotWrite, Format("Cannot extract %s: %s", name, ErrnoText(errno)));
    return dir.Release();
  }

  void Entry(zip_uint64_t index) {
    const std::string name = EntryName(FZip, index);
    if (!MatchesAny(name, R.Masks)) return;
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(FZip, index, 0, &st) != 0) {
      Message(ueBadData, Format("Cannot read %s: %s", name, zip_strerror(FZip)));
      return;
    }
    bool isFolder = !name.empty() && IsSep(name.back());
    zip_uint8_t opsys = 0;
    zip_uint32_t attr = 0;
    if (zip_file_get_external_attributes(FZip, index, 0, &opsys, &attr) == 0 &&
        opsys == ZIP_OPSYS_UNIX) {
      // Other types (a pipe, as `zip` records its standard input) are written as plain files.
      const mode_t type = (attr >> 16) & S_IFMT;
      if (type == S_IFDIR) {
        isFolder = true;
      } else if (type == S_IFLNK) {
        Message(ueSymlink, Format("Skipped %s: it is a symbolic link", name));
        return;
      }
    }
    const TTargetName target = TargetName(name, R.DirNames, isFolder);
    if (isFolder) {
      if (!R.DirNames || target.Folders.empty()) return;
      std::string dirWin;
      TFd dir(OpenFolders(name, target.Folders, dirWin));
      return;
    }
    if (target.File.empty()) {
      Message(ueBadName, Format("Skipped %s: the name holds no file name", name));
      return;
    }
    if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
      Message(ueEncrypted, Format("Skipped %s: encrypted entries are not supported", name));
      return;
    }
    if (!(st.valid & ZIP_STAT_SIZE)) {
      Message(ueBadData, Format("Skipped %s: its size is unknown", name));
      return;
    }

    std::string dirWin;
    TFd dir(OpenFolders(name, target.Folders, dirWin));
    if (dir.Get() < 0) return;
    const std::string file = OnDiskName(dir.Get(), dirWin, target.File);

    // What to do with a file of that name.
    const std::time_t entryTime = (st.valid & ZIP_STAT_MTIME) ? st.mtime : 0;
    struct stat old;
    const bool exists = ::fstatat(dir.Get(), file.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists) {
      if (S_ISDIR(old.st_mode)) {
        Message(ueCannotWrite, Format("Cannot extract %s: a folder of that name exists", name));
        return;
      }
      if (R.Freshen || R.Update) {
        if (!(entryTime > old.st_mtime)) {
          if (R.Verbose) Message(ueNone, Format("Skipped %s: the file is not older", name));
          return;
        }
      } else if (!R.Overwrite) {
        if (R.Verbose) Message(ueNone, Format("Skipped %s: the file exists", name));
        return;
      }
    } else if (R.Freshen && !R.Update) {
      if (R.Verbose) Message(ueNone, Format("Skipped %s: no file to freshen", name));
      return;
    }

    // A declared size the disk cannot hold is refused before anything is written; writing
    // never goes past it.
    struct statvfs vfs;
    if (::fstatvfs(dir.Get(), &vfs) == 0) {
      const unsigned long long room = static_cast<unsigned long long>(vfs.f_bavail) *
                                      static_cast<unsigned long long>(vfs.f_frsize);
      if (st.size > room) {
        Message(ueDiskFull, Format("Skipped %s: not enough disk space for %llu bytes", name,
                                   static_cast<unsigned long long>(st.size)));
        return;
      }
    }
    Write(index, name, st.size, entryTime, dir.Get(), file, exists);
  }

  void Write(zip_uint64_t index, const std::string& name, uint64_t declared, std::time_t mtime,
             int dirFd, const std::string& file, bool replace) {
    zip_file_t* zf = zip_fopen_index(FZip, index, 0);
    if (!zf) {
      Message(ueBadData, Format("Cannot read %s: %s", name, zip_strerror(FZip)));
      return;
    }
    TScopeExit closer([zf] { zip_fclose(zf); });

    if (Emit(uaFileBegin, 0, static_cast<int64_t>(declared), name)) return;
    std::string tmp;
    TFd out(CreateTemp(dirFd, tmp));
    if (out.Get() < 0) {
      int err = errno;
      Message(WriteErrorCode(err), Format("Cannot extract %s: %s", name, ErrnoText(err)));
      Emit(uaFileEnd, WriteErrorCode(err), 0, name);
      return;
    }
    // The temporary file goes unless it was renamed into place, also when a callback throws.
    TScopeExit remover([dirFd, &tmp] { ::unlinkat(dirFd, tmp.c_str(), 0); });

    int code = ueNone;
    std::string why;
    uint64_t total = 0;
    // One byte more than declared is asked for, so that excess data shows and is refused.
    const uint64_t limit = declared == UINT64_MAX ? declared : declared + 1;
    std::vector<char> buf(kChunk);
    while (!FCancelled) {
      const uint64_t want = std::min<uint64_t>(kChunk, limit - total);
      const zip_int64_t n = zip_fread(zf, buf.data(), want);
      if (n < 0) {
        code = ueBadData;
        why = zip_file_strerror(zf);
        break;
      }
      if (n == 0) break; // end of data; libzip has checked the CRC
      total += static_cast<uint64_t>(n);
      if (total > declared) {
        code = ueOversized;
        why = "its data runs past its declared size";
        break;
      }
      if (!host::WriteAll(out.Get(), buf.data(), static_cast<size_t>(n))) {
        code = WriteErrorCode(errno);
        why = ErrnoText(errno);
        break;
      }
      Emit(uaProgress, 0, static_cast<int64_t>(total), name);
    }
    if (code == ueNone && !FCancelled && total != declared) {
      code = ueBadData;
      why = "its data is shorter than its declared size";
    }
    if (code == ueNone && !FCancelled) {
      if (mtime != 0) {
        struct timespec times[2] = {{0, UTIME_NOW}, {mtime, 0}};
        ::futimens(out.Get(), times);
      }
      if (R.Durable && ::fsync(out.Get()) != 0 && errno != EINVAL) {
        code = WriteErrorCode(errno);
        why = ErrnoText(errno);
      }
    }
    if (::close(out.Release()) != 0 && code == ueNone) {
      code = WriteErrorCode(errno);
      why = ErrnoText(errno);
    }
    if (code == ueNone && !FCancelled) {
      int r = replace ? ::renameat(dirFd, tmp.c_str(), dirFd, file.c_str())
                      : host::RenameNoReplace(dirFd, tmp, file);
      if (r != 0) {
        code = ueCannotWrite;
        why = errno == EEXIST ? std::string("the file exists") : ErrnoText(errno);
      }
    }
    if (code != ueNone || FCancelled) {
      if (code != ueNone) Message(code, Format("Cannot extract %s: %s", name, why));
      Emit(uaFileEnd, code, static_cast<int64_t>(total), name);
      return;
    }
    remover.Release();
    if (R.Durable) ::fsync(dirFd);
    ++FCount;
    if (R.Trace) Message(ueNone, Format("Extracted %s", name));
    Emit(uaFileEnd, ueNone, static_cast<int64_t>(total), name);
  }

  const TUnzipRequest& R;
  zip_t* FZip;
  int FBaseFd;
  int FCount = 0;
  bool FCancelled = false;
};

uint16_t DosTimeOf(std::time_t t, uint16_t& date) {
  struct tm tm;
  date = 0;
  if (t == 0 || !::localtime_r(&t, &tm) || tm.tm_year < 80 || tm.tm_year > 207) return 0;
  date = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
  return static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
}

} // namespace

int UnzipExtract(const TUnzipRequest& request) {
  TArchive archive(request.ArchiveName);
  const std::string baseHost = request.BaseDir.empty() ? "." : winfs::ToHostPath(request.BaseDir);
  const std::string shownBase = request.BaseDir.empty() ? "(current folder)" : request.BaseDir;
  if (baseHost.empty())
    throw Exception(Format("Cannot open extraction folder %s: %s", shownBase,
                           winfs::SysErrorMessage(winfs::ERROR_PATH_NOT_FOUND)));
  TFd base(::open(baseHost.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (base.Get() < 0)
    throw Exception(Format("Cannot open extraction folder %s: %s", shownBase, ErrnoText(errno)));
  TExtractor x(request, archive.Get(), base.Get());
  return x.Run();
}

std::vector<TUnzipEntryInfo> UnzipListEntries(std::string_view archiveName) {
  TArchive archive(archiveName);
  zip_t* za = archive.Get();
  const zip_int64_t n = zip_get_num_entries(za, 0);
  std::vector<TUnzipEntryInfo> out;
  out.reserve(static_cast<size_t>(std::max<zip_int64_t>(n, 0)));
  for (zip_int64_t i = 0; i < n; ++i) {
    const auto index = static_cast<zip_uint64_t>(i);
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) != 0)
      throw Exception(Format("Cannot read zip archive %s: %s", std::string(archiveName),
                             std::string(zip_strerror(za))));
    TUnzipEntryInfo e;
    e.Name = EntryName(za, index);
    const char* raw = zip_get_name(za, index, ZIP_FL_ENC_RAW);
    e.NameLength = static_cast<uint16_t>(raw ? std::min<size_t>(std::strlen(raw), 0xFFFF) : 0);
    if (st.valid & ZIP_STAT_COMP_METHOD) e.Method = static_cast<uint16_t>(st.comp_method);
    if (st.valid & ZIP_STAT_MTIME) e.DosTime = DosTimeOf(st.mtime, e.DosDate);
    if (st.valid & ZIP_STAT_CRC) e.Crc32 = st.crc;
    if (st.valid & ZIP_STAT_COMP_SIZE) e.CompressedSize = st.comp_size;
    if (st.valid & ZIP_STAT_SIZE) e.UncompressedSize = st.size;
    e.Encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
    out.push_back(std::move(e));
  }
  return out;
}

} // namespace dravik
