// The extraction library behind the ZIP component: writes the files of a ZIP archive that
// match a set of masks into one folder, and lists an archive's entries from its central
// directory. Built on libzip.
//
// Extraction never writes outside the base folder and never follows or creates a symbolic
// link: entry names lose drive letters, leading separators, "." and ".." ("/" and "\" both
// separate), symbolic-link entries are skipped, and every file is written under a temporary
// name and renamed into place only when its data is complete and its CRC is right. An entry
// whose data runs past its declared size is stopped there, so no entry writes more than it
// declares.
//
// Names inside archives are code page 437 unless the entry is flagged UTF-8; they come out
// as UTF-8. Calls block on file I/O only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// What a callback event reports.
enum TUnzipAction : int {
  uaFileBegin = 1, // a file begins: Size is its declared size, Text its name in the archive
  uaProgress = 2,  // Size is the number of bytes written so far for the current file
  uaFileEnd = 3,   // the file is done: ErrorCode 0 when it was written, else why not
  uaMessage = 4,   // ErrorCode and Text say what happened (ErrorCode 0: information only)
};

// Error codes of uaMessage and uaFileEnd events. The entry concerned is skipped; the rest
// of the archive is still extracted.
enum TUnzipError : int {
  ueNone = 0,
  ueBadName = 1,    // the name leaves nothing to write, or is not a usable file name
  ueSymlink = 2,    // a symbolic link (never made)
  ueEncrypted = 3,  // encrypted entries are not supported
  ueBadData = 4,    // the entry cannot be read: damaged data, CRC error, unknown method
  ueOversized = 5,  // the data runs past the entry's declared size
  ueDiskFull = 6,   // not enough room for the declared size, or the disk filled up
  ueCannotWrite = 7 // the file or one of its folders cannot be made
};

struct TUnzipEvent {
  TUnzipAction Action = uaMessage;
  int ErrorCode = 0;
  int64_t Size = 0;
  std::string Text;
};

// Called on the extracting thread; returns true to cancel the extraction. A file being
// written when the extraction is cancelled is discarded.
using TUnzipCallback = std::function<bool(const TUnzipEvent&)>;

struct TUnzipRequest {
  std::string ArchiveName; // Windows path
  // Windows wildcards ("*", "?", letter case ignored) matched against the entry's whole
  // name, "/" and "\" alike. No masks: every entry.
  std::vector<std::string> Masks;
  std::string BaseDir; // Windows path of the folder to write into; empty: the current folder
  // Keep the entries' folders (made inside BaseDir); off: every file goes straight into
  // BaseDir under the last component of its name.
  bool DirNames = false;
  // Replace files that exist. Off: an existing file is never replaced.
  bool Overwrite = false;
  // Freshen: extract only files that exist and are older than the entry (replacing them).
  // Update: as Freshen, and also extract files that do not exist yet.
  bool Freshen = false;
  bool Update = false;
  // Each file is on the disk before it is put in place, so that a crash leaves the old file or
  // the whole new one. Off for a folder thrown away after use: the files may then never reach
  // the disk at all.
  bool Durable = true;
  bool Verbose = false; // also report skipped files (ErrorCode 0)
  bool Trace = false;   // also report every file and folder made (ErrorCode 0)
  TUnzipCallback Callback;
};

// Extracts the entries matching the masks. Returns the number of files written. Problems
// with single entries are reported through the callback and the entry is skipped. Throws
// Exception when the archive cannot be opened or is not a ZIP archive, or when the base
// folder cannot be opened.
int UnzipExtract(const TUnzipRequest& request);

// One entry of the central directory.
struct TUnzipEntryInfo {
  std::string Name;        // UTF-8
  uint16_t NameLength = 0; // of the stored name, in bytes
  uint16_t Method = 0;
  uint16_t DosTime = 0; // the modification time in MS-DOS form (local time)
  uint16_t DosDate = 0;
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  bool Encrypted = false;
};

// The entries of the archive's central directory in order (ZIP64 and data descriptors
// understood). Throws Exception when the archive cannot be opened or is not a ZIP archive.
std::vector<TUnzipEntryInfo> UnzipListEntries(std::string_view archiveName);

} // namespace dravik
