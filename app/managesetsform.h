// The Manage Patch Sets dialog: the game's saved patch sets, the patches of the one selected
// (those no longer installed marked), and renaming and deleting sets. Questions go through the
// dialogs interface; a refused write (Wine holds the registry) escapes the button's handler and
// is shown in the standard error box.
#pragma once

#include "patches/patchsets.h"

#include <QDialog>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace dravik {

class THXPatchedApp;

class TManageSetsForm : public QDialog {
  Q_OBJECT

public:
  // Works on `app`'s sets and shows its store's patches; `app` must outlive the dialog.
  explicit TManageSetsForm(THXPatchedApp& app, QWidget* parent = nullptr);

  QListWidget* SetList;
  QListWidget* MemberList;
  QPushButton* RenameButton;
  QPushButton* DeleteButton;
  QPushButton* CloseButton;

  void SetListChange();
  // Asks a new name (and before replacing another set of that name), then renames.
  void RenameClick();
  // Asks, then deletes the selected set.
  void DeleteClick();

private:
  // Reads the sets again and selects the one named `selected` (or the first).
  void Reload(const std::string& selected);
  const TPatchSet* Selected() const;

  THXPatchedApp& FApp;
  std::vector<TPatchSet> FSets;
};

} // namespace dravik
