#include "dirtree.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

namespace dravik {

namespace {

// Draws the outline of the directory under a drag from another program, and hands committed
// caption edits to the tree's handler.
class TDirTreeDelegate : public QStyledItemDelegate {
public:
  explicit TDirTreeDelegate(TDirTree* tree) : QStyledItemDelegate(tree), FTree(tree) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const QTreeWidgetItem* outlined = FTree->Outlined ? FTree->Outlined() : nullptr;
    if (!outlined || FTree->ItemFromIndex(index) != outlined) return;
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
    auto* edit = qobject_cast<QLineEdit*>(editor);
    if (edit && FTree->OnCaptionEdited)
      FTree->OnCaptionEdited(FTree->ItemFromIndex(index), edit->text());
  }

private:
  TDirTree* FTree;
};

} // namespace

TDirTree::TDirTree(QWidget* parent) : QTreeWidget(parent) {
  setItemDelegate(new TDirTreeDelegate(this));
}

QAction* TDirTree::MenuItemFor(QKeyEvent* e) const {
  const QKeySequence key(e->keyCombination());
  for (QAction* a : FMenuItems)
    if (a->shortcut() == key) return a;
  return nullptr;
}

bool TDirTree::event(QEvent* e) {
  if (e->type() == QEvent::ShortcutOverride && MenuItemFor(static_cast<QKeyEvent*>(e))) {
    e->accept(); // delivered as a key press below instead of the window's shortcut
    return true;
  }
  return QTreeWidget::event(e);
}

void TDirTree::keyPressEvent(QKeyEvent* e) {
  if (QAction* a = MenuItemFor(e)) {
    if (a->isEnabled()) a->trigger();
    e->accept();
    return;
  }
  QTreeWidget::keyPressEvent(e);
}

bool TDirTree::FromRowSource(const QDropEvent* e) const {
  return FRowSource && e->source() == FRowSource;
}

void TDirTree::dragEnterEvent(QDragEnterEvent* e) {
  if (!FromRowSource(e)) return e->ignore();
  e->setDropAction(Qt::MoveAction);
  e->accept();
}

void TDirTree::dragMoveEvent(QDragMoveEvent* e) {
  if (!FromRowSource(e) || !OnRowsOver || !OnRowsOver(itemAt(e->position().toPoint())))
    return e->ignore();
  e->setDropAction(Qt::MoveAction);
  e->accept();
}

void TDirTree::dropEvent(QDropEvent* e) {
  if (!FromRowSource(e)) return e->ignore();
  if (OnRowsDropped) OnRowsDropped(itemAt(e->position().toPoint()));
  e->setDropAction(Qt::MoveAction);
  e->accept();
}

} // namespace dravik
