// The file system as the program sees it: Windows paths ("C:\Games\Hx\HXPatch\x.gob") in,
// Linux operations out. Drive letters come from the prefix's dosdevices/ links; each path
// component is found without regard to letter case (the exact name first, else the first
// case-insensitive match in name order); a component that does not exist keeps its spelling.
// A relative path is relative to the process's current folder.
//
// Every operation that can fail returns false (or an empty result) and records the failure:
// `GetLastError()` gives its Windows error code, `LastErrorText()` the system's text for it.
// Calls block on file I/O only.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravik::winfs {

// Windows error codes the layer reports.
constexpr int ERROR_SUCCESS = 0;
constexpr int ERROR_FILE_NOT_FOUND = 2;
constexpr int ERROR_PATH_NOT_FOUND = 3;
constexpr int ERROR_ACCESS_DENIED = 5;
constexpr int ERROR_NOT_SAME_DEVICE = 17;
constexpr int ERROR_WRITE_PROTECT = 19;
constexpr int ERROR_SHARING_VIOLATION = 32;
constexpr int ERROR_FILE_EXISTS = 80;
constexpr int ERROR_INVALID_PARAMETER = 87;
constexpr int ERROR_DISK_FULL = 112;
constexpr int ERROR_INVALID_NAME = 123;
constexpr int ERROR_DIR_NOT_EMPTY = 145;
constexpr int ERROR_ALREADY_EXISTS = 183;
constexpr int ERROR_FILENAME_EXCED_RANGE = 206;

// File attributes as FindFiles reports and filters them.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02; // names beginning with "."
constexpr int faSysFile = 0x04;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20; // every plain file
constexpr int faAnyFile = 0x3F;

// Host path for a Windows path, components matched without regard to case. Empty when the
// path cannot be mapped (unknown drive letter, UNC path); the last error is then set.
std::string ToHostPath(std::string_view winPath);
// Windows path for a host path: under the most specific drive whose target holds it (Z:\...
// by default). Relative host paths are taken from the current folder. None when no drive
// holds it.
std::optional<std::string> ToWindowsPath(std::string_view hostPath);

bool FileExists(std::string_view winPath);      // a file (not a folder)
bool DirectoryExists(std::string_view winPath); // a folder
// Size in bytes, -1 when it is not a readable file.
int64_t FileSize(std::string_view winPath);

// Creates one folder level (the parent must exist).
bool CreateDir(std::string_view winPath);
bool RemoveDir(std::string_view winPath);
// Copies a file. With failIfExists false an existing target is replaced, atomically: the copy
// is written beside it under a temporary name and renamed over it, so a failed copy leaves
// the old target whole.
bool CopyFile(std::string_view from, std::string_view to, bool failIfExists);
// Moves or renames a file or folder; never replaces an existing target (ERROR_ALREADY_EXISTS).
// Across file systems it copies and then deletes the source.
bool MoveFile(std::string_view from, std::string_view to);
bool DeleteFile(std::string_view winPath);
// Renames `from` over `to`, replacing it (both on the same file system).
bool ReplaceFile(std::string_view from, std::string_view to);

struct TSearchRec {
  std::string Name; // as stored on disk (UTF-8)
  int Attr = 0;
  int64_t Size = 0;
  std::time_t Time = 0;
};

// Lists the folder part of `winMask` by the wildcard in its last component ("*" and "?",
// letter case ignored, Windows rules: "*.*" matches every name). Plain files are always
// listed; folders only when `attr` has faDirectory, hidden entries only with faHidden. "." and
// ".." are never listed. Names ascend ignoring letter case. A missing folder lists nothing.
std::vector<TSearchRec> FindFiles(std::string_view winMask, int attr);

// The program's private temporary folder, made on first use and removed at exit, in Windows
// form with a trailing backslash.
std::string GetTempPath();
// A new, empty, private folder inside GetTempPath() (trailing backslash); the caller removes
// it with RemoveTree. Empty on failure.
std::string MakeTempDir();
// Removes a folder and everything below it, never following symbolic links.
bool RemoveTree(std::string_view winPath);

int GetLastError();
std::string LastErrorText();
// The text of a Windows error code (as the system words it).
std::string SysErrorMessage(int code);
void SetLastError(int code);

// Throws EInOutError for the last error: "Invalid filename" (3), "File access denied" (5),
// "I/O error %d".
[[noreturn]] void RaiseLastInOutError();

} // namespace dravik::winfs
