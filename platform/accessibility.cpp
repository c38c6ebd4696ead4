#include "accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QToolBar>
#include <QToolButton>
#include <QWidget>

namespace dravik {

namespace {

// A combo box as Qt presents it (its pop-up list, then its edit field when it has one), named
// by its accessible name or label rather than by its value.
class TComboBoxAccessible : public QAccessibleWidget {
public:
  explicit TComboBoxAccessible(QComboBox* combo)
      : QAccessibleWidget(combo, QAccessible::ComboBox) {}

  QAccessibleInterface* child(int index) const override {
    if (index == 0) return QAccessible::queryAccessibleInterface(Combo()->view());
    if (index == 1 && Combo()->isEditable())
      return QAccessible::queryAccessibleInterface(Combo()->lineEdit());
    return nullptr;
  }
  int childCount() const override { return Combo()->isEditable() ? 2 : 1; }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child->object() == Combo()->view()) return 0;
    if (Combo()->isEditable() && child->object() == Combo()->lineEdit()) return 1;
    return -1;
  }
  QAccessibleInterface* childAt(int x, int y) const override {
    QLineEdit* edit = Combo()->lineEdit();
    if (edit && QRect(edit->mapToGlobal(QPoint(0, 0)), edit->size()).contains(x, y))
      return child(1);
    return nullptr;
  }
  QAccessibleInterface* focusChild() const override {
    return Combo()->isEditable() ? child(1) : nullptr;
  }

  QString text(QAccessible::Text t) const override {
    const QString value =
        Combo()->isEditable() ? Combo()->lineEdit()->text() : Combo()->currentText();
    if (t == QAccessible::Value) return value;
    const QString text = QAccessibleWidget::text(t); // the accessible name, else the label
    return t == QAccessible::Name && text.isEmpty() ? value : text;
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.expandable = true;
    s.expanded = Combo()->view()->isVisible();
    s.editable = Combo()->isEditable();
    return s;
  }

  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
  void doAction(const QString& name) override {
    if (name != showMenuAction() && name != pressAction()) return;
    if (Combo()->view()->isVisible())
      Combo()->hidePopup();
    else
      Combo()->showPopup();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
  QComboBox* Combo() const { return static_cast<QComboBox*>(object()); }
};

// Qt asks for each class of an object, the most derived first; "QWidget" comes last, so a
// widget gets here only when nothing knows a more particular class of it.
QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QComboBox"))
    return new TComboBoxAccessible(static_cast<QComboBox*>(object));
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

void SetComboBoxName(QComboBox* combo, const QString& name) {
  combo->setAccessibleName(name);
  combo->view()->setAccessibleName(name);
  if (QLineEdit* edit = combo->lineEdit()) edit->setAccessibleName(name);
}

void NameMenus(QWidget* window) {
  for (QMenu* menu : window->findChildren<QMenu*>()) {
    if (!menu->accessibleName().isEmpty() || menu->title().isEmpty()) continue;
    // "&File" is File, "Cut && Paste" is Cut & Paste.
    QString name;
    const QString title = menu->title();
    for (qsizetype i = 0; i < title.size(); ++i) {
      if (title[i] == '&' && i + 1 < title.size()) ++i;
      name += title[i];
    }
    menu->setAccessibleName(name);
  }
}

void SetToolBarAccess(QToolBar* bar, const QString& name) {
  bar->setAccessibleName(name);
  for (QToolButton* button : bar->findChildren<QToolButton*>()) {
    button->setFocusPolicy(Qt::TabFocus);
    // Qt's extension button has neither text nor tooltip.
    if (button->objectName() == QLatin1String("qt_toolbar_ext_button"))
      button->setAccessibleName("More tools");
  }
}

} // namespace dravik
