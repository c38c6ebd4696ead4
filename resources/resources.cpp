#include "resources.h"

#include <QtGlobal>

// The initialiser that qt_add_resources generates for the resource set "dravik".
static void InitDravikResourceSet() {
  Q_INIT_RESOURCE(dravik);
}

namespace dravik {

void InitResources() {
  static const bool done = (InitDravikResourceSet(), true);
  (void)done;
}

} // namespace dravik
