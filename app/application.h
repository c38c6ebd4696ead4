// The application object: titles the program, creates its windows in their fixed order, runs
// the event loop, and owns and frees everything it created. One exists at a time; the windows
// reach it through Application().
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace dravik {

class TAboutBox;
class TDebugForm;
class TNoGameForm;
class TPatchForm;
class TPropertyForm;
class TDLStatus;
class TInstanceServer;
class TRetriever;

class TApplication {
public:
  // Becomes Application() and sets the title "Halvex Dravik". A QApplication must exist.
  TApplication();
  // Frees every window it created, the last created first (the main window saves the settings).
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Creates the main window (with `args`, the program's arguments without its own name), the
  // patch properties window, the about box, the debug window, and the download progress dialog
  // and retriever, in this order. (The GOB editor, made on first use, brings its own GOB
  // properties dialog.)
  void CreateForms(const std::vector<std::string>& args);
  // Shows the main window (unless ShowMainForm was cleared) and runs the event loop until the
  // application ends. Returns at once when it has already been told to end.
  int Run();
  // Ends the application: the event loop stops (when it runs) and Run returns.
  void Terminate();
  bool Terminated() const noexcept { return FTerminated; }

  // The Game Not Found dialog, created on first use.
  TNoGameForm* NoGameForm();

  // Takes what later starts of the program on the same prefix hand over (instance.h) to the
  // main window. False when another running instance holds the prefix's name.
  bool ListenForOtherStarts();
  // The prefix has changed: later starts find this instance under the new prefix.
  void PrefixChanged();

  std::string Title = "Halvex Dravik";
  bool ShowMainForm = true;

  std::unique_ptr<TPatchForm> PatchForm;
  std::unique_ptr<TPropertyForm> PropertyForm;
  std::unique_ptr<TAboutBox> AboutBox;
  std::unique_ptr<TDebugForm> DebugForm;
  std::unique_ptr<TDLStatus> DLStatus;
  std::unique_ptr<TRetriever> Retriever;

private:
  std::unique_ptr<TNoGameForm> FNoGameForm;
  std::unique_ptr<TInstanceServer> FInstanceServer; // made by ListenForOtherStarts
  bool FTerminated = false;
  bool FInLoop = false;
};

// The application object, null when none exists.
TApplication* Application();

} // namespace dravik
