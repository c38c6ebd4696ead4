// The socket layer's time-out timer. It has no thread or window of its own: the waits call
// Check() on every turn, which raises OnTimer once a whole interval has passed.
#pragma once

#include <chrono>
#include <functional>

namespace dravik {

class TThreadTimer {
public:
  using TTimerEvent = std::function<void(TThreadTimer& sender)>;

  int Interval() const noexcept { return FInterval; }
  void SetInterval(int milliseconds);
  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool enabled);
  // It runs while Enabled, Interval > 0 and OnTimer is set.
  bool Running() const noexcept { return FEnabled && FInterval > 0 && OnTimer; }
  // Raises OnTimer when a whole interval has passed since it was started or last fired.
  void Check();

  TTimerEvent OnTimer;

private:
  void Restart();
  int FInterval = 1000;
  bool FEnabled = false;
  std::chrono::steady_clock::time_point FStart;
};

} // namespace dravik
