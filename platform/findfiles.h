// Listing a folder by a wildcard mask, as Windows lists it. A failure or an empty listing
// records the last error (lasterror.h). Calls block on file I/O only.
#pragma once

#include "fileversion.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace dravik::winfs {

// File attributes as FindFiles reports and filters them.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02; // names beginning with "."
constexpr int faSysFile = 0x04;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20; // every plain file
constexpr int faAnyFile = 0x3F;

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
// An entry FindVersions lists.
struct TFoundFile {
  std::string Name; // as stored on disk (UTF-8)
  TFileVersion Version;
  // Whether the entry's last change lay safely before the listing began, so that any change
  // after it gives the entry another Version; a version that is not settled may stay the same
  // through a change made within the same tick of the file system's clock.
  bool Settled = false;
};
// The entries FindFiles(winMask, faAnyFile) lists, in its order, each with its version at the
// listing (links followed).
std::vector<TFoundFile> FindVersions(std::string_view winMask);

} // namespace dravik::winfs
