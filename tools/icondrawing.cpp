#include "icondrawing.h"

#include <QRadialGradient>

namespace dravik::icons {

QPen Ink(double width) {
  return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient Vertical(double top, double bottom, QColor light, QColor dark) {
  QLinearGradient g(0, top, 0, bottom);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  return g;
}

// A closed outline through `corners`, in order.
QPainterPath Outline(const std::vector<QPointF>& corners) {
  QPainterPath path;
  path.moveTo(corners.front());
  for (size_t i = 1; i < corners.size(); ++i)
    path.lineTo(corners[i]);
  path.closeSubpath();
  return path;
}

void Page(QPainter& p, QRectF r) {
  const double fold = r.width() * 0.32;
  p.setPen(Ink(1.0));
  p.setBrush(Vertical(r.top(), r.bottom(), QColor(0xff, 0xff, 0xff), QColor(0xdf, 0xe4, 0xec)));
  p.drawPath(Outline({r.topLeft(), QPointF(r.right() - fold, r.top()),
                      QPointF(r.right(), r.top() + fold), r.bottomRight(), r.bottomLeft()}));
  QPainterPath corner;
  corner.moveTo(r.right() - fold, r.top());
  corner.lineTo(r.right() - fold, r.top() + fold);
  corner.lineTo(r.right(), r.top() + fold);
  p.setBrush(QColor(0xc6, 0xcd, 0xd8));
  p.drawPath(corner);
}

// Text lines on a page.
void PageLines(QPainter& p, QRectF r, int count) {
  p.setPen(QPen(QColor(0x8a, 0x94, 0xa6), 1.0, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < count; ++i) {
    double y = r.top() + 0.5 + i * 2.5;
    double right = r.right() - (i % 2 ? 2.0 : 0.0);
    p.drawLine(QPointF(r.left(), y), QPointF(right, y));
  }
}

namespace {

// The round body of a badge, lit from its upper left.
void BadgeDisc(QPainter& p, QPointF c, double r, QColor light, QColor dark) {
  QRadialGradient g(c.x() - r * 0.3, c.y() - r * 0.4, r * 1.4);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setPen(QPen(dark.darker(140), 1.0));
  p.setBrush(g);
  p.drawEllipse(c, r, r);
}

} // namespace

void Badge(QPainter& p, QPointF c, double radius, QColor light, QColor dark, TBadge kind) {
  BadgeDisc(p, c, radius, light, dark);
  p.setPen(QPen(Qt::white, radius * 0.42, Qt::SolidLine, Qt::RoundCap));
  const double a = radius * 0.5;
  if (kind == bCross) {
    p.drawLine(QPointF(c.x() - a, c.y() - a), QPointF(c.x() + a, c.y() + a));
    p.drawLine(QPointF(c.x() + a, c.y() - a), QPointF(c.x() - a, c.y() + a));
    return;
  }
  p.drawLine(QPointF(c.x() - a * 1.2, c.y()), QPointF(c.x() + a * 1.2, c.y()));
  if (kind == bPlus) p.drawLine(QPointF(c.x(), c.y() - a * 1.2), QPointF(c.x(), c.y() + a * 1.2));
}

void InfoBadge(QPainter& p, QPointF c, double r) {
  BadgeDisc(p, c, r, kBlueLight, kBlue);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(c.x(), c.y() - r * 0.48), r * 0.17, r * 0.17);
  p.drawRoundedRect(QRectF(c.x() - r * 0.15, c.y() - r * 0.18, r * 0.3, r * 0.68), 0.3, 0.3);
}

void SewnPatch(QPainter& p, QRectF r, QColor light, QColor dark, double stitch) {
  const double radius = r.width() * 0.16;
  p.setPen(QPen(dark.darker(150), stitch * 0.9));
  QLinearGradient g(r.topLeft(), r.bottomRight());
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setBrush(g);
  p.drawRoundedRect(r, radius, radius);
  QPen seam(QColor(0xff, 0xf6, 0xe0), stitch, Qt::CustomDashLine, Qt::RoundCap);
  seam.setDashPattern({1.6, 1.8});
  p.setPen(seam);
  p.setBrush(Qt::NoBrush);
  const double in = r.width() * 0.12;
  QRectF inner = r.adjusted(in, in, -in, -in);
  p.drawRoundedRect(inner, radius * 0.6, radius * 0.6);
}

void Folder(QPainter& p, QRectF r, bool open) {
  p.setPen(Ink(1.0));
  p.setBrush(QColor(0xd9, 0x9a, 0x2b));
  p.drawPath(
      Outline({QPointF(r.left(), r.top() + 2), QPointF(r.left() + r.width() * 0.38, r.top() + 2),
               QPointF(r.left() + r.width() * 0.48, r.top() + 4), QPointF(r.right(), r.top() + 4),
               r.bottomRight(), r.bottomLeft()}));
  p.setBrush(Vertical(r.top() + 6, r.bottom(), kAmberLight, kAmber));
  if (open)
    p.drawPath(Outline({QPointF(r.left() + 3, r.top() + 8), QPointF(r.right() + 1.5, r.top() + 8),
                        QPointF(r.right() - 1.5, r.bottom()), r.bottomLeft()}));
  else
    p.drawPath(Outline({QPointF(r.left(), r.top() + 6.5), QPointF(r.right(), r.top() + 6.5),
                        r.bottomRight(), r.bottomLeft()}));
}

void Globe(QPainter& p, QPointF c, double r) {
  QRadialGradient g(c.x() - r * 0.35, c.y() - r * 0.4, r * 1.5);
  g.setColorAt(0, kBlueLight);
  g.setColorAt(1, kBlue);
  p.setPen(QPen(kBlue.darker(150), 1.0));
  p.setBrush(g);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(QColor(255, 255, 255, 200), 0.9));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(c, r * 0.45, r);
  p.drawLine(QPointF(c.x(), c.y() - r), QPointF(c.x(), c.y() + r));
  p.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
  p.drawLine(QPointF(c.x() - r * 0.86, c.y() - r * 0.5),
             QPointF(c.x() + r * 0.86, c.y() - r * 0.5));
  p.drawLine(QPointF(c.x() - r * 0.86, c.y() + r * 0.5),
             QPointF(c.x() + r * 0.86, c.y() + r * 0.5));
}

} // namespace dravik::icons
