// The patch sets in the main window: the Patch menu's "Patch &Sets" sub-menu ("&Save Current
// Set...", a radio item for "(none)" and for each saved set, "&Manage Sets...") and the tool
// bar's "Patch set" combo box, which shows the set the active patches are, or "(custom)".
// Picking a set in either switches the store to it (setswitch.h); the window is then refreshed
// and what the switch could not do is shown in one message.
//
// Handlers may raise (a failed move, a refused settings write); the menu items and the combo
// show what escapes in the standard error box.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QMenu;
class QToolBar;

namespace dravik {

class THXPatchedApp;

class TPatchSetsUI : public QObject {
  Q_OBJECT

public:
  // Adds the sub-menu to `patchMenu` before `before` (at the end when null) and the combo box
  // to `toolBar`. `app` gives the current game (null when there is none); `refresh` brings the
  // window up to date after a switch, and must call Update.
  TPatchSetsUI(QWidget* window, QMenu* patchMenu, QAction* before, QToolBar* toolBar,
               std::function<THXPatchedApp*()> app, std::function<void()> refresh);

  // Rebuilds the radio items and the combo's entries from the current game's sets, and marks
  // the set the active patches are. Never raises.
  void Update();

  // Switches the current game to the saved set `name` (or "(none)"), refreshes the window and
  // shows the switch's message. Raises, after the refresh, when the switch failed.
  void SwitchTo(const std::string& name);
  void SaveSetClick();
  void ManageSetsClick();

  QMenu* PatchSets1;
  QAction* SaveSet1;
  QAction* NoSet1;
  QAction* ManageSets1;
  QComboBox* PatchSetCombo;

private:
  QWidget* FWindow;
  std::function<THXPatchedApp*()> FApp;
  std::function<void()> FRefresh;
  QActionGroup* FGroup;
  QAction* FSetsEnd; // the separator after the sets' items
  std::vector<QAction*> FSetItems;
};

} // namespace dravik
