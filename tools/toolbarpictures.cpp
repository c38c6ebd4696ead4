// The tool-button pictures (24-unit canvas).
#include "icondrawing.h"
#include "iconpictures.h"

#include <QRadialGradient>
#include <cmath>

namespace dravik::icons {

namespace {

// A circular arc from `startDeg` turning counter-clockwise by `spanDeg`, ending in an arrow head.
void ArcArrow(QPainter& p, QPointF c, double r, double startDeg, double spanDeg) {
  QRectF box(c.x() - r, c.y() - r, 2 * r, 2 * r);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(kBlue.darker(125), 3.6, Qt::SolidLine, Qt::FlatCap));
  p.drawArc(box, int(startDeg * 16), int((spanDeg - 12) * 16));
  p.setPen(QPen(kBlueLight, 1.6, Qt::SolidLine, Qt::FlatCap));
  p.drawArc(box, int((startDeg + 4) * 16), int((spanDeg - 16) * 16));
  const double a = (startDeg + spanDeg) * M_PI / 180;
  const QPointF end(c.x() + r * std::cos(a), c.y() - r * std::sin(a));
  const QPointF along(-std::sin(a), -std::cos(a)); // direction of travel on screen
  const QPointF across(std::cos(a), -std::sin(a));
  p.setPen(QPen(kBlue.darker(125), 0.9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(kBlue);
  p.drawPath(Outline(
      {end + along * 3.2, end - along * 2.2 + across * 3.6, end - along * 2.2 - across * 3.6}));
}

} // namespace

void DrawAdd(QPainter& p) {
  SewnPatch(p, QRectF(2.5, 3.5, 15, 15), kAmberLight, kAmber, 0.9);
  Badge(p, QPointF(17, 17), 5.5, kGreenLight, kGreen, bPlus);
}

void DrawRemove(QPainter& p) {
  SewnPatch(p, QRectF(2.5, 3.5, 15, 15), kAmberLight, kAmber, 0.9);
  Badge(p, QPointF(17, 17), 5.5, kRedLight, kRed, bMinus);
}

// A toggle switch, on.
void DrawActivate(QPainter& p) {
  QRectF track(2, 7, 20, 10);
  p.setPen(QPen(kGreen.darker(140), 1.0));
  p.setBrush(Vertical(7, 17, kGreenLight, kGreen));
  p.drawRoundedRect(track, 5, 5);
  QRadialGradient knob(15.5, 10, 6);
  knob.setColorAt(0, Qt::white);
  knob.setColorAt(1, QColor(0xd5, 0xda, 0xe2));
  p.setPen(Ink(1.0));
  p.setBrush(knob);
  p.drawEllipse(QPointF(17, 12), 4.2, 4.2);
  p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(6.5, 10), QPointF(6.5, 14));
}

void DrawLaunch(QPainter& p) {
  QRadialGradient g(9, 8, 14);
  g.setColorAt(0, kGreenLight);
  g.setColorAt(1, kGreen);
  p.setPen(QPen(kGreen.darker(150), 1.0));
  p.setBrush(g);
  p.drawEllipse(QPointF(12, 12), 9.5, 9.5);
  p.setPen(QPen(Qt::white, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::white);
  p.drawPath(Outline({QPointF(9.5, 7.2), QPointF(17.2, 12), QPointF(9.5, 16.8)}));
}

void DrawProperties(QPainter& p) {
  Page(p, QRectF(3.5, 2.5, 14, 18));
  PageLines(p, QRectF(6, 8, 8, 10), 4);
  InfoBadge(p, QPointF(17, 17), 5.5);
}

void DrawRefresh(QPainter& p) {
  ArcArrow(p, QPointF(12, 12), 7.5, 20, 160);
  ArcArrow(p, QPointF(12, 12), 7.5, 200, 160);
}

void DrawRepository(QPainter& p) {
  Globe(p, QPointF(10.5, 10.5), 8);
  SewnPatch(p, QRectF(12.5, 12.5, 10, 10), kAmberLight, kAmber, 0.8);
}

void DrawNew(QPainter& p) {
  Page(p, QRectF(4.5, 2.5, 15, 19));
  // A spark at the top left: a new, empty archive.
  std::vector<QPointF> star;
  const QPointF c(6, 6);
  for (int i = 0; i < 8; ++i) {
    double a = i * M_PI / 4;
    double r = (i % 2) ? 1.6 : 4.6;
    star.emplace_back(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
  }
  p.setPen(QPen(kAmber.darker(130), 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xff, 0xe0, 0x5a));
  p.drawPath(Outline(star));
}

void DrawOpen(QPainter& p) {
  Folder(p, QRectF(2, 4, 19, 16), true);
}

// A floppy disk.
void DrawSave(QPainter& p) {
  p.setPen(Ink(1.0));
  p.setBrush(Vertical(3, 21, QColor(0x5b, 0x8d, 0xd8), QColor(0x22, 0x4c, 0x93)));
  p.drawPath(
      Outline({QPointF(3, 3), QPointF(18, 3), QPointF(21, 6), QPointF(21, 21), QPointF(3, 21)}));
  p.setBrush(QColor(0xe8, 0xec, 0xf2));
  p.drawRect(QRectF(6.5, 3.5, 10, 6.5));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2d, 0x33, 0x3d));
  p.drawRect(QRectF(13, 4.5, 2.2, 4.5));
  p.setPen(Ink(1.0));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(6, 13, 12, 8), 1, 1);
  PageLines(p, QRectF(8, 15.5, 8, 4), 2);
}

void DrawAddFiles(QPainter& p) {
  Page(p, QRectF(3.5, 2.5, 14, 18));
  PageLines(p, QRectF(6, 8, 8, 10), 4);
  Badge(p, QPointF(17, 17), 5.5, kGreenLight, kGreen, bPlus);
}

void DrawDelete(QPainter& p) {
  Page(p, QRectF(3.5, 2.5, 14, 18));
  PageLines(p, QRectF(6, 8, 8, 10), 4);
  Badge(p, QPointF(17, 17), 5.5, kRedLight, kRed, bCross);
}

void DrawGobProperties(QPainter& p) {
  SewnPatch(p, QRectF(2.5, 2.5, 16, 16), kAmberLight, kAmber, 0.9);
  InfoBadge(p, QPointF(17, 17), 5.5);
}

void DrawNewDir(QPainter& p) {
  Folder(p, QRectF(2, 3, 18, 15), false);
  Badge(p, QPointF(17.5, 17.5), 5, kGreenLight, kGreen, bPlus);
}

// A stop sign.
void DrawAbort(QPainter& p) {
  std::vector<QPointF> oct;
  for (int i = 0; i < 8; ++i) {
    double a = (22.5 + i * 45) * M_PI / 180;
    oct.emplace_back(12 + 9.5 * std::cos(a), 12 + 9.5 * std::sin(a));
  }
  p.setPen(QPen(kRed.darker(150), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Vertical(2, 22, kRedLight, kRed));
  p.drawPath(Outline(oct));
  p.setPen(QPen(Qt::white, 2.8, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(8.2, 8.2), QPointF(15.8, 15.8));
  p.drawLine(QPointF(15.8, 8.2), QPointF(8.2, 15.8));
}

// An arrow down into a tray.
void DrawInstall(QPainter& p) {
  p.setPen(Ink(1.0));
  p.setBrush(Vertical(14, 21.5, QColor(0xd5, 0xdb, 0xe4), QColor(0x9a, 0xa5, 0xb5)));
  p.drawPath(
      Outline({QPointF(2.5, 14), QPointF(6, 14), QPointF(8, 17), QPointF(16, 17), QPointF(18, 14),
               QPointF(21.5, 14), QPointF(21.5, 21.5), QPointF(2.5, 21.5)}));
  p.setPen(QPen(kGreen.darker(150), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Vertical(2, 16, kGreenLight, kGreen));
  p.drawPath(Outline({QPointF(9.5, 2), QPointF(14.5, 2), QPointF(14.5, 9), QPointF(18.5, 9),
                      QPointF(12, 16), QPointF(5.5, 9), QPointF(9.5, 9)}));
}

// Large icons beside a details list: the view styles.
void DrawView(QPainter& p) {
  p.setPen(Ink(0.9));
  QLinearGradient g = Vertical(3, 21, kBlueLight, kBlue);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(2.5, 3.5, 7.5, 7.5), 1.2, 1.2);
  p.drawRoundedRect(QRectF(2.5, 13, 7.5, 7.5), 1.2, 1.2);
  p.setBrush(Vertical(3, 21, kAmberLight, kAmber));
  for (int i = 0; i < 4; ++i)
    p.drawRoundedRect(QRectF(12.5, 3.5 + i * 4.5, 9, 3), 0.8, 0.8);
}

} // namespace dravik::icons
