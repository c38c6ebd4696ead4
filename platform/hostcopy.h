// Copying and removing on the host: file data, whole folder trees, and removing a tree without
// ever following a symbolic link. Part of the host file layer (hostfile.h): Linux paths and
// descriptors, failures as errno. Not for use outside platform/. Calls block on file I/O only.
#pragma once

#include <optional>
#include <string>
#include <sys/stat.h>

namespace dravik::host {

// Copies the whole of the open regular file `in` into the empty file `out` (both positions
// are left undefined). Holes stay holes where the file system tells them (a sparse file takes
// no more disk in the copy than its data); the data is copied in the kernel where it can be.
// False with errno set on failure (a full disk, a file-size limit), the copy then incomplete.
[[nodiscard]] bool CopyData(int in, int out);

// Copies the regular file open as `in` (status `st`) into a new temporary file beside
// `hostTarget` (see MakeTempBeside), with `st`'s modification time and the mode `mode`,
// flushed to disk. Returns the temporary file's path, for the caller to rename over the
// target; or empty with errno set, and nothing left behind.
[[nodiscard]] std::string CopyToTemp(int in, const struct stat& st, const std::string& hostTarget,
                                     mode_t mode);

// Copies the folder `src` into the existing empty folder `dst`: files with their modes and
// times, folders, symbolic links as links. Devices, pipes and sockets are refused (EPERM).
// Returns 0 or the errno of the first failure (what was copied so far stays).
[[nodiscard]] int CopyTree(const std::string& src, const std::string& dst);

// Removes `hostPath` and, for a folder, everything below it, never following a symbolic link
// and never entering another file system. It goes on past failures; returns 0 or the first
// errno met.
[[nodiscard]] int RemoveTree(const std::string& hostPath);

// The target of the symbolic link `path` whose status is `st`. None with errno set when it
// cannot be read, or ENAMETOOLONG when it grew after `st` was taken.
std::optional<std::string> LinkTarget(const std::string& path, const struct stat& st);

} // namespace dravik::host
