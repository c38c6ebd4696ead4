// The repository category pictures (24-unit canvas) and the patch list's state pictures
// (16 by 16 and 32 by 32, on nothing).
#include "icondrawing.h"
#include "iconpictures.h"

#include <QFont>
#include <QPainterPath>
#include <QRadialGradient>

namespace dravik::icons {

namespace {

void Lamp(QPainter& p, QColor light, QColor dark) {
  QRadialGradient g(6.2, 5.6, 8.5);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setPen(QPen(dark.darker(160), 1.0));
  p.setBrush(g);
  p.drawEllipse(QPointF(8, 8), 6.5, 6.5);
}

// A white mark on a lamp, with a dark edge so that it stands out from the lamp's light part.
void Mark(QPainter& p, const QPainterPath& mark, QColor edge) {
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(edge, 3.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(mark);
  p.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawPath(mark);
}

} // namespace

// The Force: a glowing orb with rings of energy.
void DrawForce(QPainter& p) {
  QRadialGradient g(12, 12, 11);
  g.setColorAt(0, QColor(0xf3, 0xe6, 0xff));
  g.setColorAt(0.35, QColor(0xb2, 0x7c, 0xf2));
  g.setColorAt(1, QColor(0x4c, 0x1f, 0x8a));
  p.setPen(QPen(QColor(0x3a, 0x17, 0x6b), 1.0));
  p.setBrush(g);
  p.drawEllipse(QPointF(12, 12), 10.5, 10.5);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 210), 1.3, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRectF(5, 5, 14, 14), 30 * 16, 120 * 16);
  p.drawArc(QRectF(5, 5, 14, 14), 210 * 16, 120 * 16);
  p.drawArc(QRectF(8.5, 8.5, 7, 7), 120 * 16, 150 * 16);
}

// An item: a supply crate.
void DrawItem(QPainter& p) {
  p.setPen(Ink(1.0));
  p.setBrush(Vertical(4, 21, QColor(0xe3, 0xb0, 0x6c), QColor(0xa8, 0x6a, 0x2a)));
  p.drawRoundedRect(QRectF(3, 5, 18, 16), 1.5, 1.5);
  p.setPen(QPen(QColor(0x7a, 0x4a, 0x1a), 1.2));
  p.drawLine(QPointF(3.5, 10), QPointF(20.5, 10));
  p.drawLine(QPointF(3.5, 16), QPointF(20.5, 16));
  p.setPen(Ink(1.0));
  p.setBrush(QColor(0xe8, 0x3b, 0x3b));
  p.drawRoundedRect(QRectF(9.5, 11, 5, 4), 0.8, 0.8);
  p.setPen(QPen(Qt::white, 1.0));
  p.drawLine(QPointF(12, 11.7), QPointF(12, 14.3));
  p.drawLine(QPointF(10.7, 13), QPointF(13.3, 13));
}

// A saber: a glowing blade on a hilt, diagonal.
void DrawSaber(QPainter& p) {
  p.save();
  p.translate(12, 12);
  p.rotate(-45);
  QPen glow(QColor(0x5c, 0xc8, 0xff, 110), 5.5, Qt::SolidLine, Qt::RoundCap);
  p.setPen(glow);
  p.drawLine(QPointF(-3, 0), QPointF(11, 0));
  p.setPen(QPen(QColor(0xe8, 0xf8, 0xff), 2.2, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(-3, 0), QPointF(11, 0));
  p.setPen(Ink(0.9));
  p.setBrush(Vertical(-2, 2, QColor(0xe4, 0xe7, 0xeb), QColor(0x7b, 0x84, 0x90)));
  p.drawRoundedRect(QRectF(-12, -2, 9.5, 4), 1, 1);
  p.setBrush(QColor(0x2d, 0x33, 0x3d));
  p.drawRect(QRectF(-9.5, -2.2, 1.4, 4.4));
  p.drawRect(QRectF(-6.5, -2.2, 1.4, 4.4));
  p.restore();
}

// A skin: head and shoulders.
void DrawSkin(QPainter& p) {
  p.setPen(Ink(1.0));
  p.setBrush(Vertical(13, 22, QColor(0x6f, 0xa8, 0x5d), QColor(0x35, 0x6b, 0x2d)));
  QPainterPath body;
  body.moveTo(3, 22);
  body.cubicTo(3, 15, 7, 13.5, 12, 13.5);
  body.cubicTo(17, 13.5, 21, 15, 21, 22);
  body.closeSubpath();
  p.drawPath(body);
  p.setBrush(Vertical(3, 13, QColor(0xff, 0xdc, 0xb8), QColor(0xe0, 0xa7, 0x78)));
  p.drawEllipse(QPointF(12, 8), 4.8, 5.2);
  p.setBrush(QColor(0x5a, 0x3a, 0x24));
  QPainterPath hair;
  hair.moveTo(7.2, 7.5);
  hair.cubicTo(7, 2.5, 17, 2.5, 16.8, 7.5);
  hair.cubicTo(14, 5.5, 10, 5.5, 7.2, 7.5);
  hair.closeSubpath();
  p.drawPath(hair);
}

// Anything else: a grey patch with a question mark.
void DrawOther(QPainter& p) {
  SewnPatch(p, QRectF(2.5, 2.5, 19, 19), QColor(0xd8, 0xdd, 0xe4), QColor(0x84, 0x8e, 0x9c), 1.0);
  QFont f("DejaVu Sans");
  f.setBold(true);
  f.setPixelSize(13);
  p.setFont(f);
  p.setPen(Qt::white);
  p.drawText(QRectF(2.5, 2.5, 19, 19), Qt::AlignCenter, "?");
}

// Each state has its own shape as well as its colour, and every one shows on light and dark
// lists alike: an empty ring, a green lamp with a check mark, a red lamp with a bar.

// Switched off: an empty ring, a grey between light and dark lists.
void DrawStateInactive(QPainter& p) {
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(0x8d, 0x96, 0xa1), 2.6));
  p.drawEllipse(QPointF(8, 8), 5.4, 5.4);
}

void DrawStateActive(QPainter& p) {
  Lamp(p, QColor(0xc6, 0xff, 0xa8), QColor(0x23, 0x9a, 0x1d));
  QPainterPath check;
  check.moveTo(4.9, 8.3);
  check.lineTo(7.1, 10.6);
  check.lineTo(11.2, 5.6);
  Mark(p, check, QColor(0x14, 0x5c, 0x11));
}

// Blocked by an active conflicting patch: a red lamp with a bar.
void DrawStateBlocked(QPainter& p) {
  Lamp(p, QColor(0xff, 0xb0, 0x9e), QColor(0xc4, 0x22, 0x1b));
  QPainterPath bar;
  bar.moveTo(4.8, 8);
  bar.lineTo(11.2, 8);
  Mark(p, bar, QColor(0x7a, 0x12, 0x0e));
}

} // namespace dravik::icons
