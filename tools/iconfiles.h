// Turning drawings into the files of resources/icons/: rendering a drawing into an image, PNG
// and .ico files, and writing them (Windows paths, through the platform layer).
#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QPainter>
#include <functional>
#include <string>
#include <vector>

namespace dravik::icons {

// A drawing: paints on a square canvas of a size it knows.
using TDraw = std::function<void(QPainter&)>;

// Renders `draw`, which paints on a `unit` by `unit` canvas, into a `width` by `height` image.
// `background` transparent unless given.
QImage Render(const TDraw& draw, int width, int height, double unit,
              QColor background = Qt::transparent);
QByteArray Png(const QImage& image);
// An .ico file with one 32-bit BMP entry (with its AND mask) per image, as every reader of the
// format knows it.
QByteArray Ico(const std::vector<QImage>& images);

// Makes a folder unless it exists; throws Exception when it cannot.
void MakeFolder(const std::string& winPath);
// Writes `bytes` as the file (atomically) and says so on standard output.
void WriteBytes(const std::string& winPath, const QByteArray& bytes);

} // namespace dravik::icons
