#include "patchform.h"

#include "app/drop/drop.h"
#include "application.h"
#include "commandline.h"
#include "locategame.h"
#include "net/dlstatus.h"
#include "net/retriever.h"
#include "nogameform.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "patchlistview.h"
#include "patchorder.h"
#include "patchsetsui.h"
#include "platform/icons.h"
#include "platform/instance.h"
#include "platform/pendingsaves.h"
#include "platform/prefix.h"
#include "platform/scopeexit.h"
#include "platform/sound.h"
#include "platform/sysutils.h"
#include "platform/wineserver.h"
#include "platform/winfs.h"
#include "prefixchoice.h"
#include "propertyform.h"
#include "repository/repositoryform.h"
#include "settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QMenu>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <functional>
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

// Brings the window up to date when the scope ends, however it ends. An error while redrawing
// is dropped: it must neither hide the command's own error nor escape a destructor.
template <typename F> auto RedrawAtExit(F redraw) {
  return TScopeExit([redraw = std::move(redraw)]() noexcept {
    try {
      redraw();
    } catch (...) {
    }
  });
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

const char* const kDefaultAddFilter = "GOB Files (*.gob)|*.gob|ZIP Files (*.zip)|*.zip";
// The program's settings as one change that may wait for Wine (pendingsaves.h).
const char* const kSettingsChange = "settings";

} // namespace

TPatchForm::TPatchForm(const std::vector<std::string>& args, QWidget* parent)
    : QMainWindow(parent) {
  setObjectName("PatchForm");
  setWindowTitle("Halvex Dravik");
  OpenDialog1.Title = "Add Patch";
  OpenDialog1.Filter = kDefaultAddFilter;
  OpenDialog1.MultiSelect = true;
  OpenDialog1.MustExist = true;

  CreateMenus();
  CreateToolBar();
  CreatePatchList();
  CreateDropTarget();
  CreatePatchSets();
  resize(468, 542);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  SetMainWindow(this);
  // Saves what waits for Wine as soon as Wine has ended.
  FWineWatch = new QTimer(this);
  FWineWatch->setObjectName("WineWatch");
  connect(FWineWatch, &QTimer::timeout, this, [this] { WineWatchTimer(); });
  FWineWatch->start(1000);
  FormCreate(args);
}

TPatchForm::~TPatchForm() {
  // FormDestroy. What Wine refuses waits; then one question names all that waits.
  Guarded([this] { SaveSettings(false); });
  Guarded([] { PendingSaves().SaveOrDiscard(); });
  // The list and its model go first, while this is still a whole TPatchForm for them to ask.
  delete DropControl1;
  delete PatchList;
  delete PatchListModel;
  AppList.reset();
  if (MainWindow() == this) SetMainWindow(nullptr);
}

// ---------------------------------------------------------------------------------------------
// Start-up and game selection

void TPatchForm::FormCreate(const std::vector<std::string>& args) {
  const std::string lastGame = ReadLastGame();
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
  PatchListModel->SetRowCount(0); // the rows were the old catalogue's
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
  OpenDialog1.Filter = app->AppName + " Patches (" + app->PatchFilter + ")|" + app->PatchFilter +
                       "|ZIP Files (*.zip)|*.zip";
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
  PendingSaves().Save(
      kSettingsChange,
      "Dravik's settings (the launch options, the custom command line, the last game and the "
      "conflict display)",
      [flags = OptionFlags, custom = CustomOptions, lastGame, named,
       conflicts = ConflictOption->isChecked()] {
        SaveProgramSettings(flags, custom, named ? &lastGame : nullptr, conflicts);
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
  GameIndex = 0;
  const bool found = LoadGames(ReadLastGame());
  if (found) SetupForGame();
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

// ---------------------------------------------------------------------------------------------
// The patch list

int TPatchForm::SelectedRow() const {
  const QModelIndexList rows = PatchList->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  const TPatchList* list = CurrentList();
  const int row = rows.front().row();
  return list && row < list->Count() ? row : -1;
}

void TPatchForm::PatchListChange() {
  UpdateActivateControls(SelectedRow());
}

void TPatchForm::PatchListColumnClick(int column) {
  TPatchList* list = CurrentList();
  if (!list) return;
  OrderByColumn(*list, column, SortColumn, SortDescending);
  RefreshView();
}

void TPatchForm::PatchListDblClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto repaint = RedrawAtExit([this, row] {
    PatchListModel->Repaint();
    UpdateActivateControls(row);
  });
  TogglePatch(row);
}

void TPatchForm::ActivateClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto refresh = RedrawAtExit([this, row] {
    RefreshView();
    UpdateActivateControls(row);
  });
  TogglePatch(row);
}

void TPatchForm::RemovePatch1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto refresh = RedrawAtExit([this] { RefreshView(); });
  CurrentApp()->DeletePatch(CurrentApp()->Patches[row]);
}

void TPatchForm::Refresh1Click() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  std::string warning;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    warning = app->Rescan();
  }
  ShowStoreWarning(warning);
}

void TPatchForm::DeactivateAll1Click() {
  TPatchList* list = CurrentList();
  if (!list) return;
  auto refresh = RedrawAtExit([this] {
    RefreshView();
    UpdateActivateControls(SelectedRow());
  });
  for (int i = 0; i < list->Count(); ++i)
    if ((*list)[i]->State() == psActive) TogglePatch(i);
}

void TPatchForm::Properties2Click() {
  const int row = SelectedRow();
  if (row < 0 || !Application() || !Application()->PropertyForm) return;
  TPropertyForm* form = Application()->PropertyForm.get();
  form->Patch = CurrentApp()->Patches[row];
  TScopeExit forget([form] { form->Patch = nullptr; });
  form->exec();
}

void TPatchForm::ConflictOptionClick() {
  ConflictOption->setChecked(!ConflictOption->isChecked());
  UpdateConflictColumn();
  RefreshView();
}

void TPatchForm::Exit1Click() {
  close();
}

void TPatchForm::TogglePatch(int row) {
  CurrentApp()->ToggleActive(row);
  PlaySoundResource("CLICK");
}

void TPatchForm::UpdateActivateControls(int row) {
  const TPatchList* list = CurrentList();
  if (row < 0 || !list || row >= list->Count()) return;
  const bool active = (*list)[row]->Active != 0;
  const char* caption = active ? "De&activate" : "&Activate";
  Activate1->setText(caption);
  Activate2->setText(caption);
  ActivateButton->setChecked(active);
}

void TPatchForm::UpdateConflictColumn() {
  const bool on = ConflictOption->isChecked();
  PatchListModel->SetActiveConflictsOnly(on, on ? "Active Conflicts" : "Conflicts");
}

void TPatchForm::RefreshView() {
  const TPatchList* list = CurrentList();
  const int selected = SelectedRow();
  const int count = list ? list->Count() : 0;
  PatchListModel->SetRowCount(count);
  if (selected >= 0 && selected < count && SelectedRow() != selected)
    PatchList->selectionModel()->setCurrentIndex(PatchListModel->index(selected, 0),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
  // The header shows the order the list is really in.
  const int column = list ? SortedColumn(*list) : -1;
  PatchList->header()->setSortIndicator(column, list && list->Descending ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder);
  PatchList->viewport()->update();
  if (PatchSets) PatchSets->Update();
}

// ---------------------------------------------------------------------------------------------
// Adding patches

TDownloader* TPatchForm::Downloader() const {
  return Application() ? Application()->Retriever.get() : nullptr;
}

void TPatchForm::ShowStoreWarning(const std::string& warning) {
  if (!warning.empty()) Dialogs().MessageDlg(warning, mtWarning, {mbOK});
}

void TPatchForm::AddPatch1Click() {
  if (!Dialogs().Execute(OpenDialog1, false)) return;
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    report = TInstaller(*app, Downloader()).InstallFiles(OpenDialog1.Files);
  }
  ShowInstallFailures(report);
}

void TPatchForm::DropControl1Drop(const std::vector<std::string>& formats,
                                  const std::vector<std::string>& strings) {
  if (formats.empty()) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    if (formats.front() == "UniformResourceLocator" || formats.front() == "Netscape Bookmark") {
      if (!strings.empty()) report = InstallURLs({strings.front()});
    } else if (THXPatchedApp* app = CurrentApp()) {
      report = TInstaller(*app, Downloader()).InstallFiles(strings);
    }
  }
  ShowInstallFailures(report);
}

void TPatchForm::ReceiveArguments(const THandedOver& what) {
  FPendingItems.insert(FPendingItems.end(), what.Items.begin(), what.Items.end());
  FPendingUnknown.insert(FPendingUnknown.end(), what.Unknown.begin(), what.Unknown.end());
  if (what.Set) {
    FStartSet = what.Set;
    SwitchToStartSet();
  }
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  QTimer::singleShot(0, this, [this] { Guarded([this] { InstallArguments(); }); });
}

void TPatchForm::InstallArguments() {
  if (FPendingItems.empty() && FPendingUnknown.empty()) return;
  // A question, dialog or download under way runs an event loop of its own: the files wait.
  const bool downloading =
      Application() && Application()->Retriever && Application()->Retriever->Busy();
  if (FInstallingArguments || downloading || QApplication::activeModalWidget()) {
    QTimer::singleShot(250, this, [this] { Guarded([this] { InstallArguments(); }); });
    return;
  }
  FInstallingArguments = true;
  TScopeExit done([this] { FInstallingArguments = false; });
  const std::vector<std::string> items = std::exchange(FPendingItems, {});
  const std::string unknown = UnknownArgumentsMessage(std::exchange(FPendingUnknown, {}));
  if (!unknown.empty()) Dialogs().MessageDlg(unknown, mtWarning, {mbOK});
  THXPatchedApp* app = CurrentApp();
  if (!app || items.empty()) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    TInstaller installer(*app, Downloader());
    report = InstallItems(installer, items);
  }
  ShowInstallFailures(report);
}

void TPatchForm::InstallFromURL(const std::string& url) {
  ShowInstallFailures(InstallURLs({url}));
}

TInstallReport TPatchForm::InstallURLs(const std::vector<std::string>& urls) {
  THXPatchedApp* app = CurrentApp();
  if (!app) return {};
  return TInstaller(*app, Downloader()).InstallURLs(urls);
}

LRESULT TPatchForm::HandleMessage(unsigned message, WPARAM, LPARAM lParam) {
  switch (message) {
  case WM_REFRESH:
    Refresh1Click();
    return 0;
  case WM_GET_GAME:
    return reinterpret_cast<LRESULT>(CurrentApp());
  case WM_DOWNLOAD_INSTALL:
    if (auto* request = reinterpret_cast<TDownloadInstallRequest*>(lParam))
      request->Report = InstallURLs({request->URL});
    return 0;
  case WM_REPOSITORY_SHOWN:
    SetRepositoryShown(true);
    return 0;
  case WM_REPOSITORY_HIDDEN:
    SetRepositoryShown(false);
    return 0;
  case WM_GET_STATUS_DIALOG:
    return reinterpret_cast<LRESULT>(StatusDialog());
  }
  return 0;
}

void TPatchForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) DropControl1->SetControl(nullptr);
  if (event->isAccepted() && Application()) Application()->Terminate();
}

} // namespace dravik
