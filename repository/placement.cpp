#include "placement.h"

#include <cmath>

namespace dravik {

TWindowPlacement PlaceBesideMainWindow(const TBounds& main, int repositoryWidth, int screenWidth,
                                       int screenLeft) {
  TWindowPlacement p;
  p.Main = main;
  p.Repository.Width = repositoryWidth;
  // In 64 bits: the product of two widths may not fit in an int.
  long long combined = (long long)main.Width + repositoryWidth;
  const long long room = (long long)screenWidth - 10;
  if (combined > room && room > 0) {
    p.Main.Width = int(std::llround(double(room) * main.Width / double(combined)));
    p.Repository.Width = int(room - p.Main.Width);
    combined = room;
  }
  p.Repository.Top = main.Top;
  p.Repository.Height = main.Height;
  p.Main.Left = int(screenLeft + screenWidth / 2 - combined / 2);
  p.Repository.Left = p.Main.Left + p.Main.Width + 1;
  return p;
}

} // namespace dravik
