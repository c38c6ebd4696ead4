// What the path mapping (pathmap.h) remembers between calls, so that mapping a path in a folder
// it knows costs a few status calls instead of a walk from the drive root with folder listings:
// each drive's folder, the names of the folders in which a name had to be looked up without
// regard to case, and each folder path already resolved.
//
// A memory is used only while what it rests on is unchanged, so every answer is the one a fresh
// look-up would give at that moment: a drive's folder while its dosdevices link still leads to
// the same folder; a folder's names while the folder has the same identity and times of change
// (a file created, deleted or renamed there, by this program or another, changes them); a
// resolved path while every folder whose names decided it is unchanged and the path itself
// still leads through the names it was found by. Names read within the timestamp resolution of
// the folder's last change are used once and not remembered, since a second change in the same
// tick would not show.
//
// For the platform layer's own file code. Thread-safe; calls block on file I/O only.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace dravik::winfs {

// The host folder a drive letter stands for: its dosdevices link resolved, when that is a
// folder.
std::optional<std::string> DriveFolder(char letter);

// The host path of `names` (components, "." and ".." already folded) below the host folder
// `root`: each found as it is spelled, else as the first name in byte order that matches it
// without regard to case; from the first that does not exist on, each keeps its spelling.
std::string ResolveBelow(const std::string& root, std::span<const std::string_view> names);

// Tells the memory that this program changed the entries of a host folder (created, removed or
// renamed something in it), so nothing it remembers of that folder is used again.
void FolderChanged(const std::string& hostFolder);

} // namespace dravik::winfs
