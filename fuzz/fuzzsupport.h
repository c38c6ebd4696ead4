// Shared by the fuzz targets: a private Wine-style prefix made once per process (drive C: in a
// fresh temporary folder, removed at exit), input slicing, and failing loudly. No GoogleTest:
// every target also builds as a plain corpus replayer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravik::fuzz {

// The process's private prefix: made on first use (under $TMPDIR, else /dev/shm, else /tmp),
// set as the program's prefix, removed when the process exits normally.
class TFuzzPrefix {
public:
  static TFuzzPrefix& Get();

  const std::string& Host() const { return FHost; } // host path of the prefix
  std::string HostC(std::string_view rel) const { return FHost + "/drive_c/" + std::string(rel); }
  // Windows path under C: for a relative path with "\" separators.
  static std::string WinC(std::string_view rel) { return "C:\\" + std::string(rel); }

private:
  TFuzzPrefix();
  std::string FHost;
};

// Host-side file helpers for setting inputs up and checking results.
void WriteHostFile(const std::string& hostPath, const void* data, size_t size);
inline void WriteHostFile(const std::string& hostPath, std::string_view bytes) {
  WriteHostFile(hostPath, bytes.data(), bytes.size());
}
std::string ReadHostFile(const std::string& hostPath);
void RemoveHostTree(const std::string& hostPath);
// Everything below a host folder, sorted by name (relative, "/" separators).
struct THostEntry {
  enum TKind { File, Folder, Link, Other };
  std::string Name;
  TKind Kind;
};
std::vector<THostEntry> HostTree(const std::string& hostFolder);

// Reads an input front to back; reads past the end give zeros and empty pieces.
class TFuzzInput {
public:
  TFuzzInput(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  bool Bool() { return Byte() & 1; }
  // Up to `count` bytes.
  std::string_view Take(size_t count);
  // The bytes up to the next `separator` (which is skipped), or the rest.
  std::string_view Until(char separator);
  std::string_view Rest() { return Take(FSize - FPos); }
  bool Empty() const { return FPos >= FSize; }

private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

// A property of the reader does not hold: prints what and aborts, so the engine keeps the
// input as a crash.
[[noreturn]] void Fail(const std::string& what);
inline void Check(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

} // namespace dravik::fuzz
