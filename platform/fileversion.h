// What a status call shows of a file (or folder) at one moment, to tell later whether it may
// have changed since: the file itself (device and inode), its size, and the times of its last
// change of content (modification) and of status (change), in nanoseconds. Writing to the file,
// truncating it, setting its times, or putting another file in its place (a rename over it, a
// new file on a recycled inode) gives another version, except within one tick of the file
// system's clock: a version is to be trusted only when it was settled (hostfile.h, findfiles.h)
// when what it stands for was read.
#pragma once

#include <cstdint>

namespace dravik::winfs {

struct TFileVersion {
  uint64_t Device = 0;
  uint64_t Inode = 0;
  int64_t Size = 0;
  int64_t Modified = 0; // nanoseconds since the epoch
  int64_t Changed = 0;
  bool operator==(const TFileVersion&) const = default;
};

} // namespace dravik::winfs
