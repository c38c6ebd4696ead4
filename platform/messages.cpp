#include "messages.h"

namespace dravik {

static TMessageWindow* gMainWindow = nullptr;

LRESULT SendMessage(TMessageWindow* window, unsigned message, WPARAM wParam, LPARAM lParam) {
  return window ? window->HandleMessage(message, wParam, lParam) : 0;
}

TMessageWindow* MainWindow() {
  return gMainWindow;
}

void SetMainWindow(TMessageWindow* window) {
  gMainWindow = window;
}

} // namespace dravik
