// The host file layer: small operations on Linux paths and descriptors that the platform
// layer's file code shares (the Windows-path operations of winfs.h, the registry's hive files,
// ZIP extraction, file streams). Not for use outside platform/.
//
// Failures come back as errno (or a return value that says so); nothing here records the
// Windows last error of winfs.h. Calls block on file I/O only.
#pragma once

#include "fileversion.h"

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace dravik::host {

// The system's text for errno `err` ("No space left on device").
std::string ErrnoText(int err);

// The folder part and the name part of a host path: "/" is its own folder, a bare name lies
// in ".".
std::string Parent(const std::string& hostPath);
std::string BaseName(const std::string& hostPath);
// `dir` and `name` joined by exactly one "/".
std::string Join(const std::string& dir, std::string_view name);
// Whether `hostPath` names a folder, symbolic links followed.
bool IsFolder(const std::string& hostPath);

// The version of the file or folder whose status is `st`.
winfs::TFileVersion VersionOf(const struct stat& st);
// Whether the file or folder whose status is `st` had its last change (of content or status)
// safely before `readFrom`, a moment taken before the status call and before what the version
// stands for was read: then any change after `readFrom` gives it another version. File systems
// stamp changes with a coarse clock (a few milliseconds); those that keep no fractions of a
// second may round to two.
bool Settled(const struct stat& st, const struct timespec& readFrom);

// The process's file mode creation mask, read without changing it.
mode_t CurrentUmask();

// Creates an empty temporary file ".<name>.XXXXXX.tmp" (mode 0600, close-on-exec) in the
// folder of `hostTarget`, so that it can later be renamed over the target on the same file
// system. Returns its descriptor (the caller closes it) and sets `hostTemp`, or -1 with errno
// set and nothing made.
[[nodiscard]] int MakeTempBeside(const std::string& hostTarget, std::string& hostTemp);

// Renames `from` to `to` (both relative to the folder `dirFd`, or absolute) unless `to`
// exists: -1 with errno EEXIST then, and nothing changed. File systems without
// RENAME_NOREPLACE get a hard link (which never replaces either) or, failing that, a check
// before the rename. 0 on success, -1 with errno set on failure.
[[nodiscard]] int RenameNoReplace(int dirFd, const std::string& from, const std::string& to);

// Writes all `count` bytes at the descriptor's position, retrying on EINTR and short writes.
// False with errno set on failure (a write that makes no progress is ENOSPC); how much was
// written then is unspecified.
[[nodiscard]] bool WriteAll(int fd, const void* data, size_t count);

// Flushes a folder's entries to disk so that a rename done in it survives a crash, as far as
// the file system allows. It runs after the rename, when a failure can neither undo it nor
// be usefully reported, so it reports none.
void FlushFolder(const std::string& hostDir);

} // namespace dravik::host
