#include "zipmaster.h"

#include "platform/codepage.h"
#include "platform/filestream.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/unzip.h"
#include "platform/winfs.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

namespace dravik {

namespace {

constexpr uint32_t kLocalHeaderSig = 0x04034B50;
constexpr uint32_t kCentralHeaderSig = 0x02014B50;
constexpr uint32_t kEndOfCentralDirSig = 0x06054B50;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kUnicodePathField = 0x7075; // name in UTF-8 beside a code page 437 one
constexpr int64_t kEndRecordSize = 22;

[[noreturn]] void DirError(int n) {
  // The first message has always been spelled with a capital F.
  throw Exception(n == 1 ? std::string("Error 1 reading Zip File")
                         : Format("Error %d reading Zip file", n));
}

uint16_t Le16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

uint32_t Crc32(std::string_view data) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : data)
    crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// A stored name in UTF-8: UTF-8 when the entry says so (and it is well-formed), else code
// page 437.
std::string DecodeName(const std::string& raw, uint16_t flag) {
  if ((flag & kFlagUtf8) && IsValidUtf8(raw)) return raw;
  return Cp437ToUtf8(raw);
}

// The UTF-8 name of an Info-ZIP Unicode path field in `extra`, when it belongs to `rawName`
// (its checksum matches).
std::optional<std::string> UnicodePath(const std::string& extra, const std::string& rawName) {
  const auto* p = reinterpret_cast<const uint8_t*>(extra.data());
  size_t pos = 0;
  while (pos + 4 <= extra.size()) {
    const uint16_t id = Le16(p + pos);
    const size_t len = Le16(p + pos + 2);
    pos += 4;
    if (len > extra.size() - pos) break;
    if (id == kUnicodePathField && len >= 5 && p[pos] == 1 && Le32(p + pos + 1) == Crc32(rawName)) {
      std::string name(extra.data() + pos + 5, len - 5);
      if (IsValidUtf8(name)) return name;
    }
    pos += len;
  }
  return std::nullopt;
}

// Buffered forward reading of a file stream. Read errors count as the end of the file.
class TReader {
public:
  explicit TReader(TFileStream& stream) : FStream(stream), FBuf(64 * 1024) {}

  size_t Read(void* dst, size_t count) {
    auto* d = static_cast<uint8_t*>(dst);
    size_t done = 0;
    while (done < count) {
      if (FPos == FLen && !Fill()) break;
      const size_t k = std::min(count - done, FLen - FPos);
      std::memcpy(d + done, FBuf.data() + FPos, k);
      FPos += k;
      done += k;
    }
    return done;
  }

  int64_t Position() const { return FStart + static_cast<int64_t>(FPos); }

  bool Skip(uint64_t count) {
    if (count <= FLen - FPos) {
      FPos += static_cast<size_t>(count);
      return true;
    }
    const int64_t target = Position() + static_cast<int64_t>(count);
    if (FStream.Seek(target) != target) return false;
    FStart = target;
    FPos = FLen = 0;
    return true;
  }

private:
  bool Fill() {
    FStart += static_cast<int64_t>(FLen);
    FPos = FLen = 0;
    int64_t n = 0;
    try {
      n = FStream.Read(FBuf.data(), static_cast<int64_t>(FBuf.size()));
    } catch (const Exception&) {
      n = 0;
    }
    if (n <= 0) return false;
    FLen = static_cast<size_t>(n);
    return true;
  }

  TFileStream& FStream;
  std::vector<uint8_t> FBuf;
  int64_t FStart = 0; // file position of FBuf[0]
  size_t FPos = 0;
  size_t FLen = 0;
};

} // namespace

void TZipMaster::SetZipFilename(std::string_view winPath) {
  FZipFilename = std::string(winPath);
  ReadDirectory();
}

// Walks the local headers from the start of the file. Every step moves forward by at least
// four bytes and every skip stays inside the file, so any input ends.
void TZipMaster::ReadDirectory() {
  FContents.clear();
  if (!winfs::FileExists(FZipFilename)) return;
  TFileStream stream(FZipFilename, fmOpenRead);
  const int64_t fileSize = stream.Size();
  TReader reader(stream);
  for (;;) {
    uint8_t sig[4];
    if (reader.Read(sig, 4) < 4) DirError(1);
    const uint32_t signature = Le32(sig);
    if (signature == kCentralHeaderSig || signature == kEndOfCentralDirSig) break;
    if (signature != kLocalHeaderSig) continue;

    uint8_t h[26];
    if (reader.Read(h, 26) < 26) DirError(2);
    TZipDirEntry e;
    e.VersionNeeded = Le16(h);
    e.Flag = Le16(h + 2);
    e.ComprMethod = Le16(h + 4);
    e.ModifTime = Le16(h + 6);
    e.ModifDate = Le16(h + 8);
    e.CRC32 = Le32(h + 10);
    e.ComprSize = Le32(h + 14);
    e.UncomprSize = Le32(h + 18);
    e.FileNameLength = Le16(h + 22);
    e.ExtraFieldLength = Le16(h + 24);
    // Names are read whole, however long (at most 65535 bytes by the format).
    std::string rawName(e.FileNameLength, '\0');
    if (reader.Read(rawName.data(), rawName.size()) < rawName.size()) DirError(2);

    // Sizes that follow the data (a data descriptor) or live in a ZIP64 field leave no way
    // to find the next header from here: the central directory has the whole list.
    if (((e.Flag & kFlagDataDescriptor) && e.ComprSize == 0) || e.ComprSize == 0xFFFFFFFFu ||
        e.UncomprSize == 0xFFFFFFFFu) {
      ReadCentralDirectory();
      break;
    }

    e.FileName = DecodeName(rawName, e.Flag);
    FContents.push_back(e);
    const int64_t end = reader.Position() + int64_t(e.ExtraFieldLength) + int64_t(e.ComprSize);
    if (end > fileSize - kEndRecordSize) DirError(3);
    std::string extra(e.ExtraFieldLength, '\0');
    if (reader.Read(extra.data(), extra.size()) < extra.size()) DirError(4);
    if (auto name = UnicodePath(extra, rawName)) FContents.back().FileName = std::move(*name);
    if (!reader.Skip(e.ComprSize)) DirError(5);
  }
  if (OnDirUpdate) OnDirUpdate();
}

void TZipMaster::ReadCentralDirectory() {
  std::vector<TUnzipEntryInfo> list = UnzipListEntries(FZipFilename);
  std::vector<TZipDirEntry> entries;
  entries.reserve(list.size());
  for (auto& u : list) {
    TZipDirEntry e;
    e.ComprMethod = u.Method;
    e.ModifTime = u.DosTime;
    e.ModifDate = u.DosDate;
    e.CRC32 = u.Crc32;
    e.ComprSize = u.CompressedSize;
    e.UncomprSize = u.UncompressedSize;
    e.FileNameLength = u.NameLength;
    e.FileName = std::move(u.Name);
    e.FromCentralDirectory = true;
    entries.push_back(std::move(e));
  }
  FContents = std::move(entries);
}

void TZipMaster::Extract() {
  if (FExtracting) return;
  FExtracting = true;
  TScopeExit done([this] {
    FSpecArgs.Clear();
    FExtracting = false;
  });

  FSuccessCount = 0;
  // A base folder that is not there is an error rather than a reason to write elsewhere.
  if (!ExtrBaseDir.empty() && !winfs::DirectoryExists(ExtrBaseDir))
    throw Exception(Format("The extraction folder %s does not exist", ExtrBaseDir));

  TUnzipRequest request;
  request.ArchiveName = FZipFilename;
  request.Masks = FSpecArgs.Lines();
  request.BaseDir = ExtrBaseDir;
  request.DirNames = ExtrOptions.Contains(ExtrDirNames);
  request.Overwrite = ExtrOptions.Contains(ExtrOverWrite);
  request.Update = ExtrOptions.Contains(ExtrUpdate);
  request.Freshen = ExtrOptions.Contains(ExtrFreshen) && !request.Update;
  request.Verbose = Verbose || Trace;
  request.Trace = Trace;
  request.Durable = Durable;
  request.Callback = [this](const TUnzipEvent& e) {
    switch (e.Action) {
    case uaFileBegin:
    case uaProgress:
    case uaFileEnd:
      if (OnProgress) OnProgress(static_cast<TZipProgressType>(e.Action), e.Text, e.Size);
      break;
    case uaMessage:
      if (OnMessage) {
        std::string text = e.Text;
        while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
          text.pop_back();
        OnMessage(e.ErrorCode, text);
      }
      break;
    }
    return false;
  };
  FSuccessCount = UnzipExtract(request);
}

} // namespace dravik
