#include "locategame.h"

#include "catalogue/catalogue.h"
#include "platform/dialogs.h"
#include "platform/pendingsaves.h"
#include "platform/prefix.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <optional>

namespace dravik {

std::vector<std::string> LocateGame() {
  std::string hostFolder = winfs::ToHostPath("C:\\");
  if (!Dialogs().SelectHostFolder("Locate Game", hostFolder)) return {};
  const std::optional<std::string> winFolder = winfs::ToWindowsPath(hostFolder);
  if (!winFolder) {
    Dialogs().MessageDlg(
        Format("%s is outside every drive of the Wine prefix %s.", hostFolder, WinePrefix()),
        mtWarning, {mbOK});
    return {};
  }
  std::string folder = *winFolder;
  if (folder.empty() || folder.back() != '\\') folder += '\\';

  const std::vector<const TCatalogueGame*> games = GamesInFolder(folder);
  if (games.empty()) {
    Dialogs().MessageDlg(Format("No game program was found in %s.\n\nDravik looks for %s in the "
                                "folder the game is installed in.",
                                winfs::DisplayPath(folder), KnownProgramsText()),
                         mtWarning, {mbOK});
    return {};
  }

  std::string names, keys;
  for (const TCatalogueGame* game : games) {
    names += (names.empty() ? "" : " and ") + game->AppName;
    keys += Format("- HKEY_LOCAL_MACHINE\\%s\\%s: where %s is (Path, File, CurrentDirectory, "
                   "CommandLine)\n",
                   kDirectPlayKey, game->DirectPlayName, game->AppName);
  }
  const std::string question =
      Format("Set up %s, installed in %s, in the Wine prefix %s?\n\n"
             "Dravik will write into the prefix's registry, where the game's installer would:\n"
             "- HKEY_LOCAL_MACHINE\\%s: the games Dravik manages\n%s",
             names, folder, WinePrefix(), kCatalogueKey, keys);
  if (Dialogs().MessageDlg(question, mtConfirmation, {mbYes, mbNo}) != mrYes) return {};

  if (!SaveWhenWineAllows("the set-up of " + names, [&] {
        for (const TCatalogueGame* game : games)
          SetUpGame(*game, folder);
      }))
    return {};
  std::vector<std::string> located;
  for (const TCatalogueGame* game : games)
    located.push_back(game->AppName);
  return located;
}

} // namespace dravik
