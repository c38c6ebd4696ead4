// Moving many files back and forth between two folders, each folder mapped and opened once
// when the mover is made and listed once when first needed, so that a move costs one rename
// rather than a search of the target folder. A move keeps MoveFile's rules (fileops.h): the source
// is found without regard to letter case (the exact name first), and it never replaces an entry of
// the target folder whose name matches without regard to letter case (ERROR_ALREADY_EXISTS).
// Failures record the last error as the file operations do.
//
// The listings are the mover's own: it sees its own moves, not other programs' changes to the
// folders, so it is made for one batch of moves and dropped. Calls block on file I/O only.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace dravik::winfs {

class TFileMover {
public:
  TFileMover(std::string_view winFolder0, std::string_view winFolder1);
  ~TFileMover();
  TFileMover(const TFileMover&) = delete;
  TFileMover& operator=(const TFileMover&) = delete;

  // Moves the entry `name` (one path component) from folder `from` (0 or 1) into the other
  // one under the same name.
  [[nodiscard]] bool Move(int from, const std::string& name);

private:
  struct TFolder {
    std::string Win;  // with its trailing "\"
    std::string Host; // "" when it could not be mapped and opened
    int Fd = -1;      // the folder, open
    bool Listed = false;
    // Folded name -> the entries that carry it.
    std::unordered_map<std::u32string, std::vector<std::string>> Names;
  };
  // Reads the folder's names once; false when it cannot be listed.
  static bool List(TFolder& f);
  std::array<TFolder, 2> FFolders;
};

} // namespace dravik::winfs
