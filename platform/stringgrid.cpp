#include "stringgrid.h"

#include "sysutils.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace dravik {

static QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Keeps track of the open cell editor and reports committed edits.
class TGridDelegate : public QStyledItemDelegate {
public:
  TGridDelegate(TadStringGrid* grid, QObject* parent) : QStyledItemDelegate(parent), FGrid(grid) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    FEditor = editor;
    return editor;
  }

  void setModelData(QWidget* editor, QAbstractItemModel* model,
                    const QModelIndex& index) const override {
    QString before = index.data(Qt::EditRole).toString();
    QStyledItemDelegate::setModelData(editor, model, index);
    if (FGrid->OnCellEdited && index.data(Qt::EditRole).toString() != before)
      FGrid->OnCellEdited(FGrid, index.column(), index.row() + 1);
  }

  QWidget* Editor() const { return FEditor; }

private:
  TadStringGrid* FGrid;
  mutable QPointer<QWidget> FEditor;
};

class TGridTable : public QTableWidget {
public:
  explicit TGridTable(TadStringGrid* grid) : QTableWidget(grid), FGrid(grid) {
    FDelegate = new TGridDelegate(grid, this);
    setItemDelegate(FDelegate);
  }

  // The row headers are hidden, yet screen readers read a cell's row header with it: each
  // names its row by the row's first cell (the property or repository name), or by its number
  // while that cell is empty. Only rows from `first` to `last` are named anew.
  void NameRows(int first, int last) {
    for (int r = std::max(first, 0); r <= last && r < rowCount(); ++r) {
      QTableWidgetItem* key = item(r, 0);
      const QString name =
          key && !key->text().isEmpty() ? key->text() : QString("Row %1").arg(r + 1);
      QTableWidgetItem* header = verticalHeaderItem(r);
      if (!header) {
        header = new QTableWidgetItem;
        setVerticalHeaderItem(r, header);
      }
      if (header->data(Qt::AccessibleTextRole).toString() != name)
        header->setData(Qt::AccessibleTextRole, name);
    }
  }

  void CommitOpenEditor() {
    QWidget* editor = FDelegate->Editor();
    if (editor && state() == EditingState) commitData(editor);
  }
  bool Editing() const { return state() == EditingState; }

protected:
  void keyPressEvent(QKeyEvent* e) override {
    CommitOpenEditor();
    bool handled = false;
    if (FGrid->OnKeyDown) FGrid->OnKeyDown(FGrid, e->key(), e->modifiers(), handled);
    if (handled) {
      e->accept();
      return;
    }
    QTableWidget::keyPressEvent(e);
  }

  void mousePressEvent(QMouseEvent* e) override {
    QModelIndex index = indexAt(e->position().toPoint());
    if (e->button() == Qt::RightButton) {
      // A right press chooses nothing by itself; the handler picks the row for the menu.
      CommitOpenEditor();
      setFocus(Qt::MouseFocusReason);
    } else {
      QTableWidget::mousePressEvent(e);
    }
    if (index.isValid() && FGrid->OnMouseDown)
      FGrid->OnMouseDown(FGrid, e->button(), index.column(), index.row() + 1);
  }

  void contextMenuEvent(QContextMenuEvent* e) override {
    if (!FGrid->PopupMenu()) {
      QTableWidget::contextMenuEvent(e);
      return;
    }
    FGrid->PopupMenu()->exec(e->globalPos());
    e->accept();
  }

private:
  TadStringGrid* FGrid;
  TGridDelegate* FDelegate;
};

TadStringGrid::TadStringGrid(QWidget* parent) : QWidget(parent), FTable(new TGridTable(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FTable);
  setFocusProxy(FTable);
  FTable->setSelectionMode(QAbstractItemView::SingleSelection);
  FTable->setSelectionBehavior(QAbstractItemView::SelectItems);
  FTable->setTextElideMode(Qt::ElideRight);
  FTable->setWordWrap(false);
  FTable->setTabKeyNavigation(false);
  FTable->setCornerButtonEnabled(false);
  FTable->verticalHeader()->hide();
  QHeaderView* header = FTable->horizontalHeader();
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setSectionsClickable(false);
  header->setHighlightSections(false);
  header->setStretchLastSection(true);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  FTable->setColumnCount(2);
  FTable->setRowCount(0);
  SetEditable(true);
  QAbstractItemModel* model = FTable->model();
  // Rows inserted or removed move the numbers of those after them; a changed first cell renames
  // its own row.
  auto renumber = [this](const QModelIndex&, int first) {
    FTable->NameRows(first, FTable->rowCount() - 1);
  };
  connect(model, &QAbstractItemModel::rowsInserted, this, renumber);
  connect(model, &QAbstractItemModel::rowsRemoved, this, renumber);
  connect(model, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
            if (topLeft.column() == 0) FTable->NameRows(topLeft.row(), bottomRight.row());
          });
}

TadStringGrid::~TadStringGrid() = default;

QTableWidget* TadStringGrid::Table() const {
  return FTable;
}

int TadStringGrid::ColCount() const {
  return FTable->columnCount();
}

void TadStringGrid::SetColCount(int count) {
  FTable->setColumnCount(std::max(count, 1));
}

void TadStringGrid::SetColumns(const std::vector<TColumn>& columns) {
  SetColCount(static_cast<int>(columns.size()));
  for (size_t i = 0; i < columns.size(); ++i) {
    const int col = static_cast<int>(i);
    SetCells(col, 0, columns[i].Title);
    SetColWidth(col, columns[i].Width);
  }
}

int TadStringGrid::ColWidth(int col) const {
  return FTable->columnWidth(col);
}

void TadStringGrid::SetColWidth(int col, int width) {
  FTable->setColumnWidth(col, width);
}

void TadStringGrid::SetFillLastColumn(bool fill) {
  FTable->horizontalHeader()->setStretchLastSection(fill);
}

int TadStringGrid::RowCount() const {
  return FTable->rowCount() + 1;
}

void TadStringGrid::SetRowCount(int count) {
  const int col = Col();
  FTable->setRowCount(std::max(count, 1) - 1);
  if (FTable->rowCount() > 0 && FTable->currentRow() < 0) FTable->setCurrentCell(0, col);
}

void TadStringGrid::SetDefaultRowHeight(int height) {
  FTable->verticalHeader()->setMinimumSectionSize(std::min(height, 8));
  FTable->verticalHeader()->setDefaultSectionSize(height);
}

std::string TadStringGrid::Cells(int col, int row) const {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return std::string();
  QTableWidgetItem* item =
      row == 0 ? FTable->horizontalHeaderItem(col) : FTable->item(row - 1, col);
  return item ? item->text().toStdString() : std::string();
}

void TadStringGrid::SetCells(int col, int row, const std::string& text) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount())
    throw Exception("Grid index out of range");
  if (row == 0) {
    QTableWidgetItem* item = FTable->horizontalHeaderItem(col);
    if (!item) {
      item = new QTableWidgetItem;
      FTable->setHorizontalHeaderItem(col, item);
    }
    item->setText(Q(text));
    return;
  }
  QTableWidgetItem* item = FTable->item(row - 1, col);
  if (!item) {
    item = new QTableWidgetItem;
    FTable->setItem(row - 1, col, item);
  }
  item->setText(Q(text));
}

int TadStringGrid::Row() const {
  if (FTable->rowCount() == 0) return 0;
  return std::max(FTable->currentRow(), 0) + 1;
}

void TadStringGrid::SetRow(int row) {
  if (row < 1 || row >= RowCount()) return;
  FTable->setCurrentCell(row - 1, Col());
}

int TadStringGrid::Col() const {
  return std::max(FTable->currentColumn(), 0);
}

void TadStringGrid::SetCol(int col) {
  if (col < 0 || col >= ColCount() || FTable->rowCount() == 0) return;
  FTable->setCurrentCell(Row() - 1, col);
}

void TadStringGrid::SetEditable(bool editable) {
  FEditable = editable;
  FTable->setEditTriggers(
      editable ? QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                     QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed
               : QAbstractItemView::NoEditTriggers);
}

void TadStringGrid::CommitEdit() {
  FTable->CommitOpenEditor();
}

bool TadStringGrid::IsEditing() const {
  return FTable->Editing();
}

void TadStringGrid::SetPopupMenu(QMenu* menu) {
  if (FPopupMenu)
    for (QAction* a : FPopupMenu->actions())
      removeAction(a);
  FPopupMenu = menu;
  if (!menu) return;
  for (QAction* a : menu->actions()) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
}

void TadStringGrid::SetAccessibleName(const QString& name) {
  setAccessibleName(name);
  FTable->setAccessibleName(name);
}

bool TadStringGrid::ArrowKeyRowRule(int key) {
  const int last = RowCount() - 1;
  if (last < 1 || Row() != last) return false;
  if (key == Qt::Key_Down && !Cells(0, last).empty()) {
    SetRowCount(last + 2);
    SetRow(last + 1);
    return true;
  }
  if (key == Qt::Key_Up && Cells(0, last).empty()) {
    if (last > 1) {
      SetRow(last - 1);
      SetRowCount(last);
    }
    return true;
  }
  return false;
}

void TadStringGrid::InsertRow() {
  const int row = FTable->rowCount() == 0 ? 0 : Row() - 1;
  const int col = Col();
  FTable->insertRow(row);
  FTable->setCurrentCell(row, col);
}

void TadStringGrid::DeleteRow() {
  const int rows = FTable->rowCount();
  if (rows == 0) return;
  if (rows == 1) {
    for (int c = 0; c < ColCount(); ++c)
      SetCells(c, 1, std::string());
    return;
  }
  const int row = Row() - 1;
  const int col = Col();
  FTable->removeRow(row);
  FTable->setCurrentCell(std::min(row, FTable->rowCount() - 1), col);
}

void TadStringGrid::MouseDownRowRule(int col, int row) {
  if (row < 1 || row >= RowCount() || col < 0 || col >= ColCount()) return;
  SetRow(row);
  if (col > 0) SetCol(col);
}

} // namespace dravik
