// The patch list of the main window: a model that holds no rows of its own (row i is patch i of
// the current patch list, read when the view asks) and a delegate that draws a row as the list
// shows it: the state picture, the name with only its text highlighted when selected, and the
// type and conflict columns, each cut with an ellipsis when too long.
#pragma once

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <functional>

namespace dravik {

class TPatchList;

class TPatchListModel : public QAbstractTableModel {
  Q_OBJECT

public:
  // State of a row's patch (TPatchState) under this role.
  static constexpr int StateRole = Qt::UserRole + 1;

  // `source` gives the current patch list (null when there is none); called on every read.
  explicit TPatchListModel(std::function<TPatchList*()> source, QObject* parent = nullptr);

  // The row count the view shows; the rows keep their selection when it does not change.
  void SetRowCount(int count);
  // Every row is read again.
  void Repaint();
  // Conflict column: only active conflicts, or all of them; and its caption.
  void SetActiveConflictsOnly(bool on, const QString& caption);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
  std::function<TPatchList*()> FSource;
  int FRowCount = 0;
  bool FActiveOnly = true;
  QString FConflictCaption = QStringLiteral("Conflicts With");
};

class TPatchListDelegate : public QStyledItemDelegate {
  Q_OBJECT

public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

} // namespace dravik
