// The drawing primitives of Dravik's pictures: the palette, pens and gradients, and the shapes
// several pictures share (pages, badges, the sewn patch, folders, the globe). The shapes draw
// on a 24-unit canvas (QPainter already scaled).
#pragma once

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <vector>

namespace dravik::icons {

// Outline colour shared by the tool-button and category pictures.
inline const QColor kInk(0x2d, 0x33, 0x3d);
inline const QColor kGreenLight(0x8b, 0xe0, 0x6a), kGreen(0x2f, 0x9a, 0x2f);
inline const QColor kRedLight(0xff, 0x8a, 0x7a), kRed(0xc6, 0x28, 0x28);
inline const QColor kBlueLight(0x8c, 0xc4, 0xff), kBlue(0x1f, 0x62, 0xc4);
inline const QColor kAmberLight(0xff, 0xd8, 0x6b), kAmber(0xe0, 0x8a, 0x12);

// The outline pen: kInk, round caps and joins.
QPen Ink(double width);
// A gradient from `light` at `top` to `dark` at `bottom`.
QLinearGradient Vertical(double top, double bottom, QColor light, QColor dark);
// A closed outline through `corners`, in order.
QPainterPath Outline(const std::vector<QPointF>& corners);

// A page with a folded corner.
void Page(QPainter& p, QRectF r);
// Text lines on a page.
void PageLines(QPainter& p, QRectF r, int count);
// A round badge with a plus, minus or cross.
enum TBadge { bPlus, bMinus, bCross };
void Badge(QPainter& p, QPointF c, double radius, QColor light, QColor dark, TBadge kind);
// A round blue badge with an "i".
void InfoBadge(QPainter& p, QPointF c, double r);
// A sewn-on patch: the program's motif. Rounded square with a stitched border.
void SewnPatch(QPainter& p, QRectF r, QColor light, QColor dark, double stitch);
// A folder, closed or open.
void Folder(QPainter& p, QRectF r, bool open);
// A globe with meridians.
void Globe(QPainter& p, QPointF c, double r);

} // namespace dravik::icons
