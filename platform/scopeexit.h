// Runs an action when the scope that holds it ends, however it ends (a return or an
// exception), for clean-up that has no owning type of its own:
//
//   TScopeExit closeKey([&reg] { reg.CloseKey(); });
//
// The action runs once, from the destructor, and must not throw (an exception escaping it ends
// the program). `Release()` keeps it from running, for work that succeeded and is to stay.
#pragma once

#include <type_traits>
#include <utility>

namespace dravik {

template <typename F> class TScopeExit {
public:
  explicit TScopeExit(F action) noexcept(std::is_nothrow_move_constructible_v<F>)
      : FAction(std::move(action)) {}
  ~TScopeExit() {
    if (FArmed) FAction();
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

  void Release() noexcept { FArmed = false; }

private:
  F FAction;
  bool FArmed = true;
};

} // namespace dravik
