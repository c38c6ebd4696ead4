// For tests of windows that open modal windows (which run an event loop of their own).
#pragma once

#include <functional>

class QWidget;

namespace dravik::test {

// Runs `act` on the next modal window once it is open; call it before the code that opens the
// window. Looks for one every few milliseconds from the event loop, until one appears.
void WhenModal(std::function<void(QWidget*)> act);

} // namespace dravik::test
