#include "gobber.h"

#include "dirtree.h"
#include "gobprop.h"
#include "memberlist.h"
#include "platform/placewindow.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QAction>
#include <QKeyEvent>
#include <QPointer>
#include <QTreeView>
#include <QTreeWidgetItemIterator>
#include <functional>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

constexpr int kIdRole = Qt::UserRole + 1;

QPointer<TGobberForm> gGobber;

} // namespace

TGobberForm* GobberForm() {
  return gGobber;
}

TGobberResult ExecuteGobber(QWidget* owner, const std::string& filter,
                            const std::string& initialDir) {
  if (!gGobber) gGobber = new TGobberForm(owner);
  for (const char* name : {"OpenGOBDialog", "SaveGOBDialog"}) {
    TFileDialog* d = gGobber->FindFileDialog(name);
    d->Filter = filter;
    d->InitialDir = initialDir;
  }
  const bool ok = gGobber->exec() == QDialog::Accepted;
  return {ok, gGobber->Written()};
}

TGobberForm::TGobberForm(QWidget* parent) : QDialog(parent) {
  CreateControls();
  // FormCreate.
  FDocument.OnSave = [this] { return SaveDocument(); };
  FDocument.NewGOB();
  RefreshTree();
  setWindowTitle(Q(FDocument.Caption));
}

TGobberForm::~TGobberForm() {
  // What calls back into the window goes while the window is still whole: the drop targets,
  // the tree's signals, and the list with its model.
  delete DropControl2;
  delete DropControl1;
  FDropNode = nullptr;
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
  setWindowTitle(Q(FDocument.Caption));
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
    setWindowTitle(Q(FDocument.Caption));
    return;
  }
  // A Save As run by the close question also ends the showing with OK.
  if (ModalResult == mrOk) result = mrOk;
  ModalResult = mrNone;
  setWindowTitle(Q(FDocument.Caption));
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
    CentreOnScreen(this, size());
  }
  FormShow();
}

void TGobberForm::FormShow() {
  FWritten.clear();
  NewGOB1Click();
}

bool TGobberForm::FormCloseQuery() {
  try {
    return FDocument.QuerySave();
  } catch (const std::exception& e) {
    ShowCommandError(e);
    return false;
  }
}

bool TGobberForm::SaveDocument() {
  if (FDocument.FileName.empty()) return SaveAs();
  FDocument.WriteGOB(FDocument.FileName);
  FWritten.push_back(FDocument.FileName);
  return true;
}

bool TGobberForm::SaveAs() {
  const std::string initialDir = SaveGOBDialog.InitialDir;
  auto restore = [&] {
    SaveGOBDialog.InitialDir = initialDir;
    SaveGOBDialog.FileName.clear();
  };
  if (!FDocument.FileName.empty()) {
    SaveGOBDialog.InitialDir = ExtractFilePath(FDocument.FileName);
    SaveGOBDialog.FileName = ExtractFileName(FDocument.FileName);
  }
  try {
    if (!Dialogs().Execute(SaveGOBDialog, true)) {
      restore();
      return false;
    }
    FDocument.FileName = SaveGOBDialog.FileName;
    FDocument.WriteGOB(FDocument.FileName);
    FWritten.push_back(FDocument.FileName);
  } catch (...) {
    restore();
    throw;
  }
  FDocument.Caption = Format("Dazer Erezez - %s", ExtractFileName(FDocument.FileName));
  ModalResult = mrOk;
  restore();
  return true;
}

void TGobberForm::RefreshTree() {
  FSyncing = true;
  TGOBDirectory* root = FDocument.Root();
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
    for (QTreeWidgetItem* i = FDropNode; i; i = i->parent())
      if (i == gone) FDropNode = nullptr;
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
    FDropNode = nullptr;
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
  return FDocument.FindDirectory(item->data(0, kIdRole).toULongLong());
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
    if (FDocument.NewGOB()) AfterAdding();
  });
}

void TGobberForm::OpenGOB1Click() {
  Run([&] {
    if (!Dialogs().Execute(OpenGOBDialog, false)) return;
    if (!FDocument.QuerySave()) return;
    const std::string file =
        OpenGOBDialog.Files.empty() ? OpenGOBDialog.FileName : OpenGOBDialog.Files.front();
    Adding([&] { FDocument.LoadGOB(file); });
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
        FDocument.AddFile(f, true, "");
    });
  });
}

void TGobberForm::DeleteSelectedFiles1Click() {
  Run([&] {
    TGOBDirectory* dir = FDocument.Selected;
    if (!dir) return;
    FDocument.DeleteMembers(dir, SelectedRows());
    SetListRows(static_cast<int>(dir->Members.size()));
  });
}

void TGobberForm::Properties1Click() {
  Run([&] {
    GOBPropForm->LoadFrom(FDocument.PatchInfo);
    if (GOBPropForm->exec() != QDialog::Accepted) return;
    TStringList lines;
    GOBPropForm->StoreTo(lines);
    FDocument.SetPatchInfo(lines);
  });
}

void TGobberForm::Exit1Click() {
  Run([&] { ModalResult = mrCancel; });
}

void TGobberForm::NewDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = FDocument.NewDirectory();
    RefreshTree();
    QTreeWidgetItem* item = ItemOf(dir);
    if (item->parent()) item->parent()->setExpanded(true);
    DirTree->setCurrentItem(item);
    DirTree->editItem(item, 0);
  });
}

void TGobberForm::DeleteDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = FDocument.Selected;
    if (!dir || dir->IsRoot()) return;
    FDocument.DeleteDirectory(dir);
    RefreshTree();
    DirTreeChange();
  });
}

void TGobberForm::RenameDirectory1Click() {
  Run([&] {
    TGOBDirectory* dir = FDocument.Selected;
    if (!dir || dir->IsRoot()) return;
    DirTree->editItem(ItemOf(dir), 0);
  });
}

void TGobberForm::DirTreeChange() {
  TGOBDirectory* dir = DirOf(DirTree->currentItem());
  FDocument.Selected = dir;
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
    item->setText(0, Q(FDocument.RenameDirectory(dir, text.toStdString())));
  });
}

void TGobberForm::DirListEdited(int row, const QString& text) {
  Run([&] {
    TGOBDirectory* dir = FDocument.Selected;
    if (!dir || row < 0 || size_t(row) >= dir->Members.size()) return;
    if (dir->Members[size_t(row)]->Name == text.toStdString()) return;
    FDocument.RenameMember(dir, row, text.toStdString());
  });
}

bool TGobberForm::DirTreeDragOver(QTreeWidgetItem* item) const {
  return DirOf(item) != nullptr;
}

void TGobberForm::DirTreeDragDrop(QTreeWidgetItem* item) {
  Run([&] {
    TGOBDirectory* dir = FDocument.Selected;
    TGOBDirectory* target = DirOf(item);
    if (!dir || !target || target == dir) return;
    FDocument.MoveMembers(dir, SelectedRows(), target);
    SetListRows(static_cast<int>(dir->Members.size()));
  });
}

void TGobberForm::SetDropNode(QTreeWidgetItem* item) {
  if (item == FDropNode) return;
  FDropNode = item;
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
    if (QTreeWidgetItem* node = FDropNode) {
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
          FDocument.AddFolder(path, "");
        else
          FDocument.AddFile(path, true, "");
    });
  });
}

} // namespace dravik
