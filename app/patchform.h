// The main window: the selected game's patches in a list with their state and conflicts, the
// commands that switch, remove, add and inspect patches, the game's launch with the options
// chosen, the choice of game, and the program's settings.
//
// Creating the window reads the last game and the command line, loads the game catalogue and
// builds the Game menu; with no installed game it shows the Game Not Found dialog, and goes on
// when a game was set up from it (Locate Game) or else asks the application to end. Showing it
// sets it up for the selected game and then installs the files and links the command line
// named. Destroying it saves the settings; what Wine refuses is named, then waited for or
// discarded (pendingsaves.h). Start-up, the game and prefix and the settings are in
// patchformgames.cpp.
//
// Every handler may raise; the menu items, buttons and keys that run them show what escapes in
// the standard error box. The window answers the program's window messages (messages.h) and
// registers itself as the main window while it exists.
#pragma once

#include "catalogue/viewsettings.h"
#include "launch.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "repository/repositoryhost.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAbstractButton;
class QAction;
class QKeyEvent;
class QLabel;
class QActionGroup;
class QMenu;
class QMimeData;
class QMenuBar;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace dravik {

class TDropControl;
class THXPatchedApp;
class THXPatchedAppList;
class TPatchList;
class TPatchListModel;
class TPatchSetsUI;
class TRepositoryForm;
struct THandedOver;

class TPatchForm : public QMainWindow, public TMessageWindow, public TRepositoryHost {
  Q_OBJECT

public:
  // FormCreate with the program's arguments (without the program's own name).
  explicit TPatchForm(const std::vector<std::string>& args, QWidget* parent = nullptr);
  // FormDestroy: saves the settings, then frees the catalogue.
  ~TPatchForm() override;

  // The selected game: the AppList entry at GameIndex; null when there is none.
  THXPatchedApp* CurrentApp() const override;
  // The application's download progress dialog; null without an application.
  TStatusDialog* StatusDialog() const override;

  // WM_REFRESH: Refresh1Click. WM_GET_GAME: CurrentApp as a THXPatchedApp*.
  // WM_DOWNLOAD_INSTALL: InstallURLs with the URL of the TDownloadInstallRequest at lParam,
  // whose Report it fills.
  // WM_REPOSITORY_SHOWN / _HIDDEN: the repository button's state and menu caption.
  // WM_GET_STATUS_DIALOG: StatusDialog as a TStatusDialog* (0 without one).
  // The messages that carry pointers are adapters onto the typed calls, which the program's
  // own windows use (TRepositoryHost). Errors pass to the sender.
  LRESULT HandleMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;

  // Start-up and game selection.
  void FormShow();
  void SetupForGame();
  void LoadSettings();
  // Saves the settings; while Wine refuses, asks to retry or lets them wait (pendingsaves.h).
  void SaveSettings();
  void GameSelectorClick(QAction* item);
  // File > Wine Prefix: another prefix for the rest of the run (and the next start); the
  // window sets up again on its catalogue and store. What waits for the Wine of the prefix
  // left behind is saved first, or waited for or discarded as the user answers.
  void WinePrefix1Click();
  // The Game menu's "&Locate Game...": sets a game up from its folder (locategame.h) and turns
  // the window to it.
  void LocateGame1Click();
  // Saves what waits for Wine once Wine has ended; run every second by a timer.
  void WineWatchTimer();

  // The patch list.
  int SelectedRow() const; // -1 when no row is selected
  // Remembers the selected patch (the selection follows it through sorts, re-reads and
  // toggles) and enables the commands that need one.
  void PatchListChange();
  void PatchListColumnClick(int column);
  void PatchListDblClick();
  void ActivateClick();
  void RemovePatch1Click();
  void Refresh1Click();
  void DeactivateAll1Click();
  void Properties2Click();
  void ConflictOptionClick();
  void Exit1Click();
  // Switches the patch at `row` with its click; the callers bring the view up to date.
  void TogglePatch(int row);
  void UpdateActivateControls(int row);
  void UpdateConflictColumn();
  // Also selects again the patch that was selected, wherever it now stands (when it is gone,
  // the one that took its row), and counts the patches in the status bar.
  void RefreshView();

  // Launch, options, documents, dialogs.
  void LaunchClick();
  void OptionClick(QAction* item);
  void Custom1Click();
  void ZoneOptionClick();
  void LaunchInternetGamingZone1Click();
  void CreateGOB1Click();
  void Documentation1Click();
  void FrequentlyAskedQuestions1Click();
  void About1Click();
  void DisplayDebuggingInfo1Click();
  std::string GameExecutable();
  std::string GameParameters();

  // Adding patches.
  void AddPatch1Click();
  // A drop on the patch list: the names of the accepted formats in the source's order and the
  // strings of the first one.
  void DropControl1Drop(const std::vector<std::string>& formats,
                        const std::vector<std::string>& strings);
  // Downloads and installs `url` into the current game and shows what failed; the caller
  // redraws the list.
  void InstallFromURL(const std::string& url);
  // Into the current game, showing nothing; for the repository window.
  TInstallReport InstallURLs(const std::vector<std::string>& urls) override;
  void RepositoryButtonClick();
  // Files and links from the command line of a later start: the window comes to the front and
  // installs them as soon as nothing else (a dialog, a download) is under way.
  void ReceiveArguments(const THandedOver& what);
  // Installs what the command lines named, as a drop would, and shows what failed and what was
  // neither a file nor a link; waits for the end of a dialog or download under way.
  void InstallArguments();
  // In-program drags onto the patch list: entries of the repository window are accepted, and
  // dropping them has that window install them.
  bool PatchListDragOver(const QMimeData* data) const;
  void PatchListDragDrop();

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void FormCreate(const std::vector<std::string>& args);
  // Reads the catalogue anew into AppList and the Game menu (an item per installed game) and
  // selects a game: the one named `lastGame` (its item checked), else the one selected before
  // while it is installed, else the first installed. False when no game is installed or the
  // catalogue cannot be read (AppList is then empty or gone).
  bool LoadGames(const std::string& lastGame);
  // Brings the patch list, and the repository window when it shows, up to date.
  void RefreshWindows();
  // Building the window (patchformlayout.cpp).
  void CreateMenus();
  void CreateFileMenu();
  void CreatePatchMenu();
  void CreateOptionsMenu();
  void CreateGameMenu();
  void CreateHelpMenu();
  void CreatePopupMenu();
  void ConnectMenus();
  void CreateToolBar();
  void CreatePatchList();
  void CreateStatusBar();
  void CreateDropTarget();
  // The patch sets' sub-menu and combo box (patchsetsui.cpp).
  void CreatePatchSets();
  // "-set NAME": switches to that set once the game is chosen; a failure cancels the quick start.
  void SwitchToStartSet();
  QAction* NewAction(QMenu* menu, const char* name, const char* caption);
  QToolButton* NewToolButton(const char* name, const char* iconName, const char* hint);
  // Runs `handler` for a menu item or button, showing what escapes it. A checkable item's check
  // mark is put back first: the handlers set check marks themselves.
  void OnClick(QAction* item, std::function<void()> handler);
  void OnClick(QAbstractButton* button, std::function<void()> handler);

  TPatchList* CurrentList() const;
  // The AppList entry named `appName`; null when there is none.
  THXPatchedApp* FindApp(const std::string& appName) const;
  // With `ask` false, a save that Wine refuses waits without a question.
  void SaveSettings(bool ask);
  // The application's retriever; null without an application.
  TDownloader* Downloader() const;
  // The store's warning after a re-read, in a warning box (nothing when it is empty).
  static void ShowStoreWarning(const std::string& warning);
  void SetRepositoryShown(bool shown);
  // Takes the column widths the user left into FView, to be saved with the settings.
  void RememberView();
  // The widths remembered, or the name column sized to the names when none is.
  void SizeColumns();
  // "N patches, N active, N blocked" in the status bar.
  void ShowCounts();
  // Selects `row` (none: -1) without scrolling elsewhere.
  void SelectRow(int row);
  // Space and Enter on the list toggle the selected patch, as F2 does.
  bool PatchListKeyPress(QKeyEvent* event);

  // State.
  int GameIndex = 0;
  bool QuickStart = false;
  TOptionFlags OptionFlags{};
  std::string CustomOptions;
  int SortColumn = 0;
  bool SortDescending = false;
  std::unique_ptr<THXPatchedAppList> AppList;
  TFileDialog OpenDialog1;
  std::string FGameFilter; // the game's patches, then ZIP files (the GOB editor's too)
  TViewSettings FView;     // column widths and the folder patches were last added from

  // Controls. The menu bar stands for the caption-button bar, the tool bar for the command bar.
  QMenuBar* ToolBar2;
  QToolBar* ToolBar1;
  QMenu* File1;
  QMenu* Patch1;
  QMenu* Options1;
  QMenu* Game1;
  QMenu* Help1;
  QMenu* PopupMenu1;
  QActionGroup* GameGroup;
  QAction* GameSeparator; // the games stand above it, "&Locate Game..." below
  QAction* LocateGame1;

  QAction* AddPatch1;
  QAction* RemovePatch1;
  QAction* CreateGOB1;
  QAction* LaunchHalvex1;
  QAction* LaunchInternetGamingZone1;
  QAction* Properties2;
  QAction* WinePrefix1;
  QAction* Exit1;
  QAction* Activate1;
  QAction* Refresh1;
  QAction* DeactivateAll1;
  QAction* PatchRepository1;
  QAction* ShowFramerateduringgameplay1;
  QAction* Allowadvanceddisplayconfiguration1;
  QAction* Enabledevelopermode1;
  QAction* Displayplayerstatisticsduringgameplay1;
  QAction* Showcutscenesinawindow1;
  QAction* Custom1;
  QAction* ConflictOption;
  QAction* ZoneOption;
  QAction* Documentation1;
  QAction* FrequentlyAskedQuestions1;
  QAction* About1;
  QAction* DisplayDebuggingInfo1;
  QAction* Activate2;
  QAction* Delete1;
  QAction* Properties1;

  QToolButton* AddButton;
  QToolButton* DeleteButton;
  QToolButton* ActivateButton;
  QToolButton* LaunchButton;
  QToolButton* PropertiesButton;
  QToolButton* RefreshButton;
  QToolButton* RepositoryButton;

  QTreeView* PatchList;
  TPatchListModel* PatchListModel;
  TDropControl* DropControl1;
  TPatchSetsUI* PatchSets = nullptr;

  QStatusBar* StatusBar1;
  QLabel* PatchCounts; // "N patches, N active, N blocked"

  TRepositoryForm* FRepositoryForm = nullptr;  // made on first use, owned by this window
  static constexpr int kNameColumnWidth = 115; // the "Patch" column's first and least width
  std::array<bool, 2> FUserSized{};            // "Patch" and "Type" widths set by the user
  bool FSizingColumns = false;                 // the window itself is sizing them
  std::string FSelectedFile;                   // the selected patch's file name, "" for none
  int FSelectedRow = -1;                       // and its row when it was selected
  std::vector<std::string> FPendingItems;      // files and links to install (commandline.h)
  std::vector<std::string> FPendingUnknown;    // arguments that were neither
  bool FInstallingArguments = false;
  QTimer* FWineWatch = nullptr;          // runs WineWatchTimer
  QObject* FPatchListViewport = nullptr; // where in-program drags onto the list arrive
  std::optional<std::string> FStartSet;  // the set named by "-set"
  // The game whose store creating the window has read; its first set-up need not read it again.
  THXPatchedApp* FStoreReadAtCreation = nullptr;
};

} // namespace dravik
