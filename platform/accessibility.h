// How the windows read to screen readers (over AT-SPI on Linux), beyond what Qt gives each
// widget by itself. User-interface thread only.
#pragma once

namespace dravik {

// Installs the program's rules into Qt's accessibility layer; call once the QApplication
// exists (later calls do nothing). Without them Qt presents a window that is a plain widget as
// a nameless filler; with them such a window is a frame named by its title.
void InstallAccessibility();

} // namespace dravik
