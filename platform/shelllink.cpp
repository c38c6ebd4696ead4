#include "shelllink.h"

// liblnk's header pulls in libbfio's for calls we do not use; Debian's package leaves that
// header out, so the features header is read first with that part switched off.
#include <liblnk/features.h>
#undef LIBLNK_HAVE_BFIO
#include "sysutils.h"
#include "winfs.h"

#include <cstdint>
#include <fcntl.h>
#include <liblnk.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace dravik {

namespace {

// A liblnk file handle, freed when it goes.
class TLnkFile {
public:
  TLnkFile() = default;
  ~TLnkFile() {
    if (!FFile) return;
    liblnk_error_t* err = nullptr;
    liblnk_file_close(FFile, &err);
    liblnk_error_free(&err);
    liblnk_file_free(&FFile, &err);
    liblnk_error_free(&err);
  }
  TLnkFile(const TLnkFile&) = delete;
  TLnkFile& operator=(const TLnkFile&) = delete;
  liblnk_file_t* FFile = nullptr;
};

// liblnk's getters for one kind of path: its size (with the terminating zero) and its text.
using TSizeGetter = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
using TTextGetter = int (*)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**);

// The path, or empty when the link has none of that kind (or it cannot be read).
std::string GetPath(liblnk_file_t* file, TSizeGetter sizeOf, TTextGetter textOf) {
  liblnk_error_t* err = nullptr;
  size_t size = 0;
  if (sizeOf(file, &size, &err) != 1 || size <= 1) {
    liblnk_error_free(&err);
    return std::string();
  }
  std::vector<uint8_t> buf(size);
  if (textOf(file, buf.data(), buf.size(), &err) != 1) {
    liblnk_error_free(&err);
    return std::string();
  }
  std::string path(reinterpret_cast<const char*>(buf.data()), buf.size());
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  return path;
}

// Whether the link's location information lies inside the file as far as its size field says.
// liblnk allocates that size before it reads, so a damaged field would have it ask for up to
// 4 GiB for a file of a few bytes; such a file is no readable link anyway. A file too short to
// tell is left to liblnk.
bool LocationInformationFits(const std::string& host, int64_t fileSize) {
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  auto read = [&](int64_t at, uint8_t* buf, size_t count) {
    return ::pread(fd, buf, count, at) == ssize_t(count);
  };
  auto le = [](const uint8_t* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
      v = (v << 8) | p[i];
    return v;
  };
  constexpr int64_t kHeaderSize = 0x4C;
  uint8_t buf[4];
  bool fits = true;
  int64_t at = kHeaderSize;
  if (read(0x14, buf, 4)) {
    const uint32_t flags = le(buf, 4);
    if ((flags & 0x01) && read(at, buf, 2)) at += 2 + le(buf, 2); // the item ID list
    if ((flags & 0x02) && read(at, buf, 4)) fits = le(buf, 4) <= uint64_t(fileSize - at);
  }
  ::close(fd);
  return fits;
}

size_t CharCount(const std::string& utf8) {
  size_t n = 0;
  for (unsigned char c : utf8)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

} // namespace

std::string ResolveShellLinkFile(std::string_view winPath) {
  const std::string shown(winPath);
  const std::string host = winfs::ToHostPath(winPath);
  struct stat st;
  if (host.empty() || ::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    throw Exception(Format("Cannot open shell link %s: the file does not exist", shown));

  if (!LocationInformationFits(host, st.st_size))
    throw Exception(Format("Cannot read shell link %s: not a valid shell link", shown));

  TLnkFile lnk;
  liblnk_error_t* err = nullptr;
  if (liblnk_file_initialize(&lnk.FFile, &err) != 1) {
    liblnk_error_free(&err);
    throw Exception(Format("Cannot read shell link %s", shown));
  }
  // Links without Unicode strings hold their paths in the ANSI code page.
  liblnk_file_set_ascii_codepage(lnk.FFile, LIBLNK_CODEPAGE_WINDOWS_1252, &err);
  liblnk_error_free(&err);
  if (liblnk_file_open(lnk.FFile, host.c_str(), LIBLNK_OPEN_READ, &err) != 1) {
    liblnk_error_free(&err);
    throw Exception(Format("Cannot read shell link %s: not a valid shell link", shown));
  }

  std::string target =
      GetPath(lnk.FFile, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path);
  if (target.empty())
    target = GetPath(lnk.FFile, liblnk_file_get_utf8_network_path_size,
                     liblnk_file_get_utf8_network_path);
  if (target.empty()) throw Exception(Format("Shell link %s does not name a target path", shown));
  if (CharCount(target) > kMaxLinkTargetLength)
    throw Exception(Format("The target of shell link %s is longer than %d characters", shown,
                           static_cast<int>(kMaxLinkTargetLength)));
  return target;
}

} // namespace dravik
