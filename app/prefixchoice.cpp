#include "prefixchoice.h"

#include "catalogue/catalogue.h"
#include "platform/dialogs.h"
#include "platform/prefix.h"
#include "platform/prefixsearch.h"
#include "platform/sysutils.h"

#include <QSettings>
#include <cstdlib>

namespace dravik {

namespace {

const char* const kPrefixSetting = "WinePrefix";

std::string gSearchNote;

QSettings ProgramSettings() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, "dravik", "dravik");
}

bool FromEnvironment() {
  const char* env = std::getenv("WINEPREFIX");
  return env && *env;
}

std::vector<std::string> ProgramNames() {
  std::vector<std::string> names;
  for (const TCatalogueGame& game : CatalogueGames())
    names.push_back(game.ExeName);
  return names;
}

// "a or b or c".
std::string Alternatives(const std::vector<std::string>& names, const char* word) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i)
    text +=
        (i == 0 ? "" : (i + 1 == names.size() ? std::string(" ") + word + " " : ", ")) + names[i];
  return text;
}

// "Halvex and Morvane": the games whose programs a found prefix holds.
std::string GamesIn(const TFoundPrefix& found) {
  std::vector<std::string> games;
  for (const std::string& name : found.Programs)
    if (const TCatalogueGame* game = GameOfProgram(name)) games.push_back(game->AppName);
  return Alternatives(games, "and");
}

} // namespace

std::string RememberedPrefix() {
  return ProgramSettings().value(kPrefixSetting).toString().toStdString();
}

void RememberPrefix(const std::string& hostPath) {
  QSettings settings = ProgramSettings();
  settings.setValue(kPrefixSetting, QString::fromStdString(hostPath));
  settings.sync();
}

std::string KnownPrefix() {
  if (!FromEnvironment()) {
    const std::string remembered = RememberedPrefix();
    if (!remembered.empty() && IsWinePrefixFolder(remembered)) return remembered;
  }
  return EnvironmentWinePrefix();
}

void UsePrefix(const std::string& hostPath) {
  SetWinePrefix(hostPath);
  RememberPrefix(hostPath);
}

std::string EnclosingPrefix(const std::string& hostFolder) {
  std::string folder = hostFolder;
  while (folder.size() > 1 && folder.back() == '/')
    folder.pop_back();
  while (!folder.empty() && !IsWinePrefixFolder(folder)) {
    const size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos || slash == 0 ? std::string() : folder.substr(0, slash);
  }
  return folder;
}

void ChooseStartPrefix() {
  gSearchNote.clear();
  SetWinePrefix(std::string());
  if (FromEnvironment()) return;
  const std::string remembered = RememberedPrefix();
  if (!remembered.empty() && IsWinePrefixFolder(remembered)) {
    SetWinePrefix(remembered);
    return;
  }
  // ~/.wine, unless it holds no game and another prefix does.
  const std::string home = EnvironmentWinePrefix();
  const std::vector<std::string> programs = ProgramNames();
  if (IsWinePrefixFolder(home) && !FindProgramsInPrefix(home, programs).empty()) return;
  const std::vector<std::string> places = UsualPrefixPlaces();
  const std::vector<TFoundPrefix> found = FindGamePrefixes(places, programs);
  if (found.empty()) {
    std::vector<std::string> shown;
    for (const std::string& place : places)
      shown.push_back(ShortHostPath(place));
    gSearchNote = Format("Dravik looked for %s in the Wine prefixes at %s, and found neither. "
                         "\"Locate Game...\" sets up a game from its folder in this prefix; to use "
                         "another prefix, start Dravik with WINEPREFIX set to it.",
                         Alternatives(programs, "or"), Alternatives(shown, "and"));
    return;
  }
  if (found.size() == 1) {
    UsePrefix(found.front().Path);
    Dialogs().MessageDlg(Format("Dravik found %s in the Wine prefix %s and uses it from now on. "
                                "\"Wine Prefix...\" in the File menu chooses another.",
                                GamesIn(found.front()), ShortHostPath(found.front().Path)),
                         mtInformation, {mbOK});
    return;
  }
  std::vector<std::string> items;
  std::vector<std::string> games;
  for (const TCatalogueGame& game : CatalogueGames())
    games.push_back(game.AppName);
  for (const TFoundPrefix& prefix : found)
    items.push_back(ShortHostPath(prefix.Path) + " (" + GamesIn(prefix) + ")");
  int index = 0;
  if (Dialogs().ChooseItem("Wine Prefix",
                           Alternatives(games, "or") +
                               " is installed in more than one Wine prefix. Which one should "
                               "Dravik use?",
                           items, index) &&
      index >= 0 && static_cast<size_t>(index) < found.size())
    UsePrefix(found[static_cast<size_t>(index)].Path);
}

std::string PrefixSearchNote() {
  return gSearchNote;
}

} // namespace dravik
