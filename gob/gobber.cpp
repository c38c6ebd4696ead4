#include "gobber.h"

#include "gobprop.h"
#include "platform/icons.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <algorithm>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

const char* const kMembersMime = "application/x-dravik-gob-members";
constexpr int kIdRole = Qt::UserRole + 1;

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

QPointer<TGobberForm> gGobber;

} // namespace

// The member list's rows, supplied from the selected directory; the window sets the row count.
class TMemberModel : public QAbstractTableModel {
public:
  explicit TMemberModel(TGobberForm* form) : QAbstractTableModel(form), FForm(form) {}

  void SetRows(int rows) {
    beginResetModel();
    FRows = rows;
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : FRows; }
  int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : 2; }

  const TGOBThing* Member(int row) const {
    const TGOBDirectory* dir = FForm->Document.Selected;
    if (!dir || row < 0 || size_t(row) >= dir->Members.size()) return nullptr;
    return dir->Members[size_t(row)].get();
  }

  QVariant data(const QModelIndex& index, int role) const override {
    const TGOBThing* m = Member(index.row());
    if (!m) return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
      return index.column() == 0 ? Q(m->Name) : QString::number(m->Length);
    if (role == Qt::TextAlignmentRole && index.column() == 1)
      return int(Qt::AlignRight | Qt::AlignVCenter);
    return {};
  }

  QVariant headerData(int section, Qt::Orientation o, int role) const override {
    if (o != Qt::Horizontal) return {};
    if (role == Qt::DisplayRole) return section == 0 ? QString("Name") : QString("Size");
    if (role == Qt::TextAlignmentRole)
      return int((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    return {};
  }

  Qt::ItemFlags flags(const QModelIndex& index) const override {
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (Member(index.row())) {
      f |= Qt::ItemIsDragEnabled;
      if (index.column() == 0) f |= Qt::ItemIsEditable;
    }
    return f;
  }

  bool setData(const QModelIndex& index, const QVariant& value, int role) override {
    if (role != Qt::EditRole || index.column() != 0 || !Member(index.row())) return false;
    FForm->DirListEdited(index.row(), value.toString());
    return true;
  }

  QStringList mimeTypes() const override { return {kMembersMime}; }
  QMimeData* mimeData(const QModelIndexList&) const override {
    // The drop moves the list's selection; the data only marks the drag as ours.
    auto* mime = new QMimeData;
    mime->setData(kMembersMime, QByteArray());
    return mime;
  }
  Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }

private:
  TGobberForm* FForm;
  int FRows = 0;
};

// The directory tree: its own menu's keys take precedence while it has the focus, and it takes
// rows dragged from the member list.
class TDirTree : public QTreeWidget {
public:
  explicit TDirTree(TGobberForm* form) : QTreeWidget(form), FForm(form) {}

  QTreeWidgetItem* ItemFromIndex(const QModelIndex& index) const { return itemFromIndex(index); }

protected:
  QAction* TreeAction(QKeyEvent* e) const {
    const QKeySequence key(e->keyCombination());
    for (QAction* a : {FForm->NewDirectory1, FForm->DeleteDirectory1, FForm->RenameDirectory1})
      if (a->shortcut() == key) return a;
    return nullptr;
  }

  bool event(QEvent* e) override {
    if (e->type() == QEvent::ShortcutOverride && TreeAction(static_cast<QKeyEvent*>(e))) {
      e->accept(); // delivered as a key press below instead of the window's shortcut
      return true;
    }
    return QTreeWidget::event(e);
  }

  void keyPressEvent(QKeyEvent* e) override {
    if (QAction* a = TreeAction(e)) {
      if (a->isEnabled()) a->trigger();
      e->accept();
      return;
    }
    QTreeWidget::keyPressEvent(e);
  }

  bool FromList(const QDropEvent* e) const { return e->source() == FForm->DirList; }

  void dragEnterEvent(QDragEnterEvent* e) override {
    if (!FromList(e)) return e->ignore();
    e->setDropAction(Qt::MoveAction);
    e->accept();
  }
  void dragMoveEvent(QDragMoveEvent* e) override {
    if (!FromList(e) || !FForm->DirTreeDragOver(itemAt(e->position().toPoint())))
      return e->ignore();
    e->setDropAction(Qt::MoveAction);
    e->accept();
  }
  void dropEvent(QDropEvent* e) override {
    if (!FromList(e)) return e->ignore();
    FForm->DirTreeDragDrop(itemAt(e->position().toPoint()));
    e->setDropAction(Qt::MoveAction);
    e->accept();
  }

private:
  TGobberForm* FForm;
};

// Draws the outline of the directory under a drag from another program, and hands committed
// caption edits to the window.
class TDirTreeDelegate : public QStyledItemDelegate {
public:
  TDirTreeDelegate(TGobberForm* form, TDirTree* tree)
      : QStyledItemDelegate(tree), FForm(form), FTree(tree) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    if (!FForm->DropNode || FTree->ItemFromIndex(index) != FForm->DropNode) return;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* w = option.widget;
    QStyle* style = w ? w->style() : QApplication::style();
    QRect r = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, w);
    r.setWidth(std::min(r.width(), opt.fontMetrics.horizontalAdvance(opt.text) + 6));
    painter->save();
    painter->setPen(QPen(option.palette.color(QPalette::Text), 1, Qt::DotLine));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(r.adjusted(0, 0, -1, -1));
    painter->restore();
  }

  void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override {
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
      FForm->DirTreeEdited(FTree->ItemFromIndex(index), edit->text());
  }

private:
  TGobberForm* FForm;
  TDirTree* FTree;
};

TGobberForm* GobberForm() {
  return gGobber;
}

bool ExecuteGobber(QWidget* owner, const std::string& filter, const std::string& initialDir) {
  if (!gGobber) gGobber = new TGobberForm(owner);
  for (const char* name : {"OpenGOBDialog", "SaveGOBDialog"}) {
    TFileDialog* d = gGobber->FindFileDialog(name);
    d->Filter = filter;
    d->InitialDir = initialDir;
  }
  return gGobber->exec() == QDialog::Accepted;
}

TGobberForm::TGobberForm(QWidget* parent) : QDialog(parent) {
  setObjectName("GobberForm");
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  resize(466, 383);
  setWindowIcon(ProgramIcon());

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

  auto action = [this](const char* name, const char* text, QKeySequence key = {}) {
    auto* a = new QAction(text, this);
    a->setObjectName(name);
    a->setShortcut(key);
    return a;
  };
  // The File menu; its shortcuts work anywhere in the window.
  MainMenu1 = new QMenu("&File", this);
  MainMenu1->setObjectName("File1");
  NewGOB1 = action("NewGOB1", "&New", QKeySequence(Qt::CTRL | Qt::Key_N));
  OpenGOB1 = action("OpenGOB1", "&Open...", QKeySequence(Qt::CTRL | Qt::Key_O));
  Save1 = action("Save1", "&Save", QKeySequence(Qt::CTRL | Qt::Key_S));
  SaveGOB = action("SaveGOB", "Sa&ve As...");
  AddFiles1 = action("AddFiles1", "&Add Files...", QKeySequence(Qt::CTRL | Qt::Key_A));
  DeleteSelectedFiles1 =
      action("DeleteSelectedFiles1", "&Delete Selected Files", QKeySequence(Qt::Key_Delete));
  Properties1 = action("Properties1", "&Properties...");
  Properties1->setShortcuts(
      {QKeySequence(Qt::ALT | Qt::Key_Return), QKeySequence(Qt::ALT | Qt::Key_Enter)});
  Exit1 = action("Exit1", "E&xit", QKeySequence(Qt::CTRL | Qt::Key_F4));
  MainMenu1->addActions({NewGOB1, OpenGOB1, Save1, SaveGOB});
  MainMenu1->addSeparator();
  MainMenu1->addActions({AddFiles1, DeleteSelectedFiles1});
  MainMenu1->addSeparator();
  MainMenu1->addActions({Properties1, Exit1});
  addActions(MainMenu1->actions());

  // The toolbar's buttons (Save runs Save As).
  auto button = [this, &action](const char* name, const char* hint, QIcon icon) {
    QAction* a = action(name, hint);
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

  auto* textBar = new QToolBar(this);
  textBar->setObjectName("FileBar");
  FileButton = new QToolButton(textBar);
  FileButton->setObjectName("FileButton");
  FileButton->setText("&File");
  FileButton->setAccessibleName("File");
  FileButton->setMenu(MainMenu1);
  FileButton->setPopupMode(QToolButton::InstantPopup);
  FileButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
  FileButton->setAutoRaise(true);
  FileButton->setStyleSheet("QToolButton::menu-indicator { image: none; }");
  textBar->addWidget(FileButton);
  auto* imageBar = new QToolBar(this);
  imageBar->setObjectName("ToolBar");
  imageBar->setIconSize(QSize(22, 20));
  imageBar->addActions({NewButton, OpenButton, SaveButton});
  imageBar->addSeparator();
  imageBar->addActions({AddFilesButton, DeleteFilesButton});
  imageBar->addSeparator();
  imageBar->addAction(PropertiesButton);
  for (QAction* a : imageBar->actions())
    if (QWidget* w = imageBar->widgetForAction(a); w && !a->isSeparator())
      w->setAccessibleName(a->toolTip());

  // The directory menu.
  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName("PopupMenu2");
  NewDirectory1 = action("NewDirectory1", "&New Directory", QKeySequence(Qt::CTRL | Qt::Key_N));
  NewDirectory1->setIcon(ToolIcon("newdir"));
  DeleteDirectory1 = action("DeleteDirectory1", "&Delete Directory", QKeySequence(Qt::Key_Delete));
  RenameDirectory1 = action("RenameDirectory1", "&Rename Directory", QKeySequence(Qt::Key_F2));
  PopupMenu2->addActions({NewDirectory1, DeleteDirectory1, RenameDirectory1});

  auto* tree = new TDirTree(this);
  DirTree = tree;
  DirTree->setObjectName("DirTree");
  DirTree->setAccessibleName("Directories");
  DirTree->setHeaderHidden(true);
  DirTree->setColumnCount(1);
  DirTree->setItemDelegate(new TDirTreeDelegate(this, tree));
  DirTree->setEditTriggers(QAbstractItemView::SelectedClicked);
  DirTree->setContextMenuPolicy(Qt::CustomContextMenu);
  DirTree->setAcceptDrops(true);
  DirTree->viewport()->setAcceptDrops(true);
  DirTree->setMinimumWidth(60);

  FModel = new TMemberModel(this);
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

  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(DirTree);
  split->addWidget(DirList);
  split->setStretchFactor(1, 1);
  split->setChildrenCollapsible(false);
  split->setSizes({149, 466 - 149});

  auto* bars = new QHBoxLayout;
  bars->setContentsMargins(0, 0, 0, 0);
  bars->setSpacing(0);
  bars->addWidget(textBar);
  bars->addWidget(imageBar, 1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addLayout(bars);
  layout->addWidget(split, 1);

  GOBPropForm = new TGOBPropForm(this);

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

  // Drops from other programs: only on the tree; the window's own target stays switched off.
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

  Document.OnSave = [this] { return SaveDocument(); };
  Document.NewGOB();
  RefreshTree();
  setWindowTitle(Q(Document.Caption));
}

TGobberForm::~TGobberForm() {
  // What calls back into the window goes while the window is still whole: the drop targets,
  // the tree's signals, and the list with its model.
  delete DropControl2;
  delete DropControl1;
  DropNode = nullptr;
  DirTree->disconnect(this);
  delete DirList;
  delete FModel;
  delete DirTree;
}

TFileDialog* TGobberForm::FindFileDialog(const std::string& name) {
  if (name == "OpenFileDialog") return &OpenFileDialog;
  if (name == "OpenGOBDialog") return &OpenGOBDialog;
  if (name == "SaveGOBDialog") return &SaveGOBDialog;
  return nullptr;
}

template <typename F> void TGobberForm::Run(F&& command) {
  Guarded(std::forward<F>(command));
  RefreshTree();
  setWindowTitle(Q(Document.Caption));
  if (ModalResult != mrNone) CloseWithModalResult();
}

template <typename F> void TGobberForm::Adding(F&& change) {
  try {
    change();
  } catch (...) {
    AfterAdding();
    throw;
  }
  AfterAdding();
}

void TGobberForm::CloseWithModalResult() {
  TModalResult result = ModalResult;
  if (!FormCloseQuery()) {
    ModalResult = mrNone;
    setWindowTitle(Q(Document.Caption));
    return;
  }
  // A Save As run by the close question also ends the showing with OK.
  if (ModalResult == mrOk) result = mrOk;
  ModalResult = mrNone;
  setWindowTitle(Q(Document.Caption));
  QDialog::done(result == mrOk ? QDialog::Accepted : QDialog::Rejected);
}

void TGobberForm::reject() {
  ModalResult = mrCancel;
  CloseWithModalResult();
}

void TGobberForm::keyPressEvent(QKeyEvent* event) {
  // Escape does not close the editor.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TGobberForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  if (!FCentred) {
    FCentred = true;
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
  }
  FormShow();
}

void TGobberForm::FormShow() {
  NewGOB1Click();
}

bool TGobberForm::FormCloseQuery() {
  try {
    return Document.QuerySave();
  } catch (const std::exception& e) {
    ShowCommandError(e);
    return false;
  }
}

bool TGobberForm::SaveDocument() {
  if (Document.FileName.empty()) return SaveAs();
  Document.WriteGOB(Document.FileName);
  return true;
}

bool TGobberForm::SaveAs() {
  const std::string initialDir = SaveGOBDialog.InitialDir;
  auto restore = [&] {
    SaveGOBDialog.InitialDir = initialDir;
    SaveGOBDialog.FileName.clear();
  };
  if (!Document.FileName.empty()) {
    SaveGOBDialog.InitialDir = ExtractFilePath(Document.FileName);
    SaveGOBDialog.FileName = ExtractFileName(Document.FileName);
  }
  try {
    if (!Dialogs().Execute(SaveGOBDialog, true)) {
      restore();
      return false;
    }
    Document.FileName = SaveGOBDialog.FileName;
    Document.WriteGOB(Document.FileName);
  } catch (...) {
    restore();
    throw;
  }
  Document.Caption = Format("Dazer Erezez - %s", ExtractFileName(Document.FileName));
  ModalResult = mrOk;
  restore();
  return true;
}

void TGobberForm::RefreshTree() {
  FSyncing = true;
  TGOBDirectory* root = Document.Root();
  auto makeItem = [](TGOBDirectory* dir) {
    auto* item = new QTreeWidgetItem;
    item->setText(0, Q(dir->Caption));
    item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(dir->Id()));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
    return item;
  };
  auto idOf = [](QTreeWidgetItem* item) { return item->data(0, kIdRole).toULongLong(); };
  auto dropItem = [this](QTreeWidgetItem* parent, int index) {
    QTreeWidgetItem* gone = parent->child(index);
    for (QTreeWidgetItem* i = DropNode; i; i = i->parent())
      if (i == gone) DropNode = nullptr;
    delete parent->takeChild(index);
  };
  // Follows the document level by level: directories keep their items, new ones get items at
  // their place, items of directories that are gone are removed.
  std::function<void(QTreeWidgetItem*, TGOBDirectory*)> sync = [&](QTreeWidgetItem* item,
                                                                   TGOBDirectory* dir) {
    if (item->text(0) != Q(dir->Caption)) item->setText(0, Q(dir->Caption));
    for (size_t i = 0; i < dir->Children.size(); ++i) {
      TGOBDirectory* child = dir->Children[i].get();
      int found = -1;
      for (int j = int(i); j < item->childCount(); ++j)
        if (idOf(item->child(j)) == child->Id()) {
          found = j;
          break;
        }
      if (found < 0)
        item->insertChild(int(i), makeItem(child));
      else
        for (int k = found - 1; k >= int(i); --k)
          dropItem(item, k);
      sync(item->child(int(i)), child);
    }
    while (item->childCount() > int(dir->Children.size()))
      dropItem(item, item->childCount() - 1);
  };
  if (DirTree->topLevelItemCount() != 1 || FRootId != root->Id()) {
    DropNode = nullptr;
    DirTree->clear();
    DirTree->addTopLevelItem(makeItem(root));
    FRootId = root->Id();
  }
  sync(DirTree->topLevelItem(0), root);
  FSyncing = false;
}

QTreeWidgetItem* TGobberForm::ItemOf(const TGOBDirectory* dir) const {
  if (!dir) return nullptr;
  for (QTreeWidgetItemIterator it(DirTree); *it; ++it)
    if ((*it)->data(0, kIdRole).toULongLong() == dir->Id()) return *it;
  return nullptr;
}

TGOBDirectory* TGobberForm::DirOf(const QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return Document.FindDirectory(item->data(0, kIdRole).toULongLong());
}

std::vector<int> TGobberForm::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& i : DirList->selectionModel()->selectedRows())
    rows.push_back(i.row());
  return rows;
}

void TGobberForm::SetListRows(int rows) {
  FModel->SetRows(rows);
}

// After files were added: every directory open, the list refreshed as on a selection change.
// After a new or loaded document the root is selected.
void TGobberForm::AfterAdding() {
  RefreshTree();
  DirTree->expandAll();
  if (!DirOf(DirTree->currentItem())) {
    FSyncing = true;
    DirTree->setCurrentItem(DirTree->topLevelItem(0));
    FSyncing = false;
  }
  DirTreeChange();
}

void TGobberForm::NewGOB1Click() {
  Run([&] {
    if (Document.NewGOB()) AfterAdding();
  });
}

void TGobberForm::OpenGOB1Click() {
  Run([&] {
    if (!Dialogs().Execute(OpenGOBDialog, false)) return;
    if (!Document.QuerySave()) return;
    const std::string file =
        OpenGOBDialog.Files.empty() ? OpenGOBDialog.FileName : OpenGOBDialog.Files.front();
    Adding([&] { Document.LoadGOB(file); });
  });
}

void TGobberForm::Save1Click() {
  Run([&] { SaveDocument(); });
}

void TGobberForm::SaveGOBClick() {
  Run([&] { SaveAs(); });
}

void TGobberForm::AddFiles1Click() {
  Run([&] {
    if (!Dialogs().Execute(OpenFileDialog, false)) return;
    const std::vector<std::string> files = OpenFileDialog.Files;
    Adding([&] {
      for (const std::string& f : files)
        Document.AddFile(f, true, "");
    });
  });
}

void TGobberForm::DeleteSelectedFiles1Click() {
  Run([&] {
    TGOBDirectory* dir = Document.Selected;
    if (!dir) return;
    Document.DeleteMembers(dir, SelectedRows());
    SetListRows(static_cast<int>(dir->Members.size()));
  });
}

void TGobberForm::Properties1Click() {
  Run([&] {
    GOBPropForm->LoadFrom(Document.PatchInfo);
    if (GOBPropForm->exec() != QDialog::Accepted) return;
    TStringList lines;
    GOBPropForm->StoreTo(lines);
    Document.SetPatchInfo(lines);
  });
}

void TGobberForm::Exit1Click() {
  Run([&] { ModalResult = mrCancel; });
}

void TGobberForm::NewDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = Document.NewDirectory();
    RefreshTree();
    QTreeWidgetItem* item = ItemOf(dir);
    if (item->parent()) item->parent()->setExpanded(true);
    DirTree->setCurrentItem(item);
    DirTree->editItem(item, 0);
  });
}

void TGobberForm::DeleteDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = Document.Selected;
    if (!dir || dir->IsRoot()) return;
    Document.DeleteDirectory(dir);
    RefreshTree();
    DirTreeChange();
  });
}

void TGobberForm::RenameDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = Document.Selected;
    if (!dir || dir->IsRoot()) return;
    DirTree->editItem(ItemOf(dir), 0);
  });
}

void TGobberForm::DirTreeChange() {
  TGOBDirectory* dir = DirOf(DirTree->currentItem());
  Document.Selected = dir;
  const bool notRoot = !(dir && dir->IsRoot());
  DeleteDirectory1->setEnabled(notRoot);
  RenameDirectory1->setEnabled(notRoot);
  if (dir) TGOBDocument::SortMembers(dir);
  SetListRows(dir ? static_cast<int>(dir->Members.size()) : 0);
}

void TGobberForm::DirTreeEdited(QTreeWidgetItem* item, const QString& text) {
  Run([&] {
    TGOBDirectory* dir = DirOf(item);
    if (!dir || text.toStdString() == dir->Caption) return;
    item->setText(0, Q(Document.RenameDirectory(dir, text.toStdString())));
  });
}

void TGobberForm::DirListEdited(int row, const QString& text) {
  Run([&] {
    TGOBDirectory* dir = Document.Selected;
    if (!dir || row < 0 || size_t(row) >= dir->Members.size()) return;
    if (dir->Members[size_t(row)]->Name == text.toStdString()) return;
    Document.RenameMember(dir, row, text.toStdString());
  });
}

bool TGobberForm::DirTreeDragOver(QTreeWidgetItem* item) const {
  return DirOf(item) != nullptr;
}

void TGobberForm::DirTreeDragDrop(QTreeWidgetItem* item) {
  Run([&] {
    TGOBDirectory* dir = Document.Selected;
    TGOBDirectory* target = DirOf(item);
    if (!dir || !target || target == dir) return;
    Document.MoveMembers(dir, SelectedRows(), target);
    SetListRows(static_cast<int>(dir->Members.size()));
  });
}

void TGobberForm::SetDropNode(QTreeWidgetItem* item) {
  if (item == DropNode) return;
  DropNode = item;
  DirTree->viewport()->update();
}

void TGobberForm::DCDragOver(TDropControl*, QPoint pt, TShiftState, TDropEffect&) {
  SetDropNode(DirTree->itemAt(DirTree->viewport()->mapFromGlobal(pt)));
}

void TGobberForm::DCDragLeave(TDropControl*) {
  SetDropNode(nullptr);
}

void TGobberForm::DCDrop(TDropControl* sender) {
  Run([&] {
    if (QTreeWidgetItem* node = DropNode) {
      SetDropNode(nullptr);
      DirTree->setCurrentItem(node);
    }
    const int index = sender->DroppedFormats().IndexOf("CF_HDROP");
    if (index < 0) return;
    TStringList paths;
    sender->GetDroppedStrings(paths, index);
    // Added once the drop is over, so that the source is not kept waiting by questions.
    QMetaObject::invokeMethod(
        this, [this, paths] { DCDropFiles(paths); }, Qt::QueuedConnection);
  });
}

void TGobberForm::DCDropFiles(const TStringList& paths) {
  Run([&] {
    Adding([&] {
      for (const std::string& path : paths.Lines())
        if (winfs::DirectoryExists(path))
          Document.AddFolder(path, "");
        else
          Document.AddFile(path, true, "");
    });
  });
}

} // namespace dravik
