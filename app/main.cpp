// Dravik: the patch manager for Halvex and Morvane on the game's Wine prefix.
#include "application.h"
#include "platform/accessibility.h"
#include "platform/datadir.h"
#include "platform/dialogs.h"
#include "platform/qtdialogs.h"
#include "platform/sound.h"

#include <QApplication>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  QApplication qtApplication(argc, argv);
  QGuiApplication::setDesktopFileName("dravik");
  dravik::InstallAccessibility();
  dravik::TQtDialogs dialogs;
  dravik::SetDialogs(&dialogs);
  dravik::InstallQtMessagePump();
  // Documents named without a folder ("docs.html") are looked for in the data folder.
  (void)dravik::EnterDataFolder(); // without one Dravik runs on; only its help is missing

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i]);

  int result = 0;
  try {
    dravik::TApplication application;
    application.CreateForms(args);
    result = application.Run();
  } catch (const std::exception& e) {
    // Only a failure that left no window to work with gets here.
    dravik::ShowCommandError(e);
    result = 1;
  }
  dravik::FinishSounds(1000);
  dravik::SetDialogs(nullptr);
  return result;
}
