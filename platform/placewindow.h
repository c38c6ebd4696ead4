// Where windows go on the screen: each one fits the screen's usable area, shrunk first and then
// placed, so that its title bar and menus can be reached whatever the screen's size and scale.
// User-interface thread only.
#pragma once

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace dravik {

// The frame of a window that wants a frame of `wanted`, centred in `area` (a screen's usable
// part): shrunk to the area, though never below `least`, then centred. A frame that is still
// larger than the area has its top-left corner at the area's.
QRect CentredFrame(QSize wanted, QSize least, const QRect& area);

// What a top-level window's frame adds around its client area: the window's own frame once it
// has one, else that of another framed window of the program, else an estimate from the
// window's style.
QMargins FrameMargins(const QWidget* window);

// The least size of a top-level window's frame: the least its client area can be drawn at,
// with the frame's margins (FrameMargins).
QSize LeastFrameSize(const QWidget* window);

// Moves the top-level `window` so that its frame's top-left corner is at `framePos`, also
// before its frame is there: Qt places a window made but not yet framed by its client area.
void MoveFrame(QWidget* window, QPoint framePos);

// Gives the top-level `window` a client area of `size` (smaller where its screen is) and centres
// its frame on the screen's usable area.
void CentreOnScreen(QWidget* window, QSize size);

} // namespace dravik
