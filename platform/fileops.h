// File and folder operations on Windows paths (mapped as pathmap.h says). Every operation that
// can fail returns false (or -1) and records the failure: `GetLastError()` gives its Windows
// error code, `LastErrorText()` the system's text for it (lasterror.h). Calls block on file
// I/O only. Results are [[nodiscard]]: a caller that may ignore a failure says why.
#pragma once

#include <cstdint>
#include <string_view>

namespace dravik::winfs {

[[nodiscard]] bool FileExists(std::string_view winPath);      // a file (not a folder)
[[nodiscard]] bool DirectoryExists(std::string_view winPath); // a folder
// Size in bytes, -1 when it is not a readable file.
[[nodiscard]] int64_t FileSize(std::string_view winPath);

// Creates one folder level (the parent must exist).
[[nodiscard]] bool CreateDir(std::string_view winPath);
[[nodiscard]] bool RemoveDir(std::string_view winPath);
// Copies a file. With failIfExists false an existing target is replaced, atomically: the copy
// is written beside it under a temporary name and renamed over it, so a failed copy leaves
// the old target whole.
[[nodiscard]] bool CopyFile(std::string_view from, std::string_view to, bool failIfExists);
// Moves or renames a file or folder; never replaces an existing target (ERROR_ALREADY_EXISTS).
// Across file systems it copies and then deletes the source.
[[nodiscard]] bool MoveFile(std::string_view from, std::string_view to);
[[nodiscard]] bool DeleteFile(std::string_view winPath);
// Renames `from` over `to`, replacing it (both on the same file system).
[[nodiscard]] bool ReplaceFile(std::string_view from, std::string_view to);
// Removes a folder and everything below it, never following symbolic links. A drive root is
// never removed.
[[nodiscard]] bool RemoveTree(std::string_view winPath);

} // namespace dravik::winfs
