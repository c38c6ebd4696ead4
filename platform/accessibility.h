// How the windows read to screen readers (over AT-SPI on Linux), beyond what Qt gives each
// widget by itself. User-interface thread only.
#pragma once

class QComboBox;
class QString;
class QToolBar;
class QWidget;

namespace dravik {

// Installs the program's rules into Qt's accessibility layer; call once the QApplication
// exists (later calls do nothing). Without them Qt presents a window that is a plain widget as
// a nameless filler, and names a combo box by its current value, so its label is lost.
// With them such a window is a frame named by its title, and a combo box is named by its
// accessible name or, without one, by the label whose buddy it is (by its value only when it
// has neither).
void InstallAccessibility();

// Names a combo box, its pop-up list and, when it is editable, its edit field (call after
// making it editable: that makes a new edit field).
void SetComboBoxName(QComboBox* combo, const QString& name);

// Names each titled menu of `window` (in its menu bar, its pop-up menus and their sub-menus) by
// its title: screen readers announce a menu by its name as it opens. Call once they are made.
void NameMenus(QWidget* window);

// Names a tool bar and its extension button (the button that shows the tools which do not fit,
// "More tools"), and lets Tab reach its tool buttons, extension button included: a keyboard user
// reaches the tools in the window's tab order. Call once its buttons are added.
void SetToolBarAccess(QToolBar* bar, const QString& name);

} // namespace dravik
