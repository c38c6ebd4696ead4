#include "accessibility.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace dravik {

namespace {

// Qt asks for each class of an object, the most derived first; "QWidget" comes last, so a
// widget gets here only when nothing knows a more particular class of it.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QWidget")) {
    auto* widget = static_cast<QWidget*>(object);
    if (widget->isWindow()) return new QAccessibleWidget(widget, QAccessible::Window);
  }
  return nullptr;
}

} // namespace

void InstallAccessibility() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  QAccessible::installFactory(Factory);
}

} // namespace dravik
