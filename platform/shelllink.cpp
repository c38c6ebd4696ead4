#include "shelllink.h"

#include "codepage.h"
#include "hive.h"
#include "sysutils.h"
#include "winfs.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// The target needs only the link's header and its location information. Every read is checked
// against the block it lies in, and nothing is allocated by a size field's word, so a crafted
// link can neither read past the file nor make us allocate what it claims.

namespace dravik {

namespace {

// A link file is a few hundred bytes; a larger one is read only this far (its location
// information comes right after the header and the item list, whose size is 16 bits).
constexpr size_t kMaxRead = 256 * 1024;
constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr uint32_t kHasLinkTargetIdList = 0x01;
constexpr uint32_t kHasLinkInfo = 0x02;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr uint32_t kCommonNetworkRelativeLink = 0x02;

// Bytes of one block of the file; every read is checked against its end.
class TBlock {
public:
  TBlock(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  size_t Size() const { return FSize; }
  std::optional<uint32_t> U32(size_t at) const {
    if (at > FSize || FSize - at < 4) return std::nullopt;
    const uint8_t* p = FData + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
  }
  std::optional<uint16_t> U16(size_t at) const {
    if (at > FSize || FSize - at < 2) return std::nullopt;
    return uint16_t(FData[at] | FData[at + 1] << 8);
  }
  TBlock Sub(size_t at, size_t size) const { return TBlock(FData + at, size); }
  // A string ending in NUL that begins at `at`: Windows-1252, or UTF-16LE when `wide`. None
  // when it does not end inside the block.
  std::optional<std::string> Text(size_t at, bool wide) const {
    if (at >= FSize) return std::nullopt;
    if (!wide) {
      for (size_t i = at; i < FSize; ++i)
        if (FData[i] == 0)
          return Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(FData + at), i - at));
      return std::nullopt;
    }
    std::u16string units;
    for (size_t i = at; i + 1 < FSize; i += 2) {
      const char16_t u = char16_t(FData[i] | FData[i + 1] << 8);
      if (u == 0) return Utf16ToUtf8(units);
      units += u;
    }
    return std::nullopt;
  }

private:
  const uint8_t* FData;
  size_t FSize;
};

struct TLinkPaths {
  bool Valid = false;
  std::string Local;   // base path and suffix, "" when the link has no local part
  std::string Network; // share, "\" and suffix, "" when the link has no network part
};

// A string of the location information at a 32-bit offset field; an offset of 0 means none.
std::optional<std::string> TextAt(const TBlock& block, size_t field, bool wide, bool& valid) {
  const std::optional<uint32_t> offset = block.U32(field);
  if (!offset || *offset == 0) return std::nullopt;
  std::optional<std::string> text = block.Text(*offset, wide);
  if (!text) valid = false;
  return text;
}

TLinkPaths ReadLinkPaths(const std::vector<uint8_t>& bytes) {
  TLinkPaths paths;
  const TBlock file(bytes.data(), bytes.size());
  if (file.U32(0) != kHeaderSize || bytes.size() < kHeaderSize ||
      !std::equal(std::begin(kLinkClsid), std::end(kLinkClsid), bytes.begin() + 4))
    return paths;
  const uint32_t flags = *file.U32(0x14);
  size_t at = kHeaderSize;
  if (flags & kHasLinkTargetIdList) {
    const std::optional<uint16_t> size = file.U16(at);
    if (!size || bytes.size() - at - 2 < *size) return paths;
    at += 2 + *size;
  }
  paths.Valid = true;
  if (!(flags & kHasLinkInfo)) return paths;
  const std::optional<uint32_t> infoSize = file.U32(at);
  if (!infoSize || *infoSize > bytes.size() - at) return paths = {};
  if (*infoSize <= 4) return paths; // empty location information
  const TBlock info = file.Sub(at, *infoSize);
  const std::optional<uint32_t> headerSize = info.U32(4);
  const std::optional<uint32_t> infoFlags = info.U32(8);
  if (!headerSize || !infoFlags || *headerSize < 0x1C || *headerSize > info.Size())
    return paths = {};

  bool valid = true;
  // The Unicode forms stand in the longer headers, and win over the Windows-1252 ones.
  std::optional<std::string> suffix;
  if (*headerSize >= 0x24) suffix = TextAt(info, 0x20, true, valid);
  if (!suffix) suffix = TextAt(info, 0x18, false, valid);

  if (*infoFlags & kVolumeIdAndLocalBasePath) {
    std::optional<std::string> base;
    if (*headerSize >= 0x20) base = TextAt(info, 0x1C, true, valid);
    if (!base) base = TextAt(info, 0x10, false, valid);
    paths.Local = base.value_or("") + suffix.value_or("");
  }
  if (*infoFlags & kCommonNetworkRelativeLink) {
    const std::optional<uint32_t> linkAt = info.U32(0x14);
    const std::optional<uint32_t> linkSize = linkAt ? info.U32(*linkAt) : std::nullopt;
    if (!linkSize || *linkSize < 0x14 || *linkSize > info.Size() - *linkAt) return paths = {};
    const TBlock link = info.Sub(*linkAt, *linkSize);
    std::optional<std::string> share;
    const std::optional<uint32_t> nameAt = link.U32(0x08);
    if (nameAt && *nameAt > 0x14) share = TextAt(link, 0x14, true, valid);
    if (!share) share = TextAt(link, 0x08, false, valid);
    if (share && !share->empty()) {
      paths.Network = *share;
      if (suffix && !suffix->empty()) {
        if (paths.Network.back() != '\\') paths.Network += '\\';
        paths.Network += *suffix;
      }
    }
  }
  if (!valid) return paths = {};
  return paths;
}

// The file's first bytes (at most kMaxRead); none when it cannot be read.
std::optional<std::vector<uint8_t>> ReadStart(const std::string& host) {
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> bytes(kMaxRead);
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    got += size_t(n);
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
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
  const std::optional<std::vector<uint8_t>> bytes = ReadStart(host);
  if (!bytes) throw Exception(Format("Cannot read shell link %s", shown));
  const TLinkPaths paths = ReadLinkPaths(*bytes);
  if (!paths.Valid)
    throw Exception(Format("Cannot read shell link %s: not a valid shell link", shown));

  const std::string& target = !paths.Local.empty() ? paths.Local : paths.Network;
  if (target.empty()) throw Exception(Format("Shell link %s does not name a target path", shown));
  if (CharCount(target) > kMaxLinkTargetLength)
    throw Exception(Format("The target of shell link %s is longer than %d characters", shown,
                           static_cast<int>(kMaxLinkTargetLength)));
  return target;
}

} // namespace dravik
