// Drives a drag from another program over a widget, as the platform delivers it: enter,
// moves, then a drop or a leave. Shared by the tests of the drop component and of the windows
// that take drops.
#pragma once

#include <QApplication>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QWidget>
#include <utility>

namespace dravik::test {

class TDrag {
public:
  TDrag(QWidget* target, QMimeData* mime,
        Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
      : FTarget(target), FMime(mime), FActions(actions) {}

  // Each returns (accepted, drop action) of the answer.
  std::pair<bool, Qt::DropAction> Enter(QPoint pos = {5, 5}) {
    QDragEnterEvent e(pos, FActions, FMime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FTarget, &e);
    return {e.isAccepted(), e.dropAction()};
  }
  std::pair<bool, Qt::DropAction> Move(QPoint pos = {6, 6},
                                       Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QDragMoveEvent e(pos, FActions, FMime, Qt::LeftButton, mods);
    QApplication::sendEvent(FTarget, &e);
    return {e.isAccepted(), e.dropAction()};
  }
  void Leave() {
    QDragLeaveEvent e;
    QApplication::sendEvent(FTarget, &e);
  }
  std::pair<bool, Qt::DropAction> Drop(QPoint pos = {6, 6}) {
    QDropEvent e(pos, FActions, FMime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(FTarget, &e);
    return {e.isAccepted(), e.dropAction()};
  }

private:
  QWidget* FTarget;
  QMimeData* FMime;
  Qt::DropActions FActions;
};

} // namespace dravik::test
