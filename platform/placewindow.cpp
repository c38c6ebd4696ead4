#include "placewindow.h"

#include <QApplication>
#include <QScreen>
#include <QStyle>
#include <QWidget>
#include <algorithm>

namespace dravik {

namespace {

// One side's size: no larger than the area's, no smaller than the least.
int Fit(int wanted, int least, int room) {
  return std::max(std::min(wanted, room), least);
}

// One side's start: inside [start, start + room), as near `wanted` as the size allows.
int Place(int wanted, int size, int start, int room) {
  if (size >= room) return start;
  return std::clamp(wanted, start, start + room - size);
}

QScreen* ScreenOf(const QWidget* window) {
  QScreen* screen = window->screen();
  return screen ? screen : QGuiApplication::primaryScreen();
}

QMargins MarginsOf(const QWidget* window) {
  const QRect frame = window->frameGeometry(), client = window->geometry();
  return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                  frame.right() - client.right(), frame.bottom() - client.bottom());
}

// What the frame adds to a window's size.
QSize Extra(const QMargins& margins) {
  return QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

// The least client size the window can be drawn at.
QSize LeastClient(const QWidget* window) {
  return window->minimumSizeHint().expandedTo(window->minimumSize());
}

} // namespace

QRect CentredFrame(QSize wanted, QSize least, const QRect& area) {
  const int width = Fit(wanted.width(), least.width(), area.width());
  const int height = Fit(wanted.height(), least.height(), area.height());
  return QRect(Place(area.left() + (area.width() - width) / 2, width, area.left(), area.width()),
               Place(area.top() + (area.height() - height) / 2, height, area.top(), area.height()),
               width, height);
}

QMargins FrameMargins(const QWidget* window) {
  if (window->isVisible() && !MarginsOf(window).isNull()) return MarginsOf(window);
  // Before it is shown a window has no frame yet: the desktop draws the same kind of frame
  // round every window of the program.
  for (const QWidget* other : QApplication::topLevelWidgets())
    if (other != window && other->isVisible() && other->isWindow() &&
        !(other->windowFlags() & Qt::FramelessWindowHint) && !MarginsOf(other).isNull())
      return MarginsOf(other);
  const int border = window->style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
  return QMargins(border, window->style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border,
                  border);
}

QSize LeastFrameSize(const QWidget* window) {
  return LeastClient(window) + Extra(FrameMargins(window));
}

void CentreOnScreen(QWidget* window, QSize size) {
  QScreen* screen = ScreenOf(window);
  if (!screen) {
    window->resize(size);
    return;
  }
  const QSize extra = Extra(FrameMargins(window));
  const QSize least = LeastClient(window) + extra;
  const QRect frame = CentredFrame(size + extra, least, screen->availableGeometry());
  window->resize(frame.size() - extra);
  MoveFrame(window, frame.topLeft());
}

void MoveFrame(QWidget* window, QPoint framePos) {
  const bool unframed =
      window->testAttribute(Qt::WA_WState_Created) && window->frameGeometry() == window->geometry();
  if (!unframed) {
    window->move(framePos);
    return;
  }
  const QMargins margins = FrameMargins(window);
  window->move(framePos + QPoint(margins.left(), margins.top()));
}

} // namespace dravik
