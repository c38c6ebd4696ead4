// The main window's start-up, the choice of its game and prefix, and its settings.
#include "addpatch.h"
#include "application.h"
#include "commandline.h"
#include "locategame.h"
#include "nogameform.h"
#include "patches/patchedapp.h"
#include "patchform.h"
#include "patchlistview.h"
#include "platform/icons.h"
#include "platform/pendingsaves.h"
#include "platform/prefix.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/wineserver.h"
#include "prefixchoice.h"
#include "repository/repositoryform.h"
#include "settings.h"

#include <QAction>
#include <QActionGroup>
#include <QBuffer>
#include <QHeaderView>
#include <QImageReader>
#include <QMenu>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <utility>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// A caption shows "&" only when doubled; a lone one marks the access key.
QString Caption(const std::string& text) {
  return Q(text).replace('&', "&&");
}

// The game's icon from its catalogue bytes; null when they hold no readable icon.
QIcon GameIcon(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return QIcon();
  QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  if (!QImageReader(&buffer, "ico").canRead()) return QIcon();
  return IconFromIcoBytes(bytes);
}

// The program's settings as one change that may wait for Wine (pendingsaves.h).
const char* const kSettingsChange = "settings";

} // namespace

void TPatchForm::FormCreate(const std::vector<std::string>& args) {
  const std::string lastGame = ReadLastGame();
  FView = ReadViewSettings();
  {
    FSizingColumns = true;
    TScopeExit sized([this] { FSizingColumns = false; });
    const int widths[] = {FView.NameColumnWidth, FView.TypeColumnWidth};
    for (size_t column = 0; column < FUserSized.size(); ++column)
      if (widths[column] > 0) {
        PatchList->header()->resizeSection(int(column), widths[column]);
        FUserSized[column] = true;
      }
  }
  const TCommandLine commandLine = ParseCommandLine(args);
  QuickStart = commandLine.QuickStart;
  if (commandLine.Morvane) GameIndex = 1;
  FPendingItems = commandLine.Items;
  FPendingUnknown = commandLine.Unknown;
  FStartSet = commandLine.Set;

  bool gameFound = LoadGames(lastGame);
  if (!gameFound) {
    // The player may set a game up from the dialog; start-up then goes on with it.
    TApplication* application = Application();
    std::unique_ptr<TNoGameForm> local;
    if (!application) local = std::make_unique<TNoGameForm>();
    TNoGameForm* form = application ? application->NoGameForm() : local.get();
    if (application) application->ShowMainForm = false;
    form->exec();
    gameFound = !form->Located.empty() && LoadGames(form->Located.front());
    if (application) {
      application->ShowMainForm = gameFound;
      if (!gameFound) application->Terminate();
    }
  }
  if (!gameFound) return;
  Guarded([this] {
    const std::string warning = CurrentApp()->Rescan();
    FStoreReadAtCreation = CurrentApp();
    RefreshView();
    ShowStoreWarning(warning);
  });
  SwitchToStartSet();
}

bool TPatchForm::LoadGames(const std::string& lastGame) {
  // The rows, and the patch selected, were the old catalogue's.
  SelectRow(-1);
  PatchListModel->SetRowCount(0);
  for (QAction* item : GameGroup->actions())
    delete item;
  AppList.reset();
  bool gameFound = false;
  try {
    AppList = std::make_unique<THXPatchedAppList>();
    AppList->LoadCatalogue();
    for (int j = 0; j < AppList->Count(); ++j) {
      THXPatchedApp* app = AppList->Items(j);
      if (!app->IsInstalled()) continue;
      gameFound = true;
      auto* item = new QAction(Caption(app->AppName), this);
      item->setObjectName(QString("GameSelector%1").arg(j));
      item->setCheckable(true);
      item->setActionGroup(GameGroup);
      if (app->AppName == lastGame) {
        GameIndex = j;
        item->setChecked(true);
      }
      item->setData(j);
      OnClick(item, [this, item] { GameSelectorClick(item); });
      Game1->insertAction(GameSeparator, item);
    }
  } catch (...) {
    // A catalogue that cannot be read counts as no catalogue at all.
    AppList.reset();
    gameFound = false;
    for (QAction* item : GameGroup->actions())
      delete item;
  }
  if (!gameFound) return false;
  const QList<QAction*> items = GameGroup->actions();
  if (items.size() == 1 && !items.front()->isChecked()) {
    GameIndex = items.front()->data().toInt();
    items.front()->setChecked(true);
  }
  // "-mrvn" with a catalogue whose second entry is missing or not installed: the first
  // installed game, so that the store is never looked for in an unknown folder.
  if (!CurrentApp() || !CurrentApp()->IsInstalled()) GameIndex = items.front()->data().toInt();
  return true;
}

void TPatchForm::RefreshWindows() {
  RefreshView();
  if (FRepositoryForm && FRepositoryForm->isVisible())
    SendMessage(FRepositoryForm, WM_REFRESH, 0, 0);
}

void TPatchForm::LocateGame1Click() {
  const std::vector<std::string> located = LocateGame();
  if (located.empty()) return;
  // Wine let the set-up through: what waited for it goes first, then the catalogue is read
  // anew and the window turns to the game just set up.
  PendingSaves().Flush();
  const bool gameFound = LoadGames(located.front());
  if (gameFound) {
    Guarded([this] { SaveSettings(); });
    SetupForGame();
  }
  RefreshWindows();
}

void TPatchForm::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TPatchForm::FormShow() {
  // A failed set-up is shown; the window goes on as far as it was set up.
  bool setUp = false;
  Guarded([&] {
    SetupForGame();
    setUp = true;
  });
  Guarded([this] { RefreshView(); });
  if (!setUp) return;
  // After the window has appeared; a quick start installs before it launches.
  QTimer::singleShot(0, this, [this, quickStart = QuickStart] {
    Guarded([this] { InstallArguments(); });
    if (!quickStart) return;
    Guarded([this] { LaunchClick(); });
    if (Application()) Application()->Terminate();
  });
}

void TPatchForm::SetupForGame() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  const bool storeRead = std::exchange(FStoreReadAtCreation, nullptr) == app;
  SortColumn = 0;
  LoadSettings();
  if (storeRead)
    app->CreateStoreFolders(); // read at creation; a folder made now is empty
  else
    ShowStoreWarning(app->OpenStore());
  FGameFilter = app->AppName + " Patches (" + app->PatchFilter + ")|" + app->PatchFilter +
                "|ZIP Files (*.zip)|*.zip";
  OpenDialog1.Filter = AddPatchFilter(app->PatchFilter, FGameFilter);
  setWindowTitle(Q(app->AppName + " Dravik"));
  LaunchHalvex1->setText(Caption("Launch " + app->AppName));
  LaunchButton->setToolTip(Q("Launch " + app->AppName));
  LaunchButton->setAccessibleName(Q("Launch " + app->AppName));
  const QIcon icon = GameIcon(app->Icon);
  setWindowIcon(icon.isNull() ? ProgramIcon() : icon);
  LaunchButton->setIcon(icon.isNull() ? ToolIcon("launch") : icon);
}

void TPatchForm::LoadSettings() {
  THXPatchedApp* app = CurrentApp();
  ZoneOption->setChecked(app && app->GetDirectPlayValue(2) == ZoneCommandLine());
  // Settings that wait for Wine are newer than the stored ones.
  bool activeConflicts = ConflictOption->isChecked();
  if (!PendingSaves().Waiting(kSettingsChange))
    LoadProgramSettings(OptionFlags, CustomOptions, activeConflicts);
  ConflictOption->setChecked(activeConflicts);
  UpdateConflictColumn();
  for (QAction* item :
       {ShowFramerateduringgameplay1, Allowadvanceddisplayconfiguration1, Enabledevelopermode1,
        Displayplayerstatisticsduringgameplay1, Showcutscenesinawindow1})
    item->setChecked(OptionFlags.at(static_cast<size_t>(item->data().toInt())) != 0);
  Custom1->setChecked(!CustomOptions.empty());
}

void TPatchForm::SaveSettings() {
  SaveSettings(true);
}

void TPatchForm::SaveSettings(bool ask) {
  std::string lastGame;
  const bool named = AppList && GameIndex >= 0 && GameIndex < AppList->Count();
  if (named) lastGame = AppList->Items(GameIndex)->AppName;
  RememberView();
  PendingSaves().Save(
      kSettingsChange,
      "Dravik's settings (the launch options, the custom command line, the last game, the "
      "conflict display and how the lists were left)",
      [flags = OptionFlags, custom = CustomOptions, lastGame, named,
       conflicts = ConflictOption->isChecked(), view = FView] {
        SaveProgramSettings(flags, custom, named ? &lastGame : nullptr, conflicts);
        WriteViewSettings(view);
      },
      ask);
}

void TPatchForm::WineWatchTimer() {
  if (!PendingSaves().Empty() && !WineServerRunning(WinePrefix())) PendingSaves().Flush();
}

THXPatchedApp* TPatchForm::FindApp(const std::string& appName) const {
  for (int j = 0; AppList && j < AppList->Count(); ++j)
    if (AppList->Items(j)->AppName == appName) return AppList->Items(j);
  return nullptr;
}

void TPatchForm::GameSelectorClick(QAction* item) {
  const int tag = item->data().toInt();
  if (tag == GameIndex) return;
  GameIndex = tag;
  for (QAction* other : GameGroup->actions())
    other->setChecked(other == item);
  SelectRow(-1); // another game's patches: nothing stays selected
  // A refused save may wait, and the switch goes on: the window works on the game it shows.
  Guarded([this] { SaveSettings(); });
  SetupForGame();
  RefreshWindows();
}

void TPatchForm::WinePrefix1Click() {
  std::string folder = WinePrefix();
  if (!Dialogs().SelectHostFolder("Wine Prefix", folder)) return;
  const std::string prefix = EnclosingPrefix(folder);
  if (prefix.empty()) {
    Dialogs().MessageDlg(Format("%s is not a Wine prefix: a prefix holds a drive_c folder and a "
                                "system.reg file.",
                                folder),
                         mtWarning, {mbOK});
    return;
  }
  // What the prefix left behind is owed goes to it first: saved, or, while Wine still runs for
  // it, waited for or discarded as the user answers. Nothing may wait into the next prefix.
  Guarded([this] { SaveSettings(false); });
  Guarded([] { PendingSaves().SaveOrDiscard(); });
  UsePrefix(prefix);
  if (TApplication* application = Application()) application->PrefixChanged();
  // The folder patches were last added from is a path in the prefix left behind, and the
  // options are the new prefix's own: what it never saved starts as on a first run.
  FView.AddFolder = ReadViewSettings().AddFolder;
  OptionFlags = {};
  CustomOptions.clear();
  ConflictOption->setChecked(true);
  GameIndex = 0;
  const bool found = LoadGames(ReadLastGame());
  if (found)
    SetupForGame();
  else
    LoadSettings();
  RefreshWindows();
  if (!found) {
    setWindowTitle("Halvex Dravik");
    Dialogs().MessageDlg(
        Format("Dravik was unable to detect valid DirectPlay entries for Halvex or Morvane in "
               "the Wine prefix %s. \"Locate Game...\" in the Game menu sets a game up from "
               "its folder.",
               prefix),
        mtWarning, {mbOK});
  }
}

THXPatchedApp* TPatchForm::CurrentApp() const {
  if (!AppList || GameIndex < 0 || GameIndex >= AppList->Count()) return nullptr;
  return AppList->Items(GameIndex);
}

TPatchList* TPatchForm::CurrentList() const {
  THXPatchedApp* app = CurrentApp();
  return app ? &app->Patches : nullptr;
}

} // namespace dravik
