#include "patchlistview.h"

#include "patches/patchlist.h"
#include "platform/icons.h"
#include "platform/sysutils.h"

#include <QApplication>
#include <QPainter>
#include <algorithm>

namespace dravik {

TPatchListModel::TPatchListModel(std::function<TPatchList*()> source, QObject* parent)
    : QAbstractTableModel(parent), FSource(std::move(source)) {}

void TPatchListModel::SetRowCount(int count) {
  if (count == FRowCount) {
    Repaint();
    return;
  }
  beginResetModel();
  FRowCount = count;
  endResetModel();
}

void TPatchListModel::Repaint() {
  if (FRowCount > 0) emit dataChanged(index(0, 0), index(FRowCount - 1, columnCount() - 1));
}

void TPatchListModel::SetActiveConflictsOnly(bool on, const QString& caption) {
  FActiveOnly = on;
  FConflictCaption = caption;
  emit headerDataChanged(Qt::Horizontal, 2, 2);
}

int TPatchListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRowCount;
}

int TPatchListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 3;
}

// The patch's state in words; a blocked patch names the active patches that block it.
static QString StateText(const TPatch& patch) {
  switch (patch.State()) {
  case psActive:
    return QStringLiteral("Active");
  case psConflicting: {
    const std::string blockers = patch.ConflictText({psActive});
    return QString::fromStdString(Format(blockers.find("; ") == std::string::npos
                                             ? "Blocked by the active patch %s"
                                             : "Blocked by the active patches %s",
                                         blockers));
  }
  default:
    return QStringLiteral("Inactive");
  }
}

// One cell's text, read from the patch now.
static QString CellText(const TPatch& patch, int column, bool activeOnly) {
  switch (column) {
  case 0:
    return QString::fromStdString(patch.Name);
  case 1:
    return QString::fromStdString(patch.Info.Values("Type"));
  case 2:
    return QString::fromStdString(
        patch.ConflictText(activeOnly ? TPatchStates{psActive} : TPatchStates::All()));
  }
  return QString();
}

// PatchListData: the row's texts and picture, read from the patch now. Only the roles that show
// them build the texts: the view asks for many more while it paints.
QVariant TPatchListModel::data(const QModelIndex& index, int role) const {
  TPatchList* list = FSource ? FSource() : nullptr;
  if (!list || !index.isValid() || index.row() >= list->Count() || index.row() >= FRowCount)
    return QVariant();
  const TPatch* patch = (*list)[index.row()];
  switch (role) {
  case Qt::DisplayRole:
    return CellText(*patch, index.column(), FActiveOnly);
  case Qt::ToolTipRole: {
    // The whole text, which the column may cut; under the name, the state.
    const QString text = CellText(*patch, index.column(), FActiveOnly);
    return index.column() == 0 ? text + "\n" + StateText(*patch) : text;
  }
  case Qt::AccessibleTextRole: {
    const QString text = CellText(*patch, index.column(), FActiveOnly);
    return index.column() == 0 ? text + ", " + StateText(*patch) : text;
  }
  case Qt::DecorationRole:
    return index.column() == 0 ? QVariant(StatePicture(patch->State())) : QVariant();
  case StateRole:
    return int(patch->State());
  default:
    return QVariant();
  }
}

QVariant TPatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
  switch (section) {
  case 0:
    return QStringLiteral("Patch");
  case 1:
    return QStringLiteral("Type");
  case 2:
    return FConflictCaption;
  }
  return QVariant();
}

Qt::ItemFlags TPatchListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

// PatchListDrawItem: one cell of a row. Only the name's text is highlighted, never the row.
void TPatchListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
  const QRect cell = option.rect;
  const QPalette& palette = option.palette;
  const QPalette::ColorGroup group =
      (option.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
  const QFontMetrics metrics(option.font);
  const QString text = index.data(Qt::DisplayRole).toString();

  painter->save();
  painter->setFont(option.font);
  painter->fillRect(cell, palette.brush(group, QPalette::Base));
  if (index.column() == 0) {
    int left = cell.left();
    const QPixmap picture = index.data(Qt::DecorationRole).value<QPixmap>();
    if (!picture.isNull()) {
      const QSize size = picture.deviceIndependentSize().toSize();
      painter->drawPixmap(left + 2, cell.top() + (cell.height() - size.height()) / 2, picture);
      left += size.width() + 2;
    }
    const QRect box(
        QPoint(left, cell.top()),
        QPoint(std::min(cell.right(), left + metrics.horizontalAdvance(text) + 8), cell.bottom()));
    const bool selected = option.state & QStyle::State_Selected;
    QColor textColour = palette.color(group, QPalette::Text);
    if (selected) {
      painter->fillRect(box, palette.brush(group, QPalette::Highlight));
      textColour = palette.color(group, QPalette::HighlightedText);
    }
    const QRect textRect =
        QRect(QPoint(left, cell.top()), cell.bottomRight()).adjusted(2, 2, -2, -2);
    painter->setPen(textColour);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(text, Qt::ElideRight, std::max(0, textRect.width())));
    if (selected) {
      QPen dots(textColour, 1, Qt::DotLine);
      painter->setPen(dots);
      painter->setBrush(Qt::NoBrush);
      painter->drawRect(box.adjusted(0, 0, -1, -1));
    }
  } else {
    const QRect textRect = cell.adjusted(5, 2, -6, -2);
    painter->setPen(palette.color(group, QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(text, Qt::ElideRight, std::max(0, textRect.width())));
  }
  painter->restore();
}

QSize TPatchListDelegate::sizeHint(const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  QSize size = QStyledItemDelegate::sizeHint(option, index);
  size.setHeight(std::max({size.height(), QFontMetrics(option.font).height() + 4, 18}));
  return size;
}

} // namespace dravik
