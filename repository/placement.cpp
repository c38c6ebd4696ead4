#include "placement.h"

#include <algorithm>
#include <cmath>

namespace dravik {

TWindowPlacement PlaceBesideMainWindow(const TBounds& main, int repositoryWidth, int screenWidth,
                                       int screenLeft, int mainLeast, int repositoryLeast) {
  TWindowPlacement p;
  p.Main = main;
  p.Repository.Width = repositoryWidth;
  // In 64 bits: the product of two widths may not fit in an int.
  long long combined = (long long)main.Width + repositoryWidth;
  const long long room = (long long)screenWidth - 10;
  if (combined > room && room > 0) {
    p.Main.Width =
        std::max(mainLeast, int(std::llround(double(room) * main.Width / double(combined))));
    p.Repository.Width = std::max(repositoryLeast, int(room - p.Main.Width));
    combined = room;
  }
  p.Repository.Top = main.Top;
  p.Repository.Height = main.Height;
  if ((long long)p.Main.Width + p.Repository.Width > room && room > 0) {
    p.Main.Left = screenLeft;
    p.Repository.Left = std::max(screenLeft, screenLeft + screenWidth - p.Repository.Width);
    return p;
  }
  p.Main.Left = int(screenLeft + screenWidth / 2 - combined / 2);
  p.Repository.Left = p.Main.Left + p.Main.Width + 1;
  return p;
}

} // namespace dravik
