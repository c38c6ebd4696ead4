#include "listview.h"

#include "platform/icons.h"
#include "platform/sysutils.h"

#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

namespace dravik {

const char* const kRepositoryEntriesMime = "application/x-dravik-repository-entries";

namespace {

QString Shown(const std::string& text) {
  return QString::fromStdString(Trim(text));
}

// Entries of the small icons view no wider than their place in the grid: a long name ends in
// an ellipsis (its tip shows it whole) instead of running over its neighbour. (The large icons
// view wraps names within the grid itself.)
class TGridDelegate : public QStyledItemDelegate {
public:
  explicit TGridDelegate(QListView* view) : QStyledItemDelegate(view), FView(view) {}
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    const QSize grid = FView->gridSize();
    if (grid.isValid() && FView->viewMode() == QListView::ListMode)
      size = size.boundedTo(grid - QSize(2 * FView->spacing() + 4, 0));
    return size;
  }

private:
  QListView* FView;
};

} // namespace

// -- Model -------------------------------------------------------------------------------------

TRepositoryModel::TRepositoryModel(TRepositoryEntries& entries, QObject* parent)
    : QAbstractTableModel(parent), FEntries(entries) {
  for (int i = 0; i < int(FIcons.size()); ++i)
    FIcons[size_t(i)] = CategoryIcon(i);
  FEntries.SetWatcher(this);
}

TRepositoryModel::~TRepositoryModel() {
  FEntries.SetWatcher(nullptr);
}

int TRepositoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FEntries.Count();
}

// At least one column, so that entries of a page without a header row still show.
int TRepositoryModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : std::max(1, FEntries.ColumnCount());
}

QVariant TRepositoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= FEntries.Count()) return {};
  const TRepositoryEntry& entry = FEntries[index.row()];
  switch (role) {
  case Qt::DisplayRole:
  case Qt::AccessibleTextRole:
  case Qt::ToolTipRole:
    return Shown(entry.Text(index.column()));
  case Qt::DecorationRole:
    if (index.column() != 0) return {};
    return FIcons[size_t(std::clamp(entry.ImageIndex, 0, int(FIcons.size()) - 1))];
  default:
    return {};
  }
}

QVariant TRepositoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0) return {};
  const QString caption =
      section < FEntries.ColumnCount() ? Shown(FEntries.Column(section).Caption) : QString();
  if (role == Qt::DisplayRole) return caption;
  // A column without a caption is read by its number.
  if (role == Qt::AccessibleTextRole && caption.isEmpty())
    return QString("Column %1").arg(section + 1);
  return {};
}

Qt::ItemFlags TRepositoryModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList TRepositoryModel::mimeTypes() const {
  return {kRepositoryEntriesMime};
}

QMimeData* TRepositoryModel::mimeData(const QModelIndexList& indexes) const {
  std::set<int> unique;
  for (const QModelIndex& index : indexes)
    if (index.isValid()) unique.insert(index.row());
  if (unique.empty()) return nullptr;
  const std::vector<int> rows(unique.begin(), unique.end());
  auto* mime = new QMimeData;
  const std::string text = DragText ? DragText(rows) : std::string();
  mime->setData(kRepositoryEntriesMime, QByteArray::fromStdString(text));
  return mime;
}

Qt::DropActions TRepositoryModel::supportedDragActions() const {
  return Qt::CopyAction | Qt::LinkAction;
}

void TRepositoryModel::ColumnAdded(int column) {
  if (column == 0) { // takes the place of the column shown for no header
    emit headerDataChanged(Qt::Horizontal, 0, 0);
    return;
  }
  beginInsertColumns(QModelIndex(), column, column);
  endInsertColumns();
}

void TRepositoryModel::ColumnChanged(int column) {
  emit headerDataChanged(Qt::Horizontal, column, column);
}

void TRepositoryModel::EntryAdded(int index) {
  beginInsertRows(QModelIndex(), index, index);
  endInsertRows();
}

void TRepositoryModel::EntryChanged(int index) {
  emit dataChanged(this->index(index, 0), this->index(index, columnCount() - 1));
}

void TRepositoryModel::Cleared() {
  beginResetModel();
  endResetModel();
}

void TRepositoryModel::Reordering() {
  emit layoutAboutToBeChanged();
  FPersistentIndexes = persistentIndexList();
  FPersistent.clear();
  for (const QModelIndex& index : FPersistentIndexes)
    FPersistent.push_back(index.row() < FEntries.Count() ? &FEntries[index.row()] : nullptr);
}

void TRepositoryModel::Reordered() {
  QModelIndexList moved;
  for (size_t i = 0; i < FPersistent.size(); ++i) {
    const int row = FPersistent[i] ? FEntries.IndexOf(FPersistent[i]) : -1;
    moved.append(row < 0 ? QModelIndex() : index(row, FPersistentIndexes[int(i)].column()));
  }
  changePersistentIndexList(FPersistentIndexes, moved);
  FPersistent.clear();
  FPersistentIndexes.clear();
  emit layoutChanged();
}

// -- View --------------------------------------------------------------------------------------

TRepositoryListView::TRepositoryListView(TRepositoryEntries& entries, QWidget* parent)
    : QWidget(parent), FEntries(entries) {
  Model = new TRepositoryModel(entries, this);
  FStack = new QStackedWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FStack);

  ReportView = new QTreeView(FStack);
  ReportView->setObjectName("ListView1Details");
  ReportView->setModel(Model);
  ReportView->setRootIsDecorated(false);
  ReportView->setItemsExpandable(false);
  ReportView->setUniformRowHeights(true);
  ReportView->setAllColumnsShowFocus(true);
  ReportView->setIconSize(QSize(16, 16));
  ReportView->header()->setStretchLastSection(false);
  ReportView->header()->setSectionsClickable(true);
  ReportView->header()->setSectionsMovable(false);
  ReportView->header()->setDefaultSectionSize(kDefaultColumnWidth);
  ReportView->header()->setSortIndicatorShown(true);
  ReportView->header()->setSortIndicator(0, Qt::AscendingOrder);

  IconView = new QListView(FStack);
  IconView->setObjectName("ListView1Icons");
  IconView->setModel(Model);
  IconView->setSelectionModel(ReportView->selectionModel());
  IconView->setUniformItemSizes(false);
  IconView->setWordWrap(true);
  IconView->setTextElideMode(Qt::ElideRight);
  IconView->setItemDelegate(new TGridDelegate(IconView));

  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(ReportView), static_cast<QAbstractItemView*>(IconView)}) {
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setDragEnabled(true);
    view->setDragDropMode(QAbstractItemView::DragOnly);
    view->setDefaultDropAction(Qt::CopyAction);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
            [this, view](const QPoint& pos) { ShowPopup(view, pos); });
    connect(view, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex&) {
      if (OnDblClick) OnDblClick();
    });
  }
  FStack->addWidget(ReportView);
  FStack->addWidget(IconView);
  FStack->setCurrentWidget(ReportView);
  setFocusProxy(ReportView);

  connect(ReportView->header(), &QHeaderView::sectionClicked, this, [this](int section) {
    if (OnColumnClick) OnColumnClick(section);
  });
  connect(Model, &QAbstractItemModel::headerDataChanged, this,
          [this](Qt::Orientation, int first, int last) { ApplyColumnWidths(first, last); });
  connect(Model, &QAbstractItemModel::columnsInserted, this,
          [this](const QModelIndex&, int first, int last) { ApplyColumnWidths(first, last); });
  connect(Model, &QAbstractItemModel::modelReset, this, [this] {
    FApplyingWidths = true;
    ReportView->header()->resizeSection(0, kDefaultColumnWidth);
    FApplyingWidths = false;
  });
  // A column the user drags keeps its width (by its caption) from then on.
  connect(ReportView->header(), &QHeaderView::sectionResized, this,
          [this](int column, int, int width) {
            if (FApplyingWidths || column >= FEntries.ColumnCount()) return;
            const std::string caption = Trim(FEntries.Column(column).Caption);
            if (!caption.empty()) FRemembered[caption] = width;
          });
  auto selectionChanged = [this] {
    if (OnSelectionChange) OnSelectionChange();
  };
  connect(ReportView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          selectionChanged);
  connect(Model, &QAbstractItemModel::modelReset, this, selectionChanged);
}

void TRepositoryListView::SetAccessibleName(const QString& name) {
  setAccessibleName(name);
  ReportView->setAccessibleName(name);
  IconView->setAccessibleName(name);
}

void TRepositoryListView::ApplyColumnWidths(int first, int last) {
  FApplyingWidths = true;
  for (int column = std::max(first, 0); column <= last && column < FEntries.ColumnCount();
       ++column) {
    const TRepositoryColumn& c = FEntries.Column(column);
    const auto remembered = FRemembered.find(Trim(c.Caption));
    const int width = remembered != FRemembered.end() ? remembered->second : c.Width;
    if (ReportView->header()->sectionSize(column) != width)
      ReportView->header()->resizeSection(column, width);
  }
  FApplyingWidths = false;
}

void TRepositoryListView::FitColumnsToTexts(int usableWidth) {
  const int count = FEntries.ColumnCount();
  if (count < 2) return;
  QHeaderView* header = ReportView->header();
  const QFontMetrics metrics(ReportView->font());
  const int margin = 2 * ReportView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin) + 12;
  auto remembered = [&](int column) {
    return FRemembered.count(Trim(FEntries.Column(column).Caption)) > 0;
  };
  FApplyingWidths = true;
  for (int column = 0; column + 1 < count; ++column) {
    if (remembered(column)) continue;
    int widest = metrics.horizontalAdvance(Shown(FEntries.Column(column).Caption));
    for (int row = 0; row < FEntries.Count(); ++row)
      widest = std::max(widest, metrics.horizontalAdvance(Shown(FEntries[row].Text(column))));
    if (column == 0) widest += ReportView->iconSize().width() + 4;
    const int width =
        std::max(header->sectionSize(column), std::min(widest + margin, usableWidth / 2));
    header->resizeSection(column, width);
  }
  FApplyingWidths = false;
}

void TRepositoryListView::SetRememberedWidths(const TColumnWidths& widths) {
  FRemembered = widths;
  ApplyColumnWidths(0, FEntries.ColumnCount() - 1);
}

void TRepositoryListView::SetViewStyle(TViewStyle style) {
  FViewStyle = style;
  if (style == vsReport) {
    FStack->setCurrentWidget(ReportView);
    setFocusProxy(ReportView);
    return;
  }
  switch (style) {
  case vsIcon:
    IconView->setViewMode(QListView::IconMode);
    IconView->setIconSize(QSize(32, 32));
    IconView->setFlow(QListView::LeftToRight);
    IconView->setGridSize(QSize(96, 72));
    break;
  case vsSmallIcon:
    IconView->setViewMode(QListView::ListMode);
    IconView->setIconSize(QSize(16, 16));
    IconView->setFlow(QListView::LeftToRight);
    IconView->setGridSize(QSize(160, 20));
    break;
  default: // list: columns filled top to bottom
    IconView->setViewMode(QListView::ListMode);
    IconView->setIconSize(QSize(16, 16));
    IconView->setFlow(QListView::TopToBottom);
    IconView->setGridSize(QSize());
    break;
  }
  IconView->setWrapping(true);
  IconView->setResizeMode(QListView::Adjust);
  IconView->setMovement(QListView::Static); // entries drag out, they do not move about
  IconView->setDragEnabled(true);
  FStack->setCurrentWidget(IconView);
  setFocusProxy(IconView);
}

int TRepositoryListView::ClientWidth() const {
  return width() - 2 * ReportView->frameWidth();
}

std::vector<int> TRepositoryListView::SelectedRows() const {
  std::set<int> rows;
  for (const QModelIndex& index : ReportView->selectionModel()->selectedIndexes())
    rows.insert(index.row());
  return std::vector<int>(rows.begin(), rows.end());
}

int TRepositoryListView::FirstSelected() const {
  const std::vector<int> rows = SelectedRows();
  return rows.empty() ? -1 : rows.front();
}

void TRepositoryListView::SelectRows(const std::vector<int>& rows) {
  QItemSelection selection;
  const int last = Model->columnCount() - 1;
  for (int row : rows)
    if (row >= 0 && row < Model->rowCount())
      selection.select(Model->index(row, 0), Model->index(row, last));
  ReportView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TRepositoryListView::SelectAll() {
  const int rows = Model->rowCount();
  if (rows == 0) return;
  QItemSelection selection(Model->index(0, 0), Model->index(rows - 1, Model->columnCount() - 1));
  ReportView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

void TRepositoryListView::BeginUpdate() {
  if (FUpdates++ == 0) FStack->setUpdatesEnabled(false);
}

void TRepositoryListView::EndUpdate() {
  if (FUpdates == 0) return;
  if (--FUpdates == 0) FStack->setUpdatesEnabled(true);
}

void TRepositoryListView::ShowSortIndicator(int column, bool descending) {
  ReportView->header()->setSortIndicator(column,
                                         descending ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TRepositoryListView::ShowPopup(QAbstractItemView* view, const QPoint& pos) {
  if (FPopupMenu) FPopupMenu->popup(view->viewport()->mapToGlobal(pos));
}

} // namespace dravik
