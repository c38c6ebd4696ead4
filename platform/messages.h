// Private window messages between the program's windows, sent synchronously: SendMessage runs
// the receiving window's handler and returns its result.
#pragma once

#include <cstdint>

namespace dravik {

using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr unsigned WM_USER = 0x400;
constexpr unsigned WM_REFRESH = WM_USER + 256;           // 0x500
constexpr unsigned WM_GET_GAME = WM_USER + 257;          // 0x501
constexpr unsigned WM_DOWNLOAD_INSTALL = WM_USER + 258;  // 0x502, lParam: TDownloadInstallRequest*
constexpr unsigned WM_REPOSITORY_SHOWN = WM_USER + 259;  // 0x503
constexpr unsigned WM_REPOSITORY_HIDDEN = WM_USER + 260; // 0x504
constexpr unsigned WM_INSTALL_SELECTED = WM_USER + 261;  // 0x505
constexpr unsigned WM_GET_STATUS_DIALOG = WM_USER + 262; // 0x506

// A window that takes messages. Handlers run on the user-interface thread.
class TMessageWindow {
public:
  virtual ~TMessageWindow() = default;
  // Returns the message's result; 0 for messages the window does not handle.
  virtual LRESULT HandleMessage(unsigned message, WPARAM wParam, LPARAM lParam) = 0;
};

// Runs `window`'s handler and returns its result; 0 when `window` is null. Errors the handler
// raises pass to the sender.
LRESULT SendMessage(TMessageWindow* window, unsigned message, WPARAM wParam, LPARAM lParam);

// The application's main window (not owned); null until one is registered.
TMessageWindow* MainWindow();
void SetMainWindow(TMessageWindow* window);

} // namespace dravik
