// What the windows remember of how the user left them, as values of the program's per-user
// settings key: the widths of list columns the user dragged and the folder patches were last
// added from. They are global, not per game.
#pragma once

#include <map>
#include <string>

namespace dravik {

// Column widths by column caption.
using TColumnWidths = std::map<std::string, int>;

struct TViewSettings {
  int NameColumnWidth = 0;  // "NameColumnWidth": the patch list's "Patch" column; 0: none
  int TypeColumnWidth = 0;  // "TypeColumnWidth": its "Type" column; 0: none
  std::string AddFolder;    // "AddFolder": a Windows path; "": none
  TColumnWidths Repository; // "RepositoryColumnWidths": the repository list's columns
};

// Reads what is stored; the key is not created. A missing key or value, a value of another
// type and a width outside 1 to 10,000 read as none. Blocks on the settings store's file only;
// never throws.
TViewSettings ReadViewSettings();

// Writes the values that are set (creating the key when missing) and leaves the others as
// stored. Throws the store's ERegistryException when a write is refused.
void WriteViewSettings(const TViewSettings& settings);

// The repository widths as one text, a line "width=caption" per column, and back; lines that
// do not read so are skipped.
std::string ColumnWidthsText(const TColumnWidths& widths);
TColumnWidths ParseColumnWidths(const std::string& text);

} // namespace dravik
