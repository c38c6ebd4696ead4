// The GOB archive: the game engine's resource archive, and the one format every patch uses.
//
// Layout (all integers 32-bit signed little-endian): "GOB " signature, version 20, directory
// offset 12, member count at offset 12; then `count` directory entries of 136 bytes (data
// offset, data length, 128-byte NUL-padded name with "\" between folders); then the members'
// bytes. Names are Windows-1252 on disk and UTF-8 in memory.
//
// Readers never read beyond the file and never allocate more than the file holds: a directory
// entry whose 136 bytes do not lie wholly inside the file is not read, and a member whose bytes
// run past the end of the file is skipped. The signature, version and directory-offset field are
// not checked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravik {

class TFileStream;

constexpr int GOB_HEADER_SIZE = 16;
constexpr int GOB_ENTRY_SIZE = 136;
constexpr int GOB_NAME_SIZE = 128;
// Longest full path (in Windows-1252 bytes) a written entry can hold with its ending NUL.
constexpr int GOB_MAX_NAME = GOB_NAME_SIZE - 1;

// One archive member in memory. Inside the editor's document `Name` is the file name alone; its
// folder is the document node that holds it.
struct TGOBThing {
  int32_t Offset = 0; // data offset as read, or as the last WriteGOB placed it
  int32_t Length = 0; // equals Data.size()
  std::string Name;   // UTF-8
  std::vector<uint8_t> Data;
};

// A directory entry as stored.
struct TGOBEntry {
  int32_t Offset = 0;
  int32_t Length = 0;
  std::string Name; // full stored name, up to its NUL, converted to UTF-8
  // Whether the entry's data range lies inside a file of `fileSize` bytes. An empty member
  // has no bytes to lie anywhere: it fits wherever its offset points.
  bool DataFits(int64_t fileSize) const noexcept {
    return Length == 0 || (Offset >= 0 && Length > 0 && int64_t(Offset) + Length <= fileSize);
  }
};

// Whether the file begins with the archive signature "GOB " (the readers themselves do not ask).
bool HasGOBSignature(TFileStream& file);

// Reads the directory of an open archive. Entries that do not fit in the file are not returned.
// The stream's position is not used.
std::vector<TGOBEntry> ReadGOBDirectory(TFileStream& file);
// The same into `entries` (whose storage is reused), for an archive of `size` bytes (its Size,
// which the caller has).
void ReadGOBDirectory(TFileStream& file, int64_t size, std::vector<TGOBEntry>& entries);

// Reads `entry`'s data (the caller checked DataFits). The stream's position is not used.
std::vector<uint8_t> ReadGOBData(TFileStream& file, const TGOBEntry& entry);

// The patch descriptor's member name, in the archive's root.
inline constexpr char GOB_DESCRIPTOR_NAME[] = "patchinfo.txt";
// Whether a stored name (a leading "\" naming the root) is the descriptor's, in any letter case.
bool IsGOBDescriptor(std::string_view name);
// The descriptor's text from its stored bytes: Windows-1252 up to the first NUL, in UTF-8.
std::string GOBDescriptorText(const std::vector<uint8_t>& bytes);

struct TGOBMember {
  std::string FullName; // stored path, UTF-8
  std::unique_ptr<TGOBThing> Thing;
};

// Loads every member with its data, in directory order; `Thing->Name` is the file-name part of
// the stored name. Members whose bytes are not all in the file are skipped without a message.
// Throws EFOpenError when the file cannot be opened.
std::vector<TGOBMember> ReadGOB(std::string_view file);

// (directory path ending in "\" or empty for the root, member)
using TGOBWriteList = std::vector<std::pair<std::string, TGOBThing*>>;

// Writes a new archive with the members in the given order and sets each member's Offset and
// Length. Before anything is written it refuses, with an Exception naming the member, a full
// path longer than 127 characters or one that Windows-1252 cannot carry, and an archive that
// would pass 2 GiB. The file is written beside the target under a temporary name and renamed
// over it, so a failure part-way leaves any old archive whole; a target that cannot be written
// throws EFCreateError("Cannot create file %s"), a failed write EWriteError with the reason.
void WriteGOB(std::string_view file, const TGOBWriteList& members);

} // namespace dravik
