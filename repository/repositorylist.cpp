#include "repositorylist.h"

#include "patches/patchedapp.h"
#include "platform/dialogs.h"
#include "platform/placewindow.h"
#include "platform/stringgrid.h"
#include "platform/sysutils.h"
#include "repositoryhost.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QVBoxLayout>

namespace dravik {

TRepositoryListForm::TRepositoryListForm(QWidget* parent, TRepositoryHost* host)
    : QDialog(parent), FHost(host) {
  setObjectName("RepositoryListForm");
  setWindowTitle("Repository List Editor");
  setModal(true);
  resize(432, 147);
  setSizeGripEnabled(true);

  RepositoryGrid = new TadStringGrid(this);
  RepositoryGrid->setObjectName("RepositoryGrid");
  RepositoryGrid->SetColumns({{"Repository Name", 133}, {"URL", 285}});
  RepositoryGrid->SetDefaultRowHeight(17);
  RepositoryGrid->Table()->horizontalHeader()->setFixedHeight(18);
  RepositoryGrid->SetAccessibleName("Repositories");

  OKButton = new QPushButton("&OK", this);
  OKButton->setObjectName("OKButton");
  OKButton->setDefault(true);
  OKButton->setAccessibleName("OK");
  CancelButton = new QPushButton("&Cancel", this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setAccessibleName("Cancel");

  PopupMenu1 = new QMenu(this);
  InsertRow1 = PopupMenu1->addAction("&Insert Row");
  InsertRow1->setShortcut(QKeySequence(Qt::Key_Insert));
  DeleteRow1 = PopupMenu1->addAction("&Delete Row");
  DeleteRow1->setShortcut(QKeySequence(Qt::Key_Delete));
  RepositoryGrid->SetPopupMenu(PopupMenu1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(RepositoryGrid, 1);
  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setFixedHeight(32);
  auto* buttons = new QHBoxLayout(panel);
  buttons->setContentsMargins(4, 3, 4, 3);
  buttons->addStretch(1);
  buttons->addWidget(OKButton);
  buttons->addWidget(CancelButton);
  layout->addWidget(panel);

  connect(OKButton, &QPushButton::clicked, this, &TRepositoryListForm::accept);
  connect(CancelButton, &QPushButton::clicked, this, &TRepositoryListForm::reject);
  connect(InsertRow1, &QAction::triggered, this, [this] { InsertRow1Click(); });
  connect(DeleteRow1, &QAction::triggered, this, [this] { DeleteRow1Click(); });
  RepositoryGrid->OnKeyDown = [this](TadStringGrid* s, int key, Qt::KeyboardModifiers m,
                                     bool& handled) { RepositoryGridKeyDown(s, key, m, handled); };
  RepositoryGrid->OnMouseDown = [this](TadStringGrid* s, Qt::MouseButton b, int col, int row) {
    RepositoryGridMouseDown(s, b, col, row);
  };
  LoadFrom(TStringList());
}

void TRepositoryListForm::LoadFrom(const TStringList& repositories) {
  const int rows = std::max(repositories.Count(), 1);
  RepositoryGrid->SetRowCount(1); // drops every earlier row
  RepositoryGrid->SetRowCount(rows + 1);
  for (int i = 0; i < repositories.Count(); ++i) {
    RepositoryGrid->SetCells(0, i + 1, repositories.Names(i));
    RepositoryGrid->SetCells(1, i + 1, repositories.ValueFromIndex(i));
  }
  RepositoryGrid->SetRow(1);
  RepositoryGrid->SetCol(0);
}

void TRepositoryListForm::StoreTo(TStringList& repositories) {
  RepositoryGrid->CommitEdit();
  repositories.Clear();
  for (int row = 1; row < RepositoryGrid->RowCount(); ++row) {
    const std::string name = Trim(RepositoryGrid->Cells(0, row));
    if (name.empty()) continue;
    repositories.Add(Format("%s=%s", name, Trim(RepositoryGrid->Cells(1, row))));
  }
}

void TRepositoryListForm::FormShow() {
  THXPatchedApp* game = FHost ? FHost->CurrentApp() : nullptr;
  LoadFrom(game ? game->Repositories : TStringList());
}

void TRepositoryListForm::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) {
    CentreOnScreen(this, size());
    FormShow();
  }
  QDialog::showEvent(event);
}

void TRepositoryListForm::RepositoryGridKeyDown(TadStringGrid* sender, int key,
                                                Qt::KeyboardModifiers, bool& handled) {
  if (key == Qt::Key_Up || key == Qt::Key_Down) handled = sender->ArrowKeyRowRule(key);
}

void TRepositoryListForm::RepositoryGridMouseDown(TadStringGrid* sender, Qt::MouseButton, int col,
                                                  int row) {
  sender->MouseDownRowRule(col, row);
}

void TRepositoryListForm::InsertRow1Click() {
  RepositoryGrid->CommitEdit();
  RepositoryGrid->InsertRow();
}

void TRepositoryListForm::DeleteRow1Click() {
  RepositoryGrid->CommitEdit();
  RepositoryGrid->DeleteRow();
}

void TRepositoryListForm::accept() {
  RepositoryGrid->CommitEdit();
  for (int row = 1; row < RepositoryGrid->RowCount(); ++row) {
    const std::string name = Trim(RepositoryGrid->Cells(0, row));
    if (name.find('=') == std::string::npos) continue;
    Dialogs().MessageDlg(
        Format("The repository name \"%s\" contains \"=\", which a name cannot hold. "
               "Please choose another name.",
               name),
        mtError, {mbOK});
    RepositoryGrid->SetRow(row);
    RepositoryGrid->SetCol(0);
    return;
  }
  QDialog::accept();
}

} // namespace dravik
