// Where windows go on a screen, and colours that read on light and dark palettes.
#include "platform/colours.h"
#include "platform/placewindow.h"

#include <gtest/gtest.h>

using namespace dravik;

namespace {

TEST(WindowPlace, FramesShrinkToTheScreenThenAreCentredOnIt) {
  const QRect screen(0, 0, 640, 450); // 1280 by 900 at scale 2
  const struct {
    QSize Wanted, Least;
    QRect Centred;
  } centred[] = {
      {{400, 300}, {100, 100}, {120, 75, 400, 300}}, // fits: centred
      {{500, 1100}, {100, 100}, {70, 0, 500, 450}},  // too tall: as tall as the screen
      {{900, 300}, {700, 100}, {0, 75, 700, 300}},   // wider than the screen can take
  };
  for (const auto& c : centred)
    EXPECT_EQ(CentredFrame(c.Wanted, c.Least, screen), c.Centred)
        << c.Wanted.width() << "x" << c.Wanted.height();
  // A screen that does not start at 0 (a panel on top).
  EXPECT_EQ(CentredFrame({400, 500}, {10, 10}, QRect(0, 30, 640, 420)), QRect(120, 30, 400, 420));
}

TEST(Colours, ATextColourIsKeptOrShadedUntilItReads) {
  const QColor maroon(0x80, 0, 0);
  EXPECT_EQ(ReadableOn(maroon, Qt::white, Qt::black), maroon); // reads already: kept
  for (QColor ground : {QColor(0x35, 0x35, 0x35), QColor(0x1e, 0x1e, 0x1e), QColor(0x80, 0, 0)}) {
    const QColor shown = ReadableOn(maroon, ground, Qt::white);
    EXPECT_GE(ContrastRatio(shown, ground), 4.5) << ground.name().toStdString();
    if (shown != Qt::white) {
      EXPECT_EQ(shown.hslHue(), maroon.hslHue());
    }
  }
  EXPECT_NEAR(ContrastRatio(Qt::black, Qt::white), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(maroon, maroon), 1.0, 0.01);
}

} // namespace
