#include "platform/icons.h"
#include "tests/fixtures/tempprefix.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QStringList>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace dravik;
namespace fs = std::filesystem;

namespace {

const QStringList kToolNames = {"add",      "remove",     "activate",      "launch", "properties",
                                "refresh",  "repository", "new",           "open",   "save",
                                "addfiles", "delete",     "gobproperties", "newdir", "abort",
                                "install",  "view"};

std::vector<uint8_t> ResourceBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  QByteArray data = file.readAll();
  return std::vector<uint8_t>(data.begin(), data.end());
}

// Whether `icon` is the program's own icon (the only picture with a 256-pixel size).
bool IsProgramIcon(const QIcon& icon) {
  return icon.availableSizes().contains(QSize(256, 256));
}

// Makes the desktop's icon theme a test theme holding only "list-add", and restores the theme
// settings when it goes.
class TTestTheme {
public:
  TTestTheme() : FPaths(QIcon::themeSearchPaths()), FName(QIcon::themeName()) {
    FRoot = FDir.Path();
    fs::create_directories(FRoot / "testtheme/24x24/actions");
    std::ofstream(FRoot / "testtheme/index.theme")
        << "[Icon Theme]\nName=testtheme\nDirectories=24x24/actions\n\n"
           "[24x24/actions]\nSize=24\nType=Fixed\n";
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(Qt::red);
    image.save(QString::fromStdString((FRoot / "testtheme/24x24/actions/list-add.png").string()));
    QIcon::setThemeSearchPaths({QString::fromStdString(FRoot.string())});
    QIcon::setThemeName("testtheme");
  }
  ~TTestTheme() {
    QIcon::setThemeSearchPaths(FPaths);
    QIcon::setThemeName(FName);
  }

private:
  test::TTempDir FDir;
  QStringList FPaths;
  QString FName;
  fs::path FRoot;
};

} // namespace

TEST(Icons, EveryToolNameHasAPicture) {
  for (const QString& name : kToolNames) {
    QIcon icon = ToolIcon(name);
    EXPECT_FALSE(icon.isNull()) << name.toStdString();
    EXPECT_FALSE(icon.pixmap(24, 24).isNull()) << name.toStdString();
    // The bundled picture exists for every name, whatever the desktop's theme has.
    QImage bundled(":/icons/toolbar/" + name + ".png");
    EXPECT_EQ(bundled.size(), QSize(24, 24)) << name.toStdString();
  }
  EXPECT_TRUE(ToolIcon("no-such-button").isNull());
}

TEST(Icons, ThemeIconWhereTheDesktopHasOne) {
  TTestTheme theme;
  QIcon add = ToolIcon("add");
  EXPECT_EQ(add.name(), "list-add");
  EXPECT_EQ(add.pixmap(24, 24).toImage().pixelColor(12, 12), QColor(Qt::red));
  // The theme lacks these: the bundled pictures stand in.
  EXPECT_TRUE(ToolIcon("refresh").name().isEmpty());
  EXPECT_FALSE(ToolIcon("refresh").pixmap(24, 24).isNull());
  EXPECT_TRUE(ToolIcon("activate").name().isEmpty());
}

TEST(Icons, ProgramAndStatePictures) {
  EXPECT_TRUE(IsProgramIcon(ProgramIcon()));
  for (int state = 0; state < 3; ++state) {
    QPixmap picture = StatePicture(state);
    ASSERT_EQ(picture.size(), QSize(16, 16)) << state;
    QImage image = picture.toImage();
    EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0) << state; // on no ground: dark lists too
    EXPECT_GT(image.pixelColor(8, 3).alpha(), 0) << state;
  }
  // Three shapes, told apart without their colours too.
  auto grey = [](int state) {
    QImage image = StatePicture(state).toImage().convertToFormat(QImage::Format_ARGB32);
    std::vector<int> levels;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) {
        const QColor c = image.pixelColor(x, y);
        levels.push_back(qGray(c.rgb()) * c.alpha() / 255);
      }
    return levels;
  };
  for (auto [a, b] : {std::pair{0, 1}, std::pair{1, 2}, std::pair{0, 2}}) {
    const std::vector<int> one = grey(a), other = grey(b);
    int differing = 0;
    for (size_t i = 0; i < one.size(); ++i)
      differing += std::abs(one[i] - other[i]) > 64;
    EXPECT_GT(differing, 10) << a << " and " << b;
  }
  EXPECT_TRUE(StatePicture(3).isNull());
  EXPECT_TRUE(StatePicture(-1).isNull());
}

TEST(Icons, CategoryIconsInTwoSizes) {
  for (int index = 0; index < 5; ++index) {
    QIcon icon = CategoryIcon(index);
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16))) << index;
    EXPECT_TRUE(icon.availableSizes().contains(QSize(32, 32))) << index;
  }
  // Unknown categories share the "other" icon.
  EXPECT_EQ(CategoryIcon(7).pixmap(16, 16).toImage(), CategoryIcon(4).pixmap(16, 16).toImage());
  EXPECT_EQ(CategoryIcon(-1).pixmap(16, 16).toImage(), CategoryIcon(4).pixmap(16, 16).toImage());
  EXPECT_NE(CategoryIcon(0).pixmap(16, 16).toImage(), CategoryIcon(2).pixmap(16, 16).toImage());
}

TEST(Icons, GameIconsFromIcoBytes) {
  for (const char* game : {":/icons/halvex.ico", ":/icons/morvane.ico"}) {
    std::vector<uint8_t> bytes = ResourceBytes(game);
    ASSERT_FALSE(bytes.empty()) << game;
    QIcon icon = IconFromIcoBytes(bytes);
    EXPECT_FALSE(IsProgramIcon(icon)) << game;
    for (int size : {16, 32, 48})
      EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size))) << game << " " << size;
  }
}

TEST(Icons, UnreadableIcoBytesGiveTheProgramIcon) {
  std::vector<uint8_t> good = ResourceBytes(":/icons/halvex.ico");
  ASSERT_GT(good.size(), 100u);
  EXPECT_TRUE(IsProgramIcon(IconFromIcoBytes({})));
  EXPECT_TRUE(IsProgramIcon(IconFromIcoBytes({0, 0, 1, 0}))); // header only
  std::vector<uint8_t> text(200, 'x');
  EXPECT_TRUE(IsProgramIcon(IconFromIcoBytes(text)));
  // Cut short: the directory names image bytes beyond the end.
  std::vector<uint8_t> cut(good.begin(), good.begin() + 60);
  EXPECT_TRUE(IsProgramIcon(IconFromIcoBytes(cut)));
  // A directory entry pointing far past the data.
  std::vector<uint8_t> wild = good;
  wild[6 + 12] = 0xFF, wild[6 + 13] = 0xFF, wild[6 + 14] = 0xFF, wild[6 + 15] = 0x7F;
  EXPECT_TRUE(IsProgramIcon(IconFromIcoBytes(wild)));
  // Image bytes overwritten with rubbish behind a sound directory: read without harm.
  std::vector<uint8_t> garbled = good;
  for (size_t i = 6 + 3 * 16; i < garbled.size(); ++i)
    garbled[i] = uint8_t(i * 37);
  QIcon icon = IconFromIcoBytes(garbled);
  EXPECT_FALSE(icon.isNull());
}

namespace {

struct TWave {
  uint16_t Format = 0, Channels = 0, Bits = 0, BlockAlign = 0;
  uint32_t Rate = 0, ByteRate = 0;
  std::vector<int16_t> Samples;
};

uint32_t LE32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
         uint32_t(b[at + 3]) << 24;
}
uint16_t LE16(const std::vector<uint8_t>& b, size_t at) {
  return uint16_t(b[at] | b[at + 1] << 8);
}

// Reads a RIFF/WAVE file's format and data chunks; fails the test on a malformed file.
TWave ReadWave(const std::vector<uint8_t>& b) {
  TWave w;
  EXPECT_GE(b.size(), 44u);
  if (b.size() < 44) return w;
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
  EXPECT_EQ(LE32(b, 4), b.size() - 8);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
  size_t at = 12;
  while (at + 8 <= b.size()) {
    std::string id(b.begin() + at, b.begin() + at + 4);
    uint32_t size = LE32(b, at + 4);
    EXPECT_LE(at + 8 + size, b.size()) << id;
    if (at + 8 + size > b.size()) break;
    if (id == "fmt ") {
      w.Format = LE16(b, at + 8);
      w.Channels = LE16(b, at + 10);
      w.Rate = LE32(b, at + 12);
      w.ByteRate = LE32(b, at + 16);
      w.BlockAlign = LE16(b, at + 20);
      w.Bits = LE16(b, at + 22);
    } else if (id == "data") {
      for (size_t i = 0; i + 1 < size; i += 2)
        w.Samples.push_back(int16_t(LE16(b, at + 8 + i)));
    }
    at += 8 + size + (size & 1);
  }
  return w;
}

} // namespace

TEST(Sounds, ClickAndLaunchAreShortMonoWaves) {
  struct {
    const char* Path;
    double Seconds;
  } sounds[] = {{":/sounds/CLICK.wav", 0.17}, {":/sounds/LAUNCH.wav", 0.32}};
  for (const auto& s : sounds) {
    TWave w = ReadWave(ResourceBytes(s.Path));
    EXPECT_EQ(w.Format, 1) << s.Path; // PCM
    EXPECT_EQ(w.Channels, 1) << s.Path;
    EXPECT_EQ(w.Rate, 22050u) << s.Path;
    EXPECT_EQ(w.Bits, 16) << s.Path;
    EXPECT_EQ(w.BlockAlign, 2) << s.Path;
    EXPECT_EQ(w.ByteRate, 44100u) << s.Path;
    EXPECT_NEAR(double(w.Samples.size()) / 22050, s.Seconds, 0.005) << s.Path;
    ASSERT_FALSE(w.Samples.empty());
    // Audible, not clipped, and starting and ending in silence (no click at either edge).
    int peak = 0;
    for (int16_t v : w.Samples)
      peak = std::max(peak, std::abs(int(v)));
    EXPECT_GT(peak, 8000) << s.Path;
    EXPECT_LT(peak, 32767) << s.Path;
    EXPECT_LT(std::abs(int(w.Samples.front())), 200) << s.Path;
    EXPECT_EQ(w.Samples.back(), 0) << s.Path;
  }
}
