#include "iconfiles.h"

#include "platform/filestream.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QBuffer>
#include <cstdio>

namespace dravik::icons {

namespace {

void PutLE16(QByteArray& b, int v) {
  b.append(char(v & 0xFF));
  b.append(char((v >> 8) & 0xFF));
}
void PutLE32(QByteArray& b, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b.append(char((v >> (8 * i)) & 0xFF));
}

} // namespace

void MakeFolder(const std::string& winPath) {
  if (!winfs::DirectoryExists(winPath) && !winfs::CreateDir(winPath))
    throw Exception(Format("Cannot create folder %s: %s", winPath, winfs::LastErrorText()));
}

void WriteBytes(const std::string& winPath, const QByteArray& bytes) {
  WriteFileAtomically(winPath, bytes.constData(), bytes.size());
  std::printf("wrote %s (%lld bytes)\n", winPath.c_str(), static_cast<long long>(bytes.size()));
}

QImage Render(const TDraw& draw, int width, int height, double unit, QColor background) {
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

} // namespace dravik::icons
