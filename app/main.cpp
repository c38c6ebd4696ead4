// Dravik: the patch manager for Halvex and Morvane on the game's Wine prefix.
#include "application.h"
#include "commandline.h"
#include "platform/accessibility.h"
#include "platform/datadir.h"
#include "platform/dialogs.h"
#include "platform/instance.h"
#include "platform/qtdialogs.h"
#include "platform/sound.h"
#include "prefixchoice.h"

#include <QApplication>
#include <string>
#include <vector>

namespace {

// How long a later start waits for the running instance at each step of a hand-over.
constexpr int kHandOverTimeoutMs = 5000;

} // namespace

int main(int argc, char** argv) {
  QApplication qtApplication(argc, argv);
  QGuiApplication::setDesktopFileName("dravik");
  dravik::InstallAccessibility();
  dravik::TQtDialogs dialogs;
  dravik::SetDialogs(&dialogs);
  dravik::InstallQtMessagePump();

  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.emplace_back(argv[i]);
  // Relative paths are the caller's: resolved before the working folder changes.
  const dravik::TCommandLine commandLine = dravik::ParseCommandLine(args);

  // Dravik already running on the prefix takes the files and comes to the front. A quick
  // start is a start of its own.
  if (!commandLine.QuickStart &&
      dravik::HandToRunningInstance(dravik::InstanceName(dravik::KnownPrefix()),
                                    {commandLine.Items, commandLine.Unknown, commandLine.Set},
                                    kHandOverTimeoutMs) == dravik::hoDelivered)
    return 0;

  // Documents named without a folder ("docs.html") are looked for in the data folder.
  (void)dravik::EnterDataFolder(); // without one Dravik runs on; only its help is missing

  int result = 0;
  try {
    dravik::TApplication application;
    dravik::ChooseStartPrefix();
    application.CreateForms(commandLine.Resolved);
    if (!application.Terminated()) application.ListenForOtherStarts();
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
