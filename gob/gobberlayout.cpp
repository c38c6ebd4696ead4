// Building the editor window: its file dialogs, menus, tool bars, the directory tree and the
// member list, their arrangement, and what their items and events run.
#include "dirtree.h"
#include "gobber.h"
#include "gobprop.h"
#include "memberlist.h"
#include "platform/accessibility.h"
#include "platform/icons.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>

namespace dravik {

namespace {

const char* const kAddFilesFilter =
    "All Patch-Related Files|*.cog;*.3do;*.mat;*.uni;*.key;*.pup;*.cmp;*.bm;*.spr;*.par;*.sft;"
    "*.wav;*.snd"
    "|All Files|*.*"
    "|AI Files (*.ai; *.ai0; *.ai2)|*.ai;*.ai0;*.ai2"
    "|Bitmaps (*.bm)|*.bm"
    "|COG Files (*.cog)|*.cog"
    "|Keyframes (*.key)|*.key"
    "|Materials (*.mat)|*.mat"
    "|Messages (*.uni)|*.uni"
    "|Models (*.3do)|*.3do"
    "|Palettes (*.cmp)|*.cmp"
    "|PAR Files (*.par)|*.par"
    "|Puppets (*.pup)|*.pup"
    "|SFT Files (*.sft)|*.sft"
    "|Sounds (*.wav; *.snd)|*.wav;*.snd"
    "|Sprites (*.spr)|*.spr";

} // namespace

void TGobberForm::CreateControls() {
  setObjectName("GobberForm");
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(466, 383);
  setWindowIcon(ProgramIcon());

  CreateFileDialogs();
  CreateFileMenu();
  CreateToolBars();
  CreateDirectoryMenu();
  NameMenus(this);
  CreateViews();
  ArrangeControls();
  GOBPropForm = new TGOBPropForm(this);
  ConnectHandlers();
  CreateDropTargets();
}

void TGobberForm::CreateFileDialogs() {
  OpenFileDialog.Title = "Add Files to Patch";
  OpenFileDialog.Filter = kAddFilesFilter;
  OpenFileDialog.MultiSelect = true;
  OpenFileDialog.MustExist = true;
  OpenGOBDialog.Title = "Add Files to Patch";
  OpenGOBDialog.Filter = "Patch Files (*.gob; *.goo)|*.gob;*.goo";
  OpenGOBDialog.MultiSelect = true;
  OpenGOBDialog.MustExist = true;
  SaveGOBDialog.Filter = "Halvex Patches (*.gob)|*.gob";
  SaveGOBDialog.DefaultExt = "gob";
  SaveGOBDialog.OverwritePrompt = true;
}

QAction* TGobberForm::NewAction(const char* name, const char* text, QKeySequence key) {
  auto* a = new QAction(text, this);
  a->setObjectName(name);
  a->setShortcut(key);
  return a;
}

// The File menu; its shortcuts work anywhere in the window.
void TGobberForm::CreateFileMenu() {
  MainMenu1 = new QMenu("&File", this);
  MainMenu1->setObjectName("File1");
  NewGOB1 = NewAction("NewGOB1", "&New", QKeySequence(Qt::CTRL | Qt::Key_N));
  OpenGOB1 = NewAction("OpenGOB1", "&Open...", QKeySequence(Qt::CTRL | Qt::Key_O));
  Save1 = NewAction("Save1", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S));
  SaveGOB = NewAction("SaveGOB", "Sa&ve As...");
  AddFiles1 = NewAction("AddFiles1", "&Add Files...", QKeySequence(Qt::CTRL | Qt::Key_A));
  DeleteSelectedFiles1 =
      NewAction("DeleteSelectedFiles1", "&Delete Selected Files", QKeySequence(Qt::Key_Delete));
  Properties1 = NewAction("Properties1", "&Properties...");
  Properties1->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  Exit1 = NewAction("Exit1", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_F4));
  MainMenu1->addActions({NewGOB1, OpenGOB1, Save1, SaveGOB});
  MainMenu1->addSeparator();
  MainMenu1->addActions({AddFiles1, DeleteSelectedFiles1});
  MainMenu1->addSeparator();
  MainMenu1->addActions({Properties1, Exit1});
  addActions(MainMenu1->actions());
}

// The menu bar with the File menu, and the image tool bar (its Save runs Save As).
void TGobberForm::CreateToolBars() {
  FileBar = new QMenuBar(this);
  FileBar->setObjectName("FileBar");
  FileBar->setNativeMenuBar(false);
  FileBar->setAccessibleName("Menu bar");
  FileBar->addMenu(MainMenu1);

  auto button = [this](const char* name, const char* hint, QIcon icon) {
    QAction* a = NewAction(name, hint);
    a->setToolTip(hint);
    a->setIcon(icon);
    return a;
  };
  NewButton = button("NewButton", "New", ToolIcon("new"));
  OpenButton = button("OpenButton", "Open", ToolIcon("open"));
  SaveButton = button("SaveButton", "Save", ToolIcon("save"));
  AddFilesButton = button("AddFilesButton", "Add Files", ToolIcon("addfiles"));
  DeleteFilesButton = button("DeleteFilesButton", "Delete Selected Files", ToolIcon("delete"));
  PropertiesButton = button("PropertiesButton", "Properties", ToolIcon("gobproperties"));

  ToolBar = new QToolBar(this);
  ToolBar->setObjectName("ToolBar");
  ToolBar->setIconSize(QSize(22, 20));
  ToolBar->addActions({NewButton, OpenButton, SaveButton});
  ToolBar->addSeparator();
  ToolBar->addActions({AddFilesButton, DeleteFilesButton});
  ToolBar->addSeparator();
  ToolBar->addAction(PropertiesButton);
  for (QAction* a : ToolBar->actions())
    if (QWidget* w = ToolBar->widgetForAction(a); w && !a->isSeparator())
      w->setAccessibleName(a->toolTip());
  SetToolBarAccess(ToolBar, "Commands");
}

void TGobberForm::CreateDirectoryMenu() {
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  NewDirectory1 = NewAction("NewDirectory1", "&New Directory", QKeySequence(Qt::CTRL | Qt::Key_N));
  NewDirectory1->setIcon(ToolIcon("newdir"));
  DeleteDirectory1 =
      NewAction("DeleteDirectory1", "&Delete Directory", QKeySequence(Qt::Key_Delete));
  RenameDirectory1 = NewAction("RenameDirectory1", "&Rename Directory", QKeySequence(Qt::Key_F2));
  PopupMenu2->addActions({NewDirectory1, DeleteDirectory1, RenameDirectory1});
}

// The directory tree and the member list.
void TGobberForm::CreateViews() {
  DirTree = new TDirTree(this);
  DirTree->setObjectName("DirTree");
  DirTree->setAccessibleName("Directories");
  DirTree->setHeaderHidden(true);
  DirTree->setHeaderLabel("Directories");
  DirTree->setColumnCount(1);
  DirTree->setEditTriggers(QAbstractItemView::SelectedClicked);
  DirTree->setContextMenuPolicy(Qt::CustomContextMenu);
  DirTree->setAcceptDrops(true);
  DirTree->viewport()->setAcceptDrops(true);
  DirTree->setMinimumWidth(60);
  DirTree->SetMenuItems({NewDirectory1, DeleteDirectory1, RenameDirectory1});

  FModel = new TMemberModel(FDocument, this);
  DirList = new QTreeView(this);
  DirList->setObjectName("DirList");
  DirList->setAccessibleName("Files in the selected directory");
  DirList->setModel(FModel);
  DirList->setRootIsDecorated(false);
  DirList->setItemsExpandable(false);
  DirList->setUniformRowHeights(true);
  DirList->setAllColumnsShowFocus(true);
  DirList->setSelectionMode(QAbstractItemView::ExtendedSelection);
  DirList->setSelectionBehavior(QAbstractItemView::SelectRows);
  DirList->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  DirList->setDragEnabled(true);
  DirList->setDragDropMode(QAbstractItemView::DragOnly);
  DirList->setDefaultDropAction(Qt::MoveAction);
  DirList->header()->setStretchLastSection(false);
  DirList->header()->setSectionsMovable(false);
  DirList->header()->resizeSection(0, 152);
  DirList->header()->resizeSection(1, 60);
  DirTree->SetRowSource(DirList);
}

// The bars above a splitter with the tree beside the list.
void TGobberForm::ArrangeControls() {
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(DirTree);
  split->addWidget(DirList);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  split->setSizes({149, 466 - 149});

  auto* bars = new QHBoxLayout;
  bars->setContentsMargins(0, 0, 0, 0);
  bars->setSpacing(0);
  bars->addWidget(FileBar);
  bars->addWidget(ToolBar, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(bars);
  layout->addWidget(split, 1);
  DirTree->setFocus(); // not the tool buttons before it in the tab order
}

void TGobberForm::ConnectHandlers() {
  auto on = [this](QAction* a, void (TGobberForm::*handler)()) {
    connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  };
  on(NewGOB1, &TGobberForm::NewGOB1Click);
  on(NewButton, &TGobberForm::NewGOB1Click);
  on(OpenGOB1, &TGobberForm::OpenGOB1Click);
  on(OpenButton, &TGobberForm::OpenGOB1Click);
  on(Save1, &TGobberForm::Save1Click);
  on(SaveGOB, &TGobberForm::SaveGOBClick);
  on(SaveButton, &TGobberForm::SaveGOBClick);
  on(AddFiles1, &TGobberForm::AddFiles1Click);
  on(AddFilesButton, &TGobberForm::AddFiles1Click);
  on(DeleteSelectedFiles1, &TGobberForm::DeleteSelectedFiles1Click);
  on(DeleteFilesButton, &TGobberForm::DeleteSelectedFiles1Click);
  on(Properties1, &TGobberForm::Properties1Click);
  on(PropertiesButton, &TGobberForm::Properties1Click);
  on(Exit1, &TGobberForm::Exit1Click);
  on(NewDirectory1, &TGobberForm::NewDirectory1Click);
  on(DeleteDirectory1, &TGobberForm::DeleteDirectory1Click);
  on(RenameDirectory1, &TGobberForm::RenameDirectory1Click);
  connect(DirTree, &QTreeWidget::currentItemChanged, this, [this] {
    if (!FSyncing) DirTreeChange();
  });
  connect(DirTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (QTreeWidgetItem* item = DirTree->itemAt(pos)) DirTree->setCurrentItem(item);
    PopupMenu2->exec(DirTree->viewport()->mapToGlobal(pos));
  });
  DirTree->OnRowsOver = [this](QTreeWidgetItem* item) { return DirTreeDragOver(item); };
  DirTree->OnRowsDropped = [this](QTreeWidgetItem* item) { DirTreeDragDrop(item); };
  DirTree->Outlined = [this] { return FDropNode; };
  DirTree->OnCaptionEdited = [this](QTreeWidgetItem* item, const QString& text) {
    DirTreeEdited(item, text);
  };
  FModel->OnNameEdited = [this](int row, const QString& text) { DirListEdited(row, text); };
}

// Drops from other programs: only on the tree; the window's own target stays switched off.
void TGobberForm::CreateDropTargets() {
  DropControl1 = new TDropControl(this);
  DropControl1->AcceptTypes = {"CF_HDROP"};
  DropControl1->OnDrop = [this](TDropControl* s) { DCDrop(s); };
  DropControl1->SetControl(this);
  DropControl1->SetDropActive(false);
  DropControl2 = new TDropControl(this);
  DropControl2->AcceptTypes = {"CF_HDROP"};
  DropControl2->DefaultEffect = deCopy;
  DropControl2->OnDragOver = [this](TDropControl* s, QPoint pt, TShiftState shift,
                                    TDropEffect& effect) { DCDragOver(s, pt, shift, effect); };
  DropControl2->OnDragLeave = [this](TDropControl* s) { DCDragLeave(s); };
  DropControl2->OnDrop = [this](TDropControl* s) { DCDrop(s); };
  DropControl2->SetControl(DirTree);
}

} // namespace dravik
