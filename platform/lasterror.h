// The last error of the file system layer (winfs.h): every operation that fails records a
// Windows error code for the calling thread, with the system's text for it.
#pragma once

#include <string>

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

// The calling thread's last error code, ERROR_SUCCESS before any failure.
int GetLastError();
void SetLastError(int code);
// The system's text for the last error (for one that came from the system, its own words).
std::string LastErrorText();
// The text of a Windows error code (as the system words it).
std::string SysErrorMessage(int code);

// Throws EInOutError for the last error: "Invalid filename" (3), "File access denied" (5),
// "I/O error %d".
[[noreturn]] void RaiseLastInOutError();

// For the platform layer's own file code.
//
// Records errno `err` as the last error. `hostPath` is the path the failing call named: for
// ENOENT it decides between "file not found" (its folder exists) and "path not found".
void SetLastErrno(int err, const std::string& hostPath);
// Records `code` with the errno `err` behind it, where one errno stands for several codes
// (EEXIST is ERROR_FILE_EXISTS for one call and ERROR_ALREADY_EXISTS for another).
void SetLastErrorWithErrno(int code, int err);
// Record the last error and return false, for operations that report failure by a bool.
bool FailWith(int code);
bool FailWithErrno(int err, const std::string& hostPath);

} // namespace dravik::winfs
