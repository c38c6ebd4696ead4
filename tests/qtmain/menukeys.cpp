#include "menukeys.h"

#include <QAction>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QWidget>

namespace dravik::test {

namespace {

// The access key of a caption: the letter after a lone "&"; none for "&&" only.
QChar AccessKey(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] != '&') return text[i + 1].toUpper();
    ++i;
  }
  return QChar();
}

void Check(const QString& name, const QList<QAction*>& items, QStringList& clashes) {
  QMap<QChar, QStringList> byKey;
  for (const QAction* item : items)
    if (!item->isSeparator() && item->isVisible())
      if (const QChar key = AccessKey(item->text()); !key.isNull()) byKey[key] << item->text();
  for (const QStringList& texts : byKey)
    if (texts.size() > 1) clashes << name + ": " + texts.join(", ");
}

} // namespace

QStringList AccessKeyClashes(const QWidget* window) {
  QStringList clashes;
  for (const QMenuBar* bar : window->findChildren<QMenuBar*>())
    Check("menu bar", bar->actions(), clashes);
  for (const QMenu* menu : window->findChildren<QMenu*>())
    Check(menu->title().isEmpty() ? menu->objectName() : menu->title(), menu->actions(), clashes);
  return clashes;
}

} // namespace dravik::test
