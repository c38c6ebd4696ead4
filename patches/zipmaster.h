// The ZIP component: reads an archive's entry list on its own and has the extraction library
// (platform/unzip.h) write the files matching a set of masks into a folder.
#pragma once

#include "platform/stringlist.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

enum TExtrOption : uint8_t { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate };

class TExtrOptions {
public:
  constexpr TExtrOptions() = default;
  constexpr TExtrOptions(std::initializer_list<TExtrOption> options) {
    for (TExtrOption o : options)
      Include(o);
  }
  constexpr bool Contains(TExtrOption o) const { return (FBits >> o) & 1u; }
  constexpr void Include(TExtrOption o) { FBits |= uint8_t(1u << o); }
  constexpr void Exclude(TExtrOption o) { FBits &= uint8_t(~(1u << o)); }
  constexpr void Clear() { FBits = 0; }
  constexpr bool Empty() const { return FBits == 0; }
  bool operator==(const TExtrOptions&) const = default;

private:
  uint8_t FBits = 0;
};

// One entry of the archive: the fields of its local file header that follow the signature,
// and its name. Entries taken from the central directory (see SetZipFilename) carry the
// fields it reports; there VersionNeeded, Flag and ExtraFieldLength are 0.
struct TZipDirEntry {
  uint16_t VersionNeeded = 0;
  uint16_t Flag = 0;
  uint16_t ComprMethod = 0;
  uint16_t ModifTime = 0; // MS-DOS time
  uint16_t ModifDate = 0; // MS-DOS date
  uint32_t CRC32 = 0;
  uint64_t ComprSize = 0;
  uint64_t UncomprSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  std::string FileName; // UTF-8, as stored ("/" separators as the archive has them)
  bool FromCentralDirectory = false;
};

// What an OnProgress event reports.
enum TZipProgressType : int {
  zpNewFile = 1,        // a file begins; size is its uncompressed size
  zpProgressUpdate = 2, // size is the number of bytes written so far
  zpEndOfFile = 3,      // the file is done; size is the number of bytes written
};

class TZipMaster {
public:
  TZipMaster() = default;
  TZipMaster(const TZipMaster&) = delete;
  TZipMaster& operator=(const TZipMaster&) = delete;

  const std::string& ZipFilename() const noexcept { return FZipFilename; }
  // Sets the archive (a Windows path) and reads its entry list into Contents, then raises
  // OnDirUpdate. A missing file leaves Contents empty. A damaged archive throws Exception
  // with "Error 1 reading Zip File" or "Error N reading Zip file" (N = 2..5), or the reason
  // the central directory cannot be read; Contents then holds the entries read so far.
  void SetZipFilename(std::string_view winPath);

  const std::vector<TZipDirEntry>& Contents() const noexcept { return FContents; }
  int Count() const noexcept { return static_cast<int>(FContents.size()); }

  // Writes the entries that match FSpecArgs (all entries when it is empty) into ExtrBaseDir
  // (the process's current folder when empty; it is not changed), as ExtrOptions say: with
  // ExtrDirNames the entries' folders are kept, else each file goes straight into the base
  // folder under its own name; without ExtrOverWrite an existing file is never replaced;
  // ExtrFreshen and ExtrUpdate replace only older files (ExtrUpdate also writes new ones).
  // Keeps the number of files written in SuccessCount and clears FSpecArgs, also when it
  // throws. Throws Exception when the archive cannot be opened or is not a ZIP archive, or
  // when ExtrBaseDir is given but is not an existing folder; problems with single entries
  // are reported through OnMessage. Does nothing when called from inside an extraction (from
  // an event handler). Blocks on file I/O.
  void Extract();
  int SuccessCount() const noexcept { return FSuccessCount; }

  TStringList FSpecArgs;
  std::string ExtrBaseDir;
  TExtrOptions ExtrOptions;
  bool Verbose = false;
  bool Trace = false;
  // Off: the files written need not reach the disk (for a folder thrown away after use).
  bool Durable = true;

  std::function<void()> OnDirUpdate;
  std::function<void(TZipProgressType type, const std::string& fileName, int64_t size)> OnProgress;
  // errorCode 0 is information; others are the TUnzipError codes of platform/unzip.h.
  std::function<void(int errorCode, const std::string& message)> OnMessage;

private:
  void ReadDirectory();
  void ReadCentralDirectory();

  std::string FZipFilename;
  std::vector<TZipDirEntry> FContents;
  int FSuccessCount = 0;
  bool FExtracting = false;
};

} // namespace dravik
