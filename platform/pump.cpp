#include "pump.h"

namespace dravik {

static TPumpFunction gPump = nullptr;

void ProcessMessages() {
  if (gPump) gPump();
}

TPumpFunction SetMessagePump(TPumpFunction pump) {
  TPumpFunction previous = gPump;
  gPump = pump;
  return previous;
}

} // namespace dravik
