// Byte streams on files named by Windows paths (see winfs.h).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

enum TFileMode { fmOpenRead, fmOpenReadWrite, fmCreate };

// An open file. Opening for reading throws EFOpenError("Cannot open file %s"), creating
// throws EFCreateError("Cannot create file %s"), with the Windows path. Owns its descriptor.
class TFileStream {
public:
  TFileStream(std::string_view winPath, TFileMode mode);
  ~TFileStream();
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Reads up to `count` bytes; returns how many were read (0 at the end).
  int64_t Read(void* buffer, int64_t count);
  // Reads exactly `count` bytes or throws EReadError.
  void ReadBuffer(void* buffer, int64_t count);
  // Reads exactly `count` bytes at `offset`, leaving the position as it is, or throws
  // EReadError.
  void ReadBufferAt(int64_t offset, void* buffer, int64_t count);
  // Writes all bytes or throws EWriteError (with the system's reason).
  void WriteBuffer(const void* buffer, int64_t count);
  int64_t Seek(int64_t offset); // from the start; returns the new position
  int64_t Position() const noexcept { return FPos; }
  int64_t Size() const;
  // Flushes to disk (fsync); throws EWriteError on failure.
  void Flush();
  const std::string& FileName() const noexcept { return FFileName; }

private:
  int FFd = -1;
  int64_t FPos = 0;
  std::string FFileName;
};

// Writes a new version of a file safely: the bytes go into a temporary file beside the target,
// which `Commit` flushes and renames over the target. Destroyed without a commit (an error on
// the way), it removes the temporary file and the target stays as it was. Creating the
// temporary file throws EFCreateError with the target's path.
class TSafeFileWriter {
public:
  explicit TSafeFileWriter(std::string_view winPath);
  ~TSafeFileWriter();
  TSafeFileWriter(const TSafeFileWriter&) = delete;
  TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

  void WriteBuffer(const void* buffer, int64_t count);
  // Flush, rename over the target. Throws EWriteError (with the system's reason) on failure,
  // leaving the target whole.
  void Commit();

private:
  int FFd = -1;
  std::string FTarget;   // Windows path
  std::string FHostTemp; // host path of the temporary file
  std::string FHostTarget;
  bool FCommitted = false;
  int64_t FWritten = 0; // bytes written so far
  int64_t FFlushed = 0; // bytes whose write-out to the disk has been started
};

// Whole-file helpers (throw as TFileStream does).
std::vector<uint8_t> ReadFileBytes(std::string_view winPath);
void WriteFileAtomically(std::string_view winPath, const void* data, int64_t size);

// A seam for tests that stop a save at its most delicate point: `hook` runs in every safe save
// (TSafeFileWriter, the settings store's hive files) once the temporary file is written and
// synced, just before it is renamed over the target, with the target's host path. The program
// sets none. Not thread-safe: set it while nothing saves.
void SetBeforeReplaceHook(std::function<void(const std::string& hostTarget)> hook);
namespace detail {
void BeforeReplace(const std::string& hostTarget);
} // namespace detail

} // namespace dravik
