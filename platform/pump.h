// The message pump that long waits call so the windows stay live. The program points it at
// Qt's event processing; without a display it does nothing.
#pragma once

namespace dravik {

// Processes pending user-interface events, if a pump is installed. Never blocks.
void ProcessMessages();
// Installs `pump` (null: none) and returns the previous one.
using TPumpFunction = void (*)();
TPumpFunction SetMessagePump(TPumpFunction pump);

} // namespace dravik
