// A game's icon from the catalogue's bytes: IconFromIcoBytes never reads outside them and
// always gives an icon (the program's own for anything unreadable).
#include "platform/icons.h"

#include <QGuiApplication>
#include <cstdlib>

using namespace dravik;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "fuzz_ico";
  static char* argv[] = {name, nullptr};
  new QGuiApplication(argc, argv); // lives for the process
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  const QIcon icon = IconFromIcoBytes(bytes);
  if (icon.isNull()) std::abort();
  icon.pixmap(16, 16);
  return 0;
}
