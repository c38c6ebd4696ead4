// Pieces of the file system layer shared by the sources of platform/. Not for use outside
// platform/.
#pragma once

#include <cstddef>
#include <string>
#include <sys/types.h>

namespace dravik::winfs::detail {

// Records errno `err` as the last error. `hostPath` is the path the failing call named: for
// ENOENT it decides between "file not found" (its folder exists) and "path not found".
void SetLastErrno(int err, const std::string& hostPath);
// The system's text for errno `err`.
std::string ErrnoText(int err);

// The folder part and the name part of an absolute host path ("/" is its own folder).
std::string HostParent(const std::string& hostPath);
std::string HostBaseName(const std::string& hostPath);

// The process's file mode creation mask, without changing it.
mode_t CurrentUmask();

// Creates an empty temporary file ".<name>.XXXXXX.tmp" (mode 0600) in the folder of
// `hostTarget`; returns its descriptor and sets `hostTemp`, or -1 with errno set.
int MakeTempBeside(const std::string& hostTarget, std::string& hostTemp);

// Renames `from` to `to` (both relative to the folder `dirFd`, or absolute) unless `to`
// exists: -1 with errno EEXIST then. File systems without RENAME_NOREPLACE get a hard link
// (which never replaces either) or, failing that, a check before the rename. -1 with errno set
// on failure.
int RenameNoReplace(int dirFd, const std::string& from, const std::string& to);

// Writes all bytes, retrying on EINTR and short writes. False with errno set on failure.
bool WriteAll(int fd, const void* data, size_t count);

// Flushes a folder's entries to disk so that a rename in it survives a crash. File systems
// that cannot do it count as success.
bool FsyncDir(const std::string& hostDir);

} // namespace dravik::winfs::detail
