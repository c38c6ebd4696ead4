// Building the main window: its menus, the command bar, the patch list and the drop target on
// it, and what their items and buttons run.
#include "app/drop/drop.h"
#include "patchform.h"
#include "patchlistview.h"
#include "platform/accessibility.h"
#include "platform/icons.h"

#include <QAbstractButton>
#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

namespace dravik {

void TPatchForm::OnClick(QAction* item, std::function<void()> handler) {
  connect(item, &QAction::triggered, this, [item, handler] {
    if (item->isCheckable()) item->setChecked(!item->isChecked());
    Guarded(handler);
  });
}

void TPatchForm::OnClick(QAbstractButton* button, std::function<void()> handler) {
  connect(button, &QAbstractButton::clicked, this, [button, handler] {
    if (button->isCheckable()) button->setChecked(!button->isChecked());
    Guarded(handler);
  });
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
  button->setToolTip(hint);
  button->setAccessibleName(hint);
  ToolBar1->addWidget(button);
  return button;
}

// The menu bar with the File, Patch, Options, Game and Help menus, and the list's pop-up menu.
void TPatchForm::CreateMenus() {
  ToolBar2 = menuBar();
  ToolBar2->setObjectName("ToolBar2");
  ToolBar2->setAccessibleName("Menu bar");
  CreateFileMenu();
  CreatePatchMenu();
  CreateOptionsMenu();
  CreateGameMenu();
  CreateHelpMenu();
  CreatePopupMenu();
  NameMenus(this);
  ConnectMenus();
}

void TPatchForm::CreateFileMenu() {
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
  // O, not P: P is for the File menu's Wine prefix item.
  Properties2 = NewAction(File1, "Properties2", "Pr&operties");
  Properties2->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  File1->addSeparator();
  WinePrefix1 = NewAction(File1, "WinePrefix1", "Wine &Prefix...");
  Exit1 = NewAction(File1, "Exit1", "E&xit");
  Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
}

void TPatchForm::CreatePatchMenu() {
  Patch1 = ToolBar2->addMenu("&Patch");
  Patch1->setObjectName("Patch1");
  Activate1 = NewAction(Patch1, "Activate1", "&Activate");
  Activate1->setShortcut(Qt::Key_F2);
  Refresh1 = NewAction(Patch1, "Refresh1", "&Refresh");
  Refresh1->setShortcut(Qt::Key_F5);
  Patch1->addSeparator();
  DeactivateAll1 = NewAction(Patch1, "DeactivateAll1", "Deac&tivate All");
  Patch1->addSeparator();
  PatchRepository1 = NewAction(Patch1, "PatchRepository1", "Show Re&pository Window");
}

// The five game options (tagged with their place in the option flags), the custom text, and
// the two options of the window itself.
void TPatchForm::CreateOptionsMenu() {
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
}

// The installed games come when the catalogue is read (one item each, above the separator).
void TPatchForm::CreateGameMenu() {
  Game1 = ToolBar2->addMenu("&Game");
  Game1->setObjectName("Game1");
  GameGroup = new QActionGroup(this);
  GameGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  GameSeparator = Game1->addSeparator();
  LocateGame1 = NewAction(Game1, "LocateGame1", "&Locate Game...");
}

void TPatchForm::CreateHelpMenu() {
  Help1 = ToolBar2->addMenu("&Help");
  Help1->setObjectName("Help1");
  Documentation1 = NewAction(Help1, "Documentation1", "&Documentation");
  FrequentlyAskedQuestions1 =
      NewAction(Help1, "FrequentlyAskedQuestions1", "Frequently Asked &Questions");
  About1 = NewAction(Help1, "About1", "&About...");
  DisplayDebuggingInfo1 = NewAction(Help1, "DisplayDebuggingInfo1", "D&ebug Info...");
}

void TPatchForm::CreatePopupMenu() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName("PopupMenu1");
  Activate2 = NewAction(PopupMenu1, "Activate2", "&Activate");
  Delete1 = NewAction(PopupMenu1, "Delete1", "&Delete");
  Properties1 = NewAction(PopupMenu1, "Properties1", "&Properties");
}

void TPatchForm::ConnectMenus() {
  OnClick(AddPatch1, [this] { AddPatch1Click(); });
  OnClick(RemovePatch1, [this] { RemovePatch1Click(); });
  OnClick(CreateGOB1, [this] { CreateGOB1Click(); });
  OnClick(LaunchHalvex1, [this] { LaunchClick(); });
  OnClick(LaunchInternetGamingZone1, [this] { LaunchInternetGamingZone1Click(); });
  OnClick(Properties2, [this] { Properties2Click(); });
  OnClick(WinePrefix1, [this] { WinePrefix1Click(); });
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
  OnClick(LocateGame1, [this] { LocateGame1Click(); });
}

// The command bar.
void TPatchForm::CreateToolBar() {
  ToolBar1 = addToolBar("Commands");
  ToolBar1->setObjectName("ToolBar1");
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
  PropertiesButton = NewToolButton("PropertiesButton", "properties", "Patch Properties");
  RefreshButton = NewToolButton("RefreshButton", "refresh", "Refresh Patch List");
  ToolBar1->addSeparator();
  RepositoryButton =
      NewToolButton("RepositoryButton", "repository", "Show/Hide Patch Repository Window");
  RepositoryButton->setCheckable(true);
  SetToolBarAccess(ToolBar1, "Commands");

  OnClick(AddButton, [this] { AddPatch1Click(); });
  OnClick(DeleteButton, [this] { RemovePatch1Click(); });
  OnClick(ActivateButton, [this] { ActivateClick(); });
  OnClick(LaunchButton, [this] { LaunchClick(); });
  OnClick(PropertiesButton, [this] { Properties2Click(); });
  OnClick(RefreshButton, [this] { Refresh1Click(); });
  OnClick(RepositoryButton, [this] { RepositoryButtonClick(); });
}

// The patch list: rows supplied on demand from the current game's patches, drawn by the window.
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
  header->resizeSection(0, kNameColumnWidth);
  header->resizeSection(1, 80);
  header->resizeSection(2, 190);
  // A width the user drags is kept (and saved with the settings); until then the name column
  // follows the names.
  connect(header, &QHeaderView::sectionResized, this, [this](int column, int, int) {
    if (!FSizingColumns && column < int(FUserSized.size())) FUserSized[size_t(column)] = true;
  });

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
  PatchList->setFocus(); // not the tool buttons before it in the tab order
}

// The counts of the game's patches under the list.
void TPatchForm::CreateStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setObjectName("StatusBar1");
  StatusBar1->setAccessibleName("Status");
  StatusBar1->setSizeGripEnabled(true);
  PatchCounts = new QLabel(StatusBar1);
  PatchCounts->setObjectName("PatchCounts");
  StatusBar1->addWidget(PatchCounts, 1);
}

// Files and links dragged from other programs. The installation runs after the drop has ended,
// so that questions asked on the way do not hold up the program the drag came from.
void TPatchForm::CreateDropTarget() {
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
  PatchList->installEventFilter(this); // its keys (PatchListKeyPress)
}

} // namespace dravik
