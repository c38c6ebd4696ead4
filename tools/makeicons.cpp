// dravik-make-icons: draws every picture of resources/icons/ (program icon, state pictures,
// tool-button pictures, repository category icons, the two games' .ico files).
//
// Run it once from the resources/ folder after changing a drawing and commit what it writes:
//   cd resources && ../build/tools/dravik-make-icons
// It writes into icons/ below the current folder (made when missing).

#include "platform/filestream.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace dravik;
using TDraw = std::function<void(QPainter&)>;

// Outline colour shared by the tool-button and category pictures.
const QColor kInk(0x2d, 0x33, 0x3d);

void MakeFolder(const std::string& winPath) {
  if (!winfs::DirectoryExists(winPath) && !winfs::CreateDir(winPath))
    throw Exception(Format("Cannot create folder %s: %s", winPath, winfs::LastErrorText()));
}

void WriteBytes(const std::string& winPath, const QByteArray& bytes) {
  WriteFileAtomically(winPath, bytes.constData(), bytes.size());
  std::printf("wrote %s (%lld bytes)\n", winPath.c_str(), static_cast<long long>(bytes.size()));
}

// Renders `draw`, which paints on a `unit` by `unit` canvas, into a `width` by `height` image.
// `background` transparent unless given.
QImage Render(const TDraw& draw, int width, int height, double unit,
              QColor background = Qt::transparent) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(background);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.translate((width - height) / 2.0, 0); // a square drawing centred in a wider picture
  p.scale(height / unit, height / unit);
  draw(p);
  p.end();
  return image.convertToFormat(QImage::Format_ARGB32);
}

QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

void PutLE16(QByteArray& b, int v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
void PutLE32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.append(char((v >> (8 * i)) & 0xFF));
}

// An .ico file with one 32-bit BMP entry (with its AND mask) per image, as every reader of the
// format knows it.
QByteArray Ico(const std::vector<QImage>& images) {
  QByteArray head, body;
  PutLE16(head, 0);
  PutLE16(head, 1);
  PutLE16(head, int(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  for (const QImage& img : images) {
    const int w = img.width(), h = img.height();
    const int maskStride = ((w + 31) / 32) * 4;
    QByteArray entry;
    PutLE32(entry, 40);
    PutLE32(entry, uint32_t(w));
    PutLE32(entry, uint32_t(h * 2));
    PutLE16(entry, 1);
    PutLE16(entry, 32);
    PutLE32(entry, 0);
    PutLE32(entry, uint32_t(w * h * 4 + maskStride * h));
    for (int i = 0; i < 4; ++i)
      PutLE32(entry, 0);
    for (int y = h - 1; y >= 0; --y)
      for (int x = 0; x < w; ++x) {
        QRgb c = img.pixel(x, y);
        entry.append(char(qBlue(c)));
        entry.append(char(qGreen(c)));
        entry.append(char(qRed(c)));
        entry.append(char(qAlpha(c)));
      }
    for (int y = h - 1; y >= 0; --y) {
      QByteArray row(maskStride, '\0');
      for (int x = 0; x < w; ++x)
        if (qAlpha(img.pixel(x, y)) < 128) row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
      entry.append(row);
    }
    head.append(char(w >= 256 ? 0 : w));
    head.append(char(h >= 256 ? 0 : h));
    head.append(char(0));
    head.append(char(0));
    PutLE16(head, 1);
    PutLE16(head, 32);
    PutLE32(head, uint32_t(entry.size()));
    PutLE32(head, offset);
    offset += uint32_t(entry.size());
    body.append(entry);
  }
  return head + body;
}

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

// ---- shared shapes (24-unit canvas) ----

// A page with a folded corner.
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

// A round badge with a plus, minus or cross.
enum TBadge { bPlus, bMinus, bCross };
void Badge(QPainter& p, QPointF c, double radius, QColor light, QColor dark, TBadge kind) {
  QRadialGradient g(c.x() - radius * 0.3, c.y() - radius * 0.4, radius * 1.4);
  g.setColorAt(0, light);
  g.setColorAt(1, dark);
  p.setPen(QPen(dark.darker(140), 1.0));
  p.setBrush(g);
  p.drawEllipse(c, radius, radius);
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

const QColor kGreenLight(0x8b, 0xe0, 0x6a), kGreen(0x2f, 0x9a, 0x2f);
const QColor kRedLight(0xff, 0x8a, 0x7a), kRed(0xc6, 0x28, 0x28);
const QColor kBlueLight(0x8c, 0xc4, 0xff), kBlue(0x1f, 0x62, 0xc4);
const QColor kAmberLight(0xff, 0xd8, 0x6b), kAmber(0xe0, 0x8a, 0x12);

// A sewn-on patch: the program's motif. Rounded square with a stitched border.
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

// ---- tool-button pictures ----

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

void InfoBadge(QPainter& p, QPointF c, double r) {
  QRadialGradient g(c.x() - r * 0.3, c.y() - r * 0.4, r * 1.4);
  g.setColorAt(0, kBlueLight);
  g.setColorAt(1, kBlue);
  p.setPen(QPen(kBlue.darker(140), 1.0));
  p.setBrush(g);
  p.drawEllipse(c, r, r);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(c.x(), c.y() - r * 0.48), r * 0.17, r * 0.17);
  p.drawRoundedRect(QRectF(c.x() - r * 0.15, c.y() - r * 0.18, r * 0.3, r * 0.68), 0.3, 0.3);
}

void DrawProperties(QPainter& p) {
  Page(p, QRectF(3.5, 2.5, 14, 18));
  PageLines(p, QRectF(6, 8, 8, 10), 4);
  InfoBadge(p, QPointF(17, 17), 5.5);
}

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

void DrawRefresh(QPainter& p) {
  ArcArrow(p, QPointF(12, 12), 7.5, 20, 160);
  ArcArrow(p, QPointF(12, 12), 7.5, 200, 160);
}

// A globe with meridians.
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

// ---- repository categories (24-unit canvas) ----

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

// ---- state pictures (16 by 16 and 32 by 32, on nothing) ----
// Each state has its own shape as well as its colour, and every one shows on light and dark
// lists alike: an empty ring, a green lamp with a check mark, a red lamp with a bar.

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

// ---- the program's icon (256-unit canvas) ----

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

// ---- the games' icons (32-unit canvas) ----

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

// Halvex: a crimson shield with a silver blade.
void DrawHalvex(QPainter& p) {
  QLinearGradient g(0, 2, 0, 30);
  g.setColorAt(0, QColor(0xe2, 0x4b, 0x3c));
  g.setColorAt(1, QColor(0x7a, 0x0f, 0x12));
  p.setPen(QPen(QColor(0x3a, 0x06, 0x08), 1.3));
  p.setBrush(g);
  p.drawPath(Shield());
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
  QLinearGradient g(0, 2, 0, 30);
  g.setColorAt(0, QColor(0x2f, 0xa6, 0xa0));
  g.setColorAt(1, QColor(0x0b, 0x3b, 0x4a));
  p.setPen(QPen(QColor(0x04, 0x1d, 0x25), 1.3));
  p.setBrush(g);
  p.drawPath(Shield());
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

struct TNamed {
  const char* Name;
  TDraw Draw;
};

void Run() {
  MakeFolder("icons");
  MakeFolder("icons\\toolbar");
  MakeFolder("icons\\category");

  WriteBytes("icons\\dravik.png", Png(Render(DrawProgram, 256, 256, 256)));

  const TNamed states[] = {
      {"inactive", DrawStateInactive}, {"active", DrawStateActive}, {"blocked", DrawStateBlocked}};
  for (const TNamed& s : states) {
    WriteBytes(std::string("icons\\state-") + s.Name + ".png", Png(Render(s.Draw, 16, 16, 16)));
    WriteBytes(std::string("icons\\state-") + s.Name + "@2x.png", Png(Render(s.Draw, 32, 32, 16)));
  }

  const TNamed tools[] = {{"add", DrawAdd},
                          {"remove", DrawRemove},
                          {"activate", DrawActivate},
                          {"launch", DrawLaunch},
                          {"properties", DrawProperties},
                          {"refresh", DrawRefresh},
                          {"repository", DrawRepository},
                          {"new", DrawNew},
                          {"open", DrawOpen},
                          {"save", DrawSave},
                          {"addfiles", DrawAddFiles},
                          {"delete", DrawDelete},
                          {"gobproperties", DrawGobProperties},
                          {"newdir", DrawNewDir},
                          {"abort", DrawAbort},
                          {"install", DrawInstall},
                          {"view", DrawView}};
  for (const TNamed& t : tools)
    WriteBytes(std::string("icons\\toolbar\\") + t.Name + ".png", Png(Render(t.Draw, 24, 24, 24)));

  const TNamed categories[] = {{"force", DrawForce},
                               {"item", DrawItem},
                               {"saber", DrawSaber},
                               {"skin", DrawSkin},
                               {"other", DrawOther}};
  for (const TNamed& c : categories)
    for (int size : {16, 32})
      WriteBytes(Format("icons\\category\\%s-%d.png", c.Name, size),
                 Png(Render(c.Draw, size, size, 24)));

  const TNamed games[] = {{"halvex", DrawHalvex}, {"morvane", DrawMorvane}};
  for (const TNamed& g : games) {
    std::vector<QImage> sizes;
    for (int size : {16, 32, 48})
      sizes.push_back(Render(g.Draw, size, size, 32));
    WriteBytes(std::string("icons\\") + g.Name + ".ico", Ico(sizes));
  }
}

} // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  try {
    Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "dravik-make-icons: %s\n", e.what());
    return 1;
  }
  return 0;
}
