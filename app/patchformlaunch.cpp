// The main window's launch of the game, its options, documents and information dialogs.
#include "aboutbox.h"
#include "application.h"
#include "debugform.h"
#include "gob/gobber.h"
#include "patches/patchedapp.h"
#include "patchform.h"
#include "platform/addresses.h"
#include "platform/pendingsaves.h"
#include "platform/shell.h"
#include "platform/sound.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QAction>

namespace dravik {

std::string TPatchForm::GameExecutable() {
  THXPatchedApp* app = CurrentApp();
  return app ? app->GetDirectPlayValue(0) + app->GetDirectPlayValue(1) : std::string();
}

std::string TPatchForm::GameParameters() {
  return dravik::GameParameters(OptionFlags, CustomOptions);
}

void TPatchForm::LaunchClick() {
  PlaySoundResource("LAUNCH");
  // Saved now, while no Wine program holds the prefix's registry: once the game runs, Wine owns
  // the hives, and the save as the window goes then finds nothing left to change. When Wine
  // runs already they wait, and the question as the window goes names them.
  Guarded([this] { SaveSettings(false); });
  THXPatchedApp* app = CurrentApp();
  // A failed start is not reported: the program ends either way.
  if (app) ShellExecute(GameExecutable(), GameParameters(), app->GetDirectPlayValue(0), SW_SHOW);
  close();
}

void TPatchForm::OptionClick(QAction* item) {
  item->setChecked(!item->isChecked());
  OptionFlags.at(static_cast<size_t>(item->data().toInt())) = item->isChecked() ? 1 : 0;
}

void TPatchForm::Custom1Click() {
  std::string value = CustomOptions;
  if (Dialogs().InputQuery("Command Line", "Enter the custom command line parameters:", value))
    CustomOptions = value;
  Custom1->setChecked(!CustomOptions.empty());
}

void TPatchForm::ZoneOptionClick() {
  if (!ZoneOption->isChecked() &&
      Dialogs().MessageDlg(ZoneWarning, mtWarning, {mbYes, mbNo}) == mrNo)
    return;
  const bool on = !ZoneOption->isChecked();
  const std::string text = on ? ZoneCommandLine() : "";
  // The check mark follows a registration that took the change or will take it once Wine lets
  // it (a failure leaves both as they were). The game is found by name when the write runs.
  if (THXPatchedApp* app = CurrentApp()) {
    const std::string name = app->AppName;
    if (!PendingSaves().Save("zone " + name, "the Zone option of " + name, [this, name, text] {
          if (THXPatchedApp* game = FindApp(name)) game->SetDirectPlayValue(2, text);
        }))
      app->KeepDirectPlayValue(2, text);
  }
  ZoneOption->setChecked(on);
}

void TPatchForm::LaunchInternetGamingZone1Click() {
  if (!ZoneOption->isChecked()) ZoneOptionClick();
  ShellExecute(ZonePage(), "", "", SW_SHOWNORMAL);
  close();
}

void TPatchForm::CreateGOB1Click() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  // The editor is made on first use and kept. OK means a patch archive was saved; one saved
  // into the store by Save, with the editor left open, is listed all the same.
  const std::string store = app->GameDir() + PatchDirs[0];
  const TGobberResult result = ExecuteGobber(this, FGameFilter, store);
  bool stored = result.Ok;
  for (const std::string& file : result.Written)
    stored =
        stored || (file.size() > store.size() && SameText(file.substr(0, store.size()), store));
  if (stored) Refresh1Click();
}

// Opens a help document of the data folder; when nothing does, says where the document is,
// so that the user can open it some other way.
static void OpenDocument(const std::string& name) {
  if (ShellExecute(name, "", "", SW_SHOWNORMAL)) return;
  const std::string path = winfs::ToHostPath(name);
  Dialogs().MessageDlg(winfs::FileExists(name)
                           ? Format("No program of this desktop opens %s. Open it with a web "
                                    "browser.",
                                    path)
                           : Format("The help document %s is missing.", path),
                       mtWarning, {mbOK});
}

void TPatchForm::Documentation1Click() {
  OpenDocument("docs.html");
}

void TPatchForm::FrequentlyAskedQuestions1Click() {
  OpenDocument("faq.html");
}

void TPatchForm::About1Click() {
  if (Application() && Application()->AboutBox) Application()->AboutBox->exec();
}

void TPatchForm::DisplayDebuggingInfo1Click() {
  if (Application() && Application()->DebugForm) Application()->DebugForm->exec();
}

} // namespace dravik
