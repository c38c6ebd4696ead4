#include "patchform.h"

#include "aboutbox.h"
#include "app/drop/drop.h"
#include "application.h"
#include "debugform.h"
#include "gob/gobber.h"
#include "net/dlstatus.h"
#include "net/retriever.h"
#include "nogameform.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "patchlistview.h"
#include "patchorder.h"
#include "platform/addresses.h"
#include "platform/icons.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"
#include "propertyform.h"
#include "repository/repositoryform.h"
#include "settings.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QBuffer>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImageReader>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolBar>
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

// Runs its action when the scope ends, however it ends.
class TFinally {
public:
  explicit TFinally(std::function<void()> action) : FAction(std::move(action)) {}
  ~TFinally() {
    try {
      FAction();
    } catch (...) {
    }
  }
  TFinally(const TFinally&) = delete;
  TFinally& operator=(const TFinally&) = delete;

private:
  std::function<void()> FAction;
};

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

} // namespace

template <typename F> void TPatchForm::OnClick(QAction* item, F handler) {
  connect(item, &QAction::triggered, this, [item, handler] {
    if (item->isCheckable()) item->setChecked(!item->isChecked());
    Guarded(handler);
  });
}

template <typename F> void TPatchForm::OnClick(QAbstractButton* button, F handler) {
  connect(button, &QAbstractButton::clicked, this, [button, handler] {
    if (button->isCheckable()) button->setChecked(!button->isChecked());
    Guarded(handler);
  });
}

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
  resize(468, 542);
  if (QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());

  SetMainWindow(this);
  FormCreate(args);
}

TPatchForm::~TPatchForm() {
  // FormDestroy.
  Guarded([this] { SaveSettings(); });
  // The list and its model go first, while this is still a whole TPatchForm for them to ask.
  delete DropControl1;
  delete PatchList;
  delete PatchListModel;
  AppList.reset();
  if (MainWindow() == this) SetMainWindow(nullptr);
}

QAction* TPatchForm::NewAction(QMenu* menu, const char* name, const char* caption) {
  auto* action = new QAction(caption, this);
  action->setObjectName(name);
  menu->addAction(action);
  return action;
}

QToolButton* TPatchForm::NewToolButton(const char* name, const char* iconName, const char* hint) {
  auto* button = new QToolButton(ToolBar1);
  button->setObjectName(name);
  button->setIcon(ToolIcon(iconName));
  button->setAutoRaise(true);
  button->setFocusPolicy(Qt::NoFocus);
  if (hint) {
    button->setToolTip(hint);
    button->setAccessibleName(hint);
  }
  ToolBar1->addWidget(button);
  return button;
}

void TPatchForm::CreateMenus() {
  ToolBar2 = menuBar();
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setAccessibleName("Menu bar");

  File1 = ToolBar2->addMenu("&File");
  File1->setObjectName("File1");
  AddPatch1 = NewAction(File1, "AddPatch1", "&Add Patch...");
  AddPatch1->setShortcut(Qt::Key_Insert);
  RemovePatch1 = NewAction(File1, "RemovePatch1", "&Remove Patch...");
  RemovePatch1->setShortcut(Qt::Key_Delete);
  CreateGOB1 = NewAction(File1, "CreateGOB1", "Create &GOB...");
  File1->addSeparator();
  LaunchHalvex1 = NewAction(File1, "LaunchHalvex1", "&Launch Halvex");
  LaunchHalvex1->setShortcut(Qt::Key_F9);
  LaunchInternetGamingZone1 =
      NewAction(File1, "LaunchInternetGamingZone1", "Launch Internet Gaming &Zone");
  File1->addSeparator();
  Properties2 = NewAction(File1, "Properties2", "&Properties");
  Properties2->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  Exit1 = NewAction(File1, "Exit1", "E&xit");
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

  Patch1 = ToolBar2->addMenu("&Patch");
  Patch1->setObjectName("Patch1");
  Activate1 = NewAction(Patch1, "Activate1", "&Activate");
  Activate1->setShortcut(Qt::Key_F2);
  Refresh1 = NewAction(Patch1, "Refresh1", "&Refresh");
  Refresh1->setShortcut(Qt::Key_F5);
  Patch1->addSeparator();
  DeactivateAll1 = NewAction(Patch1, "DeactivateAll1", "Deac&tivate All");
  Patch1->addSeparator();
  PatchRepository1 = NewAction(Patch1, "PatchRepository1", "Show &Repository Window");

  Options1 = ToolBar2->addMenu("&Options");
  Options1->setObjectName("Options1");
  struct TOption {
    QAction** Field;
    const char* Name;
    const char* Caption;
    int Tag;
  };
  const TOption options[] = {
      {&ShowFramerateduringgameplay1, "ShowFramerateduringgameplay1",
       "Show &framerate during gameplay", 0},
      {&Allowadvanceddisplayconfiguration1, "Allowadvanceddisplayconfiguration1",
       "Allow advanced &display configuration", 1},
      {&Enabledevelopermode1, "Enabledevelopermode1", "Enable de&veloper mode", 3},
      {&Displayplayerstatisticsduringgameplay1, "Displayplayerstatisticsduringgameplay1",
       "Display debugging &information during gameplay", 2},
      {&Showcutscenesinawindow1, "Showcutscenesinawindow1",
       "Show game interface && cut scenes in a &window", 4},
  };
  for (const TOption& o : options) {
    QAction* item = NewAction(Options1, o.Name, o.Caption);
    item->setCheckable(true);
    item->setData(o.Tag);
    *o.Field = item;
    OnClick(item, [this, item] { OptionClick(item); });
  }
  Custom1 = NewAction(Options1, "Custom1", "&Custom...");
  Custom1->setCheckable(true);
  Options1->addSeparator();
  ConflictOption = NewAction(Options1, "ConflictOption", "Display Only &Active Conflicts");
  ConflictOption->setCheckable(true);
  ConflictOption->setChecked(true);
  ZoneOption =
      NewAction(Options1, "ZoneOption", "Use active patches when playing on Internet Gaming &Zone");
  ZoneOption->setCheckable(true);

  Game1 = ToolBar2->addMenu("&Game");
  Game1->setObjectName("Game1");
  GameGroup = new QActionGroup(this);
  GameGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);

  Help1 = ToolBar2->addMenu("&Help");
  Help1->setObjectName("Help1");
  Documentation1 = NewAction(Help1, "Documentation1", "&Documentation");
  FrequentlyAskedQuestions1 =
      NewAction(Help1, "FrequentlyAskedQuestions1", "Frequently Asked &Questions");
  About1 = NewAction(Help1, "About1", "&About...");
  DisplayDebuggingInfo1 = NewAction(Help1, "DisplayDebuggingInfo1", "&Debug Info...");

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Activate2 = NewAction(PopupMenu1, "Activate2", "&Activate");
  Delete1 = NewAction(PopupMenu1, "Delete1", "&Delete");
  Properties1 = NewAction(PopupMenu1, "Properties1", "&Properties");

  OnClick(AddPatch1, [this] { AddPatch1Click(); });
  OnClick(RemovePatch1, [this] { RemovePatch1Click(); });
  OnClick(CreateGOB1, [this] { CreateGOB1Click(); });
  OnClick(LaunchHalvex1, [this] { LaunchClick(); });
  OnClick(LaunchInternetGamingZone1, [this] { LaunchInternetGamingZone1Click(); });
  OnClick(Properties2, [this] { Properties2Click(); });
  OnClick(Exit1, [this] { Exit1Click(); });
  OnClick(Activate1, [this] { ActivateClick(); });
  OnClick(Refresh1, [this] { Refresh1Click(); });
  OnClick(DeactivateAll1, [this] { DeactivateAll1Click(); });
  OnClick(PatchRepository1, [this] { RepositoryButtonClick(); });
  OnClick(Custom1, [this] { Custom1Click(); });
  OnClick(ConflictOption, [this] { ConflictOptionClick(); });
  OnClick(ZoneOption, [this] { ZoneOptionClick(); });
  OnClick(Documentation1, [this] { Documentation1Click(); });
  OnClick(FrequentlyAskedQuestions1, [this] { FrequentlyAskedQuestions1Click(); });
  OnClick(About1, [this] { About1Click(); });
  OnClick(DisplayDebuggingInfo1, [this] { DisplayDebuggingInfo1Click(); });
  OnClick(Activate2, [this] { ActivateClick(); });
  OnClick(Delete1, [this] { RemovePatch1Click(); });
  OnClick(Properties1, [this] { Properties2Click(); });
}

void TPatchForm::CreateToolBar() {
  ToolBar1 = addToolBar("Commands");
  ToolBar1->setObjectName("ToolBar1");
  ToolBar1->setAccessibleName("Commands");
  ToolBar1->setMovable(false);
  ToolBar1->setFloatable(false);
  ToolBar1->setIconSize(QSize(22, 20));
  ToolBar1->toggleViewAction()->setVisible(false);
  setContextMenuPolicy(Qt::NoContextMenu); // no tool bar menu on the bars

  AddButton = NewToolButton("AddButton", "add", "Add New Patch");
  DeleteButton = NewToolButton("DeleteButton", "remove", "Remove Selected Patch");
  ToolBar1->addSeparator();
  ActivateButton = NewToolButton("ActivateButton", "activate", "Toggle Patch Activation");
  ActivateButton->setCheckable(true);
  LaunchButton = NewToolButton("LaunchButton", "launch", "Launch Halvex");
  ToolBar1->addSeparator();
  PropertiesButton = NewToolButton("PropertiesButton", "properties", nullptr);
  PropertiesButton->setAccessibleName("Patch Properties");
  RefreshButton = NewToolButton("RefreshButton", "refresh", "Refresh Patch List");
  ToolBar1->addSeparator();
  RepositoryButton =
      NewToolButton("RepositoryButton", "repository", "Show/Hide Patch Repository Window");
  RepositoryButton->setCheckable(true);

  OnClick(AddButton, [this] { AddPatch1Click(); });
  OnClick(DeleteButton, [this] { RemovePatch1Click(); });
  OnClick(ActivateButton, [this] { ActivateClick(); });
  OnClick(LaunchButton, [this] { LaunchClick(); });
  OnClick(PropertiesButton, [this] { Properties2Click(); });
  OnClick(RefreshButton, [this] { Refresh1Click(); });
  OnClick(RepositoryButton, [this] { RepositoryButtonClick(); });
}

void TPatchForm::CreatePatchList() {
  PatchListModel = new TPatchListModel([this] { return CurrentList(); }, this);
  PatchList = new QTreeView(this);
  PatchList->setObjectName("PatchList");
  PatchList->setModel(PatchListModel);
  PatchList->setItemDelegate(new TPatchListDelegate(PatchList));
  PatchList->setRootIsDecorated(false);
  PatchList->setIndentation(0);
  PatchList->setItemsExpandable(false);
  PatchList->setUniformRowHeights(true);
  PatchList->setAllColumnsShowFocus(false);
  PatchList->setSelectionMode(QAbstractItemView::SingleSelection);
  PatchList->setSelectionBehavior(QAbstractItemView::SelectRows);
  PatchList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  PatchList->setContextMenuPolicy(Qt::CustomContextMenu);
  PatchList->setMinimumWidth(360);
  PatchList->setAccessibleName("Patches");
  PatchList->setAccessibleDescription(
      "The game's patches with their state, type and the patches each conflicts with");

  QHeaderView* header = PatchList->header();
  header->setSectionsClickable(true);
  header->setSectionsMovable(false);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(0, Qt::AscendingOrder);
  header->setStretchLastSection(true);
  header->resizeSection(0, 115);
  header->resizeSection(1, 80);
  header->resizeSection(2, 190);

  connect(header, &QHeaderView::sectionClicked, this,
          [this](int column) { Guarded([&] { PatchListColumnClick(column); }); });
  connect(PatchList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { Guarded([this] { PatchListChange(); }); });
  connect(PatchList, &QAbstractItemView::doubleClicked, this,
          [this] { Guarded([this] { PatchListDblClick(); }); });
  connect(PatchList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    PopupMenu1->popup(PatchList->viewport()->mapToGlobal(pos));
  });
  setCentralWidget(PatchList);

  // Files and links dragged from other programs. The installation runs after the drop has
  // ended, so that questions asked on the way do not hold up the program the drag came from.
  DropControl1 = new TDropControl(this);
  DropControl1->setObjectName("DropControl1");
  DropControl1->AcceptAll = false;
  DropControl1->AcceptTypes = {"CF_HDROP", "UniformResourceLocator", "Netscape Bookmark"};
  DropControl1->DefaultEffect = deLink;
  DropControl1->OnDrop = [this](TDropControl* sender) {
    TStringList strings;
    if (!sender->DroppedFormats().Empty()) sender->GetDroppedStrings(strings, 0);
    QTimer::singleShot(
        0, this, [this, formats = sender->DroppedFormats().Lines(), strings = strings.Lines()] {
          Guarded([&] { DropControl1Drop(formats, strings); });
        });
  };
  DropControl1->SetControl(PatchList);
  // Entries dragged from the repository window (PatchListDragOver, PatchListDragDrop). Installed
  // after the drop filter, so this filter sees the events first.
  FPatchListViewport = PatchList->viewport();
  FPatchListViewport->installEventFilter(this);
}

// ---------------------------------------------------------------------------------------------
// Start-up and game selection

void TPatchForm::FormCreate(const std::vector<std::string>& args) {
  const std::string lastGame = ReadLastGame();
  QuickStart = false;
  for (const std::string& arg : args) {
    const std::string lower = LowerCase(arg);
    if (lower == "-quickstart") QuickStart = true;
    if (lower == "-mrvn") GameIndex = 1;
  }

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
      Game1->addAction(item);
    }
  } catch (...) {
    // A catalogue that cannot be read counts as no catalogue at all.
    AppList.reset();
    gameFound = false;
    for (QAction* item : GameGroup->actions())
      delete item;
  }

  if (gameFound) {
    const QList<QAction*> items = GameGroup->actions();
    if (items.size() == 1 && !items.front()->isChecked()) {
      GameIndex = items.front()->data().toInt();
      items.front()->setChecked(true);
    }
    // "-mrvn" with a catalogue whose second entry is missing or not installed: the first
    // installed game, so that the store is never looked for in an unknown folder.
    if (!CurrentApp() || !CurrentApp()->IsInstalled()) GameIndex = items.front()->data().toInt();
    Guarded([this] {
      const std::string warning = CurrentApp()->Rescan();
      FStoreReadAtCreation = CurrentApp();
      RefreshView();
      ShowStoreWarning(warning);
    });
    return;
  }

  if (TApplication* application = Application()) {
    application->ShowMainForm = false;
    application->NoGameForm()->exec();
    application->Terminate();
  } else {
    TNoGameForm().exec();
  }
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
  if (QuickStart) {
    QTimer::singleShot(0, this, [this] {
      Guarded([this] { LaunchClick(); });
      if (Application()) Application()->Terminate();
    });
  }
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
  bool activeConflicts = ConflictOption->isChecked();
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
  std::string lastGame;
  const bool named = AppList && GameIndex >= 0 && GameIndex < AppList->Count();
  if (named) lastGame = AppList->Items(GameIndex)->AppName;
  SaveProgramSettings(OptionFlags, CustomOptions, named ? &lastGame : nullptr,
                      ConflictOption->isChecked());
}

void TPatchForm::GameSelectorClick(QAction* item) {
  const int tag = item->data().toInt();
  if (tag == GameIndex) return;
  GameIndex = tag;
  for (QAction* other : GameGroup->actions())
    other->setChecked(other == item);
  SaveSettings();
  SetupForGame();
  RefreshView();
  if (FRepositoryForm && FRepositoryForm->isVisible())
    SendMessage(FRepositoryForm, WM_REFRESH, 0, 0);
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
  TFinally repaint([this, row] {
    PatchListModel->Repaint();
    UpdateActivateControls(row);
  });
  TogglePatch(row);
}

void TPatchForm::ActivateClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  TFinally refresh([this, row] {
    RefreshView();
    UpdateActivateControls(row);
  });
  TogglePatch(row);
}

void TPatchForm::RemovePatch1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  TFinally refresh([this] { RefreshView(); });
  CurrentApp()->DeletePatch(CurrentApp()->Patches[row]);
}

void TPatchForm::Refresh1Click() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  std::string warning;
  {
    TFinally refresh([this] { RefreshView(); });
    warning = app->Rescan();
  }
  ShowStoreWarning(warning);
}

void TPatchForm::DeactivateAll1Click() {
  TPatchList* list = CurrentList();
  if (!list) return;
  TFinally refresh([this] {
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
  TFinally forget([form] { form->Patch = nullptr; });
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
}

// ---------------------------------------------------------------------------------------------
// Launch, options, documents and dialogs

std::string TPatchForm::GameExecutable() {
  THXPatchedApp* app = CurrentApp();
  return app ? app->GetDirectPlayValue(0) + app->GetDirectPlayValue(1) : std::string();
}

std::string TPatchForm::GameParameters() {
  return dravik::GameParameters(OptionFlags, CustomOptions);
}

void TPatchForm::LaunchClick() {
  PlaySoundResource("LAUNCH");
  // Saved now, while no Wine program holds the prefix's registry: once the game runs, Wine owns
  // the hives, and the save as the window goes then finds nothing left to change.
  Guarded([this] { SaveSettings(); });
  THXPatchedApp* app = CurrentApp();
  // A failed start is not reported: the program ends either way.
  if (app) ShellExecute(GameExecutable(), GameParameters(), app->GetDirectPlayValue(0), SW_SHOW);
  close();
}

void TPatchForm::OptionClick(QAction* item) {
  item->setChecked(!item->isChecked());
  OptionFlags.at(static_cast<size_t>(item->data().toInt())) = item->isChecked() ? 1 : 0;
}

void TPatchForm::Custom1Click() {
  std::string value = CustomOptions;
  if (Dialogs().InputQuery("Command Line", "Enter the custom command line parameters:", value))
    CustomOptions = value;
  Custom1->setChecked(!CustomOptions.empty());
}

void TPatchForm::ZoneOptionClick() {
  if (!ZoneOption->isChecked() &&
      Dialogs().MessageDlg(ZoneWarning, mtWarning, {mbYes, mbNo}) == mrNo)
    return;
  const bool on = !ZoneOption->isChecked();
  // The check mark follows only a registration that took the change.
  if (THXPatchedApp* app = CurrentApp()) app->SetDirectPlayValue(2, on ? ZoneCommandLine() : "");
  ZoneOption->setChecked(on);
}

void TPatchForm::LaunchInternetGamingZone1Click() {
  if (!ZoneOption->isChecked()) ZoneOptionClick();
  ShellExecute(ZonePage(), "", "", SW_SHOWNORMAL);
  close();
}

void TPatchForm::CreateGOB1Click() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  // The editor is made on first use and kept; OK means a patch archive was saved.
  if (ExecuteGobber(this, OpenDialog1.Filter, app->GameDir() + PatchDirs[0])) Refresh1Click();
}

void TPatchForm::Documentation1Click() {
  ShellExecute("docs.html", "", "", SW_SHOWNORMAL);
}

void TPatchForm::FrequentlyAskedQuestions1Click() {
  ShellExecute("faq.html", "", "", SW_SHOWNORMAL);
}

void TPatchForm::About1Click() {
  if (Application() && Application()->AboutBox) Application()->AboutBox->exec();
}

void TPatchForm::DisplayDebuggingInfo1Click() {
  if (Application() && Application()->DebugForm) Application()->DebugForm->exec();
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
    TFinally refresh([this] { RefreshView(); });
    report = TInstaller(*app, Downloader()).InstallFiles(OpenDialog1.Files);
  }
  ShowInstallFailures(report);
}

void TPatchForm::DropControl1Drop(const std::vector<std::string>& formats,
                                  const std::vector<std::string>& strings) {
  if (formats.empty()) return;
  TInstallReport report;
  {
    TFinally refresh([this] { RefreshView(); });
    if (formats.front() == "UniformResourceLocator" || formats.front() == "Netscape Bookmark") {
      if (!strings.empty()) report = InstallURLs({strings.front()});
    } else if (THXPatchedApp* app = CurrentApp()) {
      report = TInstaller(*app, Downloader()).InstallFiles(strings);
    }
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

void TPatchForm::RepositoryButtonClick() {
  // Made on first use and kept; it reports its showing and hiding with WM_REPOSITORY_SHOWN and
  // WM_REPOSITORY_HIDDEN, which set the button and the menu caption.
  FRepositoryForm = RepositoryForm(this, this);
  FRepositoryForm->setVisible(!FRepositoryForm->isVisible());
}

bool TPatchForm::PatchListDragOver(const QMimeData* data) const {
  return data && data->hasFormat(kRepositoryEntriesMime);
}

void TPatchForm::PatchListDragDrop() {
  // The repository window installs its selected entries and then asks for a refresh.
  if (FRepositoryForm) SendMessage(FRepositoryForm, WM_INSTALL_SELECTED, 0, 0);
}

bool TPatchForm::eventFilter(QObject* watched, QEvent* event) {
  // Compared by the pointer kept at set-up: the list may be part-way through its destruction.
  if (watched != FPatchListViewport) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (!PatchListDragOver(drag->mimeData())) break;
    drag->acceptProposedAction();
    return true;
  }
  case QEvent::Drop: {
    auto* drop = static_cast<QDropEvent*>(event);
    if (!PatchListDragOver(drop->mimeData())) break;
    drop->acceptProposedAction();
    // After the drop has ended: the installation asks questions and shows progress.
    QTimer::singleShot(0, this, [this] { Guarded([this] { PatchListDragDrop(); }); });
    return true;
  }
  default:
    break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TPatchForm::SetRepositoryShown(bool shown) {
  RepositoryButton->setChecked(shown);
  PatchRepository1->setText(shown ? "Hide &Repository Window" : "Show &Repository Window");
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
    if (Application() && Application()->DLStatus)
      return reinterpret_cast<LRESULT>(static_cast<TStatusDialog*>(Application()->DLStatus.get()));
    return 0;
  }
  return 0;
}

void TPatchForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) DropControl1->SetControl(nullptr);
  if (event->isAccepted() && Application()) Application()->Terminate();
}

} // namespace dravik
