#include "icons.h"

#include "resources/resources.h"

#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <array>
#include <utility>

namespace dravik {

namespace {

// Tool-button names with the freedesktop icon name that fits each, or none where the theme has
// nothing that means the same (the program's own picture is used then).
constexpr std::array<std::pair<const char*, const char*>, 17> kToolIcons = {{
    {"add", "list-add"},
    {"remove", "list-remove"},
    {"activate", nullptr}, // switching a patch on and off: the program's own switch
    {"launch", "media-playback-start"},
    {"properties", "document-properties"},
    {"refresh", "view-refresh"},
    {"repository", "folder-remote"},
    {"new", "document-new"},
    {"open", "document-open"},
    {"save", "document-save"},
    {"addfiles", "list-add"},
    {"delete", "edit-delete"},
    {"gobproperties", "document-properties"},
    {"newdir", "folder-new"},
    {"abort", "process-stop"},
    {"install", "system-software-install"},
    {"view", nullptr}, // the list's view styles
}};

constexpr std::array<const char*, 5> kCategories = {"force", "item", "saber", "skin", "other"};

uint16_t LE16(const uint8_t* p) {
  return uint16_t(p[0] | (p[1] << 8));
}
uint32_t LE32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Whether the bytes have the layout of an .ico file: its header and a directory whose every
// image lies inside the data. Checked before an image reader sees the bytes.
bool LooksLikeIco(const std::vector<uint8_t>& bytes) {
  const size_t size = bytes.size();
  if (size < 6) return false;
  const uint8_t* b = bytes.data();
  const uint16_t count = LE16(b + 4);
  if (LE16(b) != 0 || LE16(b + 2) != 1 || count == 0) return false;
  if (6 + size_t(count) * 16 > size) return false;
  for (uint16_t i = 0; i < count; ++i) {
    const uint8_t* entry = b + 6 + size_t(i) * 16;
    const uint64_t length = LE32(entry + 8), offset = LE32(entry + 12);
    if (length == 0 || offset < 6 + uint64_t(count) * 16 || offset + length > size) return false;
  }
  return true;
}

} // namespace

QIcon ToolIcon(const QString& name) {
  InitResources();
  for (const auto& [toolName, themeName] : kToolIcons) {
    if (name != QLatin1String(toolName)) continue;
    QIcon bundled(QStringLiteral(":/icons/toolbar/%1.png").arg(name));
    if (themeName && QIcon::hasThemeIcon(QLatin1String(themeName)))
      return QIcon::fromTheme(QLatin1String(themeName), bundled);
    return bundled;
  }
  return QIcon();
}

QIcon ProgramIcon() {
  InitResources();
  return QIcon(QStringLiteral(":/icons/dravik.png"));
}

QPixmap StatePicture(int state) {
  static const char* const names[] = {"inactive", "active", "blocked"};
  if (state < 0 || state > 2) return QPixmap();
  InitResources();
  // On a scaled screen the picture drawn at twice the size, so that it stays sharp.
  const bool scaled = qGuiApp && qGuiApp->devicePixelRatio() > 1;
  QPixmap picture(QStringLiteral(":/icons/state-%1%2.png")
                      .arg(QLatin1String(names[state]), scaled ? "@2x" : ""));
  if (scaled) picture.setDevicePixelRatio(2);
  return picture;
}

QIcon CategoryIcon(int index) {
  InitResources();
  const char* name = index >= 0 && index < 4 ? kCategories[size_t(index)] : kCategories[4];
  QIcon icon;
  for (int size : {16, 32})
    icon.addFile(QStringLiteral(":/icons/category/%1-%2.png").arg(QLatin1String(name)).arg(size),
                 QSize(size, size));
  return icon;
}

QIcon IconFromIcoBytes(const std::vector<uint8_t>& bytes) {
  if (!LooksLikeIco(bytes)) return ProgramIcon();
  QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QIcon icon;
  const int count = reader.imageCount();
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToNextImage()) break;
    QImage image = reader.read();
    if (!image.isNull()) icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon.isNull() ? ProgramIcon() : icon;
}

} // namespace dravik
