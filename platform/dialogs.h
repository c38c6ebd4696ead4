// Every question and message to the user goes through this interface, so that the windows
// use real dialogs while tests answer from a script. The program installs the Qt
// implementation at start; tests install their own.
#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dravik {

class Exception;

// Box kinds; their captions are "Warning", "Error", "Information" and "Confirm".
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll };
// Buttons in the order they are shown.
using TMsgDlgButtons = std::vector<TMsgDlgBtn>;

enum TModalResult {
  mrNone = 0,
  mrOk = 1,
  mrCancel = 2,
  mrAbort = 3,
  mrRetry = 4,
  mrIgnore = 5,
  mrYes = 6,
  mrNo = 7,
  mrAll = 8
};

// The settings and results of an open or save file dialog. Paths are Windows paths.
struct TFileDialog {
  std::string Title;
  std::string Filter; // "Description|*.gob;*.x|Description|*.zip"
  int FilterIndex = 1;
  std::string InitialDir;
  std::string FileName; // preset name; after Execute the (first) chosen file
  std::string DefaultExt;
  bool MultiSelect = false;
  bool MustExist = false;         // the chosen files and folder must exist
  bool OverwritePrompt = false;   // save dialogs: ask before replacing
  std::vector<std::string> Files; // after Execute: every chosen file, in the dialog's order
};

class TDialogs {
public:
  virtual ~TDialogs() = default;
  // A message box of `type` with `buttons`, `defaultButton` (when it is one of them, else the
  // first) answering Enter; returns the mr* value of the button chosen (mrCancel or mrNo,
  // whichever the box has, when it is closed otherwise).
  virtual int MessageDlg(const std::string& msg, TMsgDlgType type, const TMsgDlgButtons& buttons,
                         std::optional<TMsgDlgBtn> defaultButton = std::nullopt) = 0;
  // A plain message box with an OK button, captioned with the application title.
  virtual void ShowMessage(const std::string& msg) = 0;
  // An input box; returns false when cancelled (value then unchanged).
  virtual bool InputQuery(const std::string& caption, const std::string& prompt,
                          std::string& value) = 0;
  // Shows an open (save false) or save dialog; false when cancelled.
  virtual bool Execute(TFileDialog& dialog, bool save) = 0;
  // The application's standard error box: caption the application title, the error's text.
  virtual void ShowException(const std::string& message) = 0;
  // A list of `items` to choose one from, `index` chosen at first; false when cancelled, else
  // `index` is the one chosen. Dialogs that cannot ask decline.
  virtual bool ChooseItem(const std::string& caption, const std::string& prompt,
                          const std::vector<std::string>& items, int& index);
  // A folder dialog on the Linux file system, hidden folders shown: `folder` is a Linux path,
  // where the dialog starts and, unless it is cancelled (false), the folder chosen. For folders
  // no drive of the prefix need reach (a Wine prefix itself); a caller that needs a Windows path
  // (a game's folder) maps the answer itself (winfs::ToWindowsPath). Dialogs that cannot ask
  // decline.
  virtual bool SelectHostFolder(const std::string& caption, std::string& folder);
  // Shows `msg` with a Cancel button until `done()` returns true, asking it every little while
  // (the windows stay live meanwhile). True once it has, false when the user cancelled. This
  // default asks once and does not wait.
  virtual bool WaitUntil(const std::string& msg, const std::function<bool()>& done);
};

// The dialogs in use (never null: a default that answers Cancel/No and logs to stderr until
// the program or a test installs its own).
TDialogs& Dialogs();
// Installs `dialogs` (not owned) and returns the previous one; null restores the default.
TDialogs* SetDialogs(TDialogs* dialogs);

// Shows an error escaping a user command in the standard error box.
void ShowCommandError(const std::exception& e);

// Runs the user command `command`, showing an error that escapes it in the standard error box
// ("Unexpected error" for one that is no std::exception). Nothing escapes, not even from the
// box: for the handlers of windows, where an exception must not reach the event loop.
template <typename F> void Guarded(F&& command) noexcept {
  try {
    command();
  } catch (const std::exception& e) {
    try {
      ShowCommandError(e);
    } catch (...) {
    }
  } catch (...) {
    try {
      Dialogs().ShowException("Unexpected error");
    } catch (...) {
    }
  }
}

} // namespace dravik
