#include "threadtimer.h"

namespace dravik {

void TThreadTimer::SetInterval(int milliseconds) {
  FInterval = milliseconds;
  Restart();
}

void TThreadTimer::SetEnabled(bool enabled) {
  FEnabled = enabled;
  Restart();
}

void TThreadTimer::Restart() {
  FStart = std::chrono::steady_clock::now();
}

void TThreadTimer::Check() {
  if (!Running()) return;
  auto now = std::chrono::steady_clock::now();
  if (now - FStart < std::chrono::milliseconds(FInterval)) return;
  FStart = now;
  OnTimer(*this);
}
} // namespace dravik
