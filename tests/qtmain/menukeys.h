// For tests of windows: the access keys of every menu a window holds.
#pragma once

#include <QStringList>

class QWidget;

namespace dravik::test {

// The clashes among the access keys of each menu of `window` (its menu bar counts as one
// menu): "File: &Properties, Wine &Prefix..." for two items of the File menu on P. Empty when
// every key is taken once.
QStringList AccessKeyClashes(const QWidget* window);

} // namespace dravik::test
