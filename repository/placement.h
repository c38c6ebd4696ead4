// Where the repository window goes: beside the main window, the pair centred on the screen and
// both narrowed in proportion when they do not fit side by side. Qt-free.
#pragma once

namespace dravik {

struct TBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TBounds&) const = default;
};

struct TWindowPlacement {
  TBounds Main;       // the main window's new bounds
  TBounds Repository; // the repository window's new bounds
};

// The two windows' bounds when the repository window (`repositoryWidth` wide) is shown beside
// `main` on a screen whose usable area begins at `screenLeft` and is `screenWidth` wide: when
// both are wider together than the screen less 10 pixels, each is narrowed in proportion,
// though neither below its least width (`mainLeast`, `repositoryLeast`); the pair is centred
// and the repository window sits 1 pixel right of the main window, with the main window's top
// and height. A pair that cannot fit side by side overlaps instead, the main window at the
// screen's left edge and the repository window at its right, so that both lie on the screen.
TWindowPlacement PlaceBesideMainWindow(const TBounds& main, int repositoryWidth, int screenWidth,
                                       int screenLeft = 0, int mainLeast = 0,
                                       int repositoryLeast = 0);

} // namespace dravik
