// The dialogs interface on Qt: message boxes with the buttons each caller names, the input box,
// file dialogs on Windows paths (with the prefix's drives among their places), a choice from a
// list, a folder dialog on Linux paths, a wait that the user may cancel, and the application's
// standard error box. Installed by the program at start; blocks in the dialogs' own event loops.
#pragma once

#include "dialogs.h"

class QWidget;

namespace dravik {

class TQtDialogs : public TDialogs {
public:
  int MessageDlg(const std::string& msg, TMsgDlgType type, const TMsgDlgButtons& buttons,
                 std::optional<TMsgDlgBtn> defaultButton = std::nullopt) override;
  void ShowMessage(const std::string& msg) override;
  bool InputQuery(const std::string& caption, const std::string& prompt,
                  std::string& value) override;
  bool Execute(TFileDialog& dialog, bool save) override;
  void ShowException(const std::string& message) override;
  bool ChooseItem(const std::string& caption, const std::string& prompt,
                  const std::vector<std::string>& items, int& index) override;
  bool SelectHostFolder(const std::string& caption, std::string& folder) override;
  bool WaitUntil(const std::string& msg, const std::function<bool()>& done) override;
};

// The window dialogs are centred on: the active window, else none.
QWidget* DialogParent();

// Makes ProcessMessages() run Qt's pending events (network waits keep the windows live).
void InstallQtMessagePump();

// "Description|*.gob|Other|*.zip" to Qt's "Description (*.gob);;Other (*.zip)" form.
std::string QtFilter(const std::string& filter);

} // namespace dravik
