// The program's icon (256-unit canvas) and the games' icons (32-unit canvas).
#include "icondrawing.h"
#include "iconpictures.h"

#include <QRadialGradient>
#include <cmath>

namespace dravik::icons {

namespace {

QPainterPath Shield() {
  QPainterPath s;
  s.moveTo(16, 1.5);
  s.cubicTo(21, 4, 25, 4.5, 29, 4.5);
  s.cubicTo(29, 17, 25, 25, 16, 30.5);
  s.cubicTo(7, 25, 3, 17, 3, 4.5);
  s.cubicTo(7, 4.5, 11, 4, 16, 1.5);
  s.closeSubpath();
  return s;
}

// The shield of a game's picture: filled from `light` at the top to `dark` at the point.
void ShieldBody(QPainter& p, QColor light, QColor dark, QColor edge) {
  p.setPen(QPen(edge, 1.3));
  p.setBrush(Vertical(2, 30, light, dark));
  p.drawPath(Shield());
}

} // namespace

void DrawProgram(QPainter& p) {
  QRectF tile(12, 12, 232, 232);
  QLinearGradient bg(0, 12, 0, 244);
  bg.setColorAt(0, QColor(0x3b, 0x4f, 0x8c));
  bg.setColorAt(1, QColor(0x16, 0x1f, 0x3d));
  p.setPen(QPen(QColor(0x10, 0x16, 0x2c), 4));
  p.setBrush(bg);
  p.drawRoundedRect(tile, 44, 44);
  // A soft light at the top.
  QRadialGradient shine(128, 40, 150);
  shine.setColorAt(0, QColor(255, 255, 255, 60));
  shine.setColorAt(1, QColor(255, 255, 255, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(shine);
  p.drawRoundedRect(tile.adjusted(3, 3, -3, -3), 42, 42);

  // Two patches, the back one dimmed, the front one sewn on.
  p.save();
  p.translate(128, 122);
  p.rotate(10);
  SewnPatch(p, QRectF(-62, -84, 118, 118), QColor(0x9a, 0xa7, 0xc4), QColor(0x55, 0x62, 0x82), 6.0);
  p.restore();
  p.save();
  p.translate(128, 138);
  p.rotate(-8);
  QPen seam(QColor(0xff, 0xf6, 0xe0), 7, Qt::CustomDashLine, Qt::RoundCap);
  SewnPatch(p, QRectF(-74, -70, 140, 140), QColor(0xff, 0xc8, 0x4a), QColor(0xe2, 0x6a, 0x14), 7);
  // A stylised blade across the front patch: the game's patches.
  p.setPen(QPen(QColor(0x7f, 0xd8, 0xff, 120), 22, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(-36, 30), QPointF(30, -36));
  p.setPen(QPen(QColor(0xf2, 0xfb, 0xff), 9, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(-36, 30), QPointF(30, -36));
  p.setPen(QPen(QColor(0x2d, 0x33, 0x3d), 4, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Vertical(-10, 10, QColor(0xe4, 0xe7, 0xeb), QColor(0x6b, 0x74, 0x80)));
  p.save();
  p.translate(-44, 38);
  p.rotate(-45);
  p.drawRoundedRect(QRectF(-16, -7, 32, 14), 4, 4);
  p.restore();
  p.restore();

  // The active lamp.
  QRadialGradient lamp(188, 186, 40);
  lamp.setColorAt(0, QColor(0xd6, 0xff, 0xbd));
  lamp.setColorAt(1, QColor(0x1f, 0x8f, 0x1a));
  p.setPen(QPen(QColor(0xff, 0xff, 0xff), 8));
  p.setBrush(lamp);
  p.drawEllipse(QPointF(196, 196), 30, 30);
}

// Halvex: a crimson shield with a silver blade.
void DrawHalvex(QPainter& p) {
  ShieldBody(p, QColor(0xe2, 0x4b, 0x3c), QColor(0x7a, 0x0f, 0x12), QColor(0x3a, 0x06, 0x08));
  p.setPen(QPen(QColor(0xf4, 0xd3, 0x6b), 1.1));
  p.setBrush(Qt::NoBrush);
  p.save();
  p.translate(16, 16);
  p.scale(0.78, 0.78);
  p.translate(-16, -16);
  p.drawPath(Shield());
  p.restore();
  // The blade.
  p.setPen(QPen(QColor(0x3a, 0x06, 0x08), 0.8));
  p.setBrush(Vertical(6, 26, QColor(0xff, 0xff, 0xff), QColor(0xb9, 0xc2, 0xcc)));
  p.drawPath(
      Outline({QPointF(16, 5), QPointF(18, 9), QPointF(18, 21), QPointF(14, 21), QPointF(14, 9)}));
  p.setBrush(QColor(0xf4, 0xd3, 0x6b));
  p.drawRoundedRect(QRectF(9.5, 20.5, 13, 2.6), 1, 1);
  p.drawRoundedRect(QRectF(14.6, 23, 2.8, 4), 0.8, 0.8);
}

// Morvane: a dark teal shield with a silver crescent and a star.
void DrawMorvane(QPainter& p) {
  ShieldBody(p, QColor(0x2f, 0xa6, 0xa0), QColor(0x0b, 0x3b, 0x4a), QColor(0x04, 0x1d, 0x25));
  QPainterPath moon;
  moon.addEllipse(QPointF(15, 15), 8, 8);
  QPainterPath bite;
  bite.addEllipse(QPointF(18.5, 12.5), 6.8, 6.8);
  p.setPen(QPen(QColor(0x04, 0x1d, 0x25), 0.8));
  p.setBrush(Vertical(7, 23, QColor(0xff, 0xff, 0xff), QColor(0xb9, 0xc8, 0xd4)));
  p.drawPath(moon.subtracted(bite));
  std::vector<QPointF> star;
  const QPointF c(21, 19);
  for (int i = 0; i < 10; ++i) {
    double a = -M_PI / 2 + i * M_PI / 5;
    double r = (i % 2) ? 1.3 : 3.2;
    star.emplace_back(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf4, 0xd3, 0x6b));
  p.drawPath(Outline(star));
}

} // namespace dravik::icons
