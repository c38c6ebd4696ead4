// The main window: the selected game's patches in a list with their state and conflicts, the
// commands that switch, remove, add and inspect patches, the game's launch with the options
// chosen, the choice of game, and the program's settings.
//
// Creating the window reads the last game and the command line, loads the game catalogue and
// builds the Game menu; with no installed game it shows the Game Not Found dialog instead and
// asks the application to end. Showing it sets it up for the selected game. Destroying it saves
// the settings.
//
// Every handler may raise; the menu items, buttons and keys that run them show what escapes in
// the standard error box. The window answers the program's window messages (messages.h) and
// registers itself as the main window while it exists.
#pragma once

#include "catalogue/viewsettings.h"
#include "launch.h"
#include "patches/installer.h"
#include "platform/dialogs.h"
#include "platform/messages.h"

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
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
class QToolBar;
class QToolButton;
class QTreeView;

namespace dravik {

class TDropControl;
class THXPatchedApp;
class THXPatchedAppList;
class TPatchList;
class TPatchListModel;
class TRepositoryForm;

class TPatchForm : public QMainWindow, public TMessageWindow, public TURLInstaller {
  Q_OBJECT

public:
  // FormCreate with the program's arguments (without the program's own name).
  explicit TPatchForm(const std::vector<std::string>& args, QWidget* parent = nullptr);
  // FormDestroy: saves the settings, then frees the catalogue.
  ~TPatchForm() override;

  // The selected game: the AppList entry at GameIndex; null when there is none.
  THXPatchedApp* CurrentApp() const;

  // WM_REFRESH: Refresh1Click. WM_GET_GAME: the THXPatchedApp* of CurrentApp.
  // WM_DOWNLOAD_INSTALL: InstallURLs with the URL of the TDownloadInstallRequest at lParam,
  // whose Report it fills.
  // WM_REPOSITORY_SHOWN / _HIDDEN: the repository button's state and menu caption.
  // WM_GET_STATUS_DIALOG: the download progress dialog as a TStatusDialog* (0 without one).
  // Errors pass to the sender.
  LRESULT HandleMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;

  // Start-up and game selection.
  void FormShow();
  void SetupForGame();
  void LoadSettings();
  void SaveSettings();
  void GameSelectorClick(QAction* item);

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
  QAction* NewAction(QMenu* menu, const char* name, const char* caption);
  QToolButton* NewToolButton(const char* name, const char* iconName, const char* hint);
  // Runs `handler` for a menu item or button, showing what escapes it. A checkable item's check
  // mark is put back first: the handlers set check marks themselves.
  void OnClick(QAction* item, std::function<void()> handler);
  void OnClick(QAbstractButton* button, std::function<void()> handler);

  TPatchList* CurrentList() const;
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

  QAction* AddPatch1;
  QAction* RemovePatch1;
  QAction* CreateGOB1;
  QAction* LaunchHalvex1;
  QAction* LaunchInternetGamingZone1;
  QAction* Properties2;
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

  QStatusBar* StatusBar1;
  QLabel* PatchCounts; // "N patches, N active, N blocked"

  TRepositoryForm* FRepositoryForm = nullptr;  // made on first use, owned by this window
  static constexpr int kNameColumnWidth = 115; // the "Patch" column's first and least width
  std::array<bool, 2> FUserSized{};            // "Patch" and "Type" widths set by the user
  bool FSizingColumns = false;                 // the window itself is sizing them
  std::string FSelectedFile;                   // the selected patch's file name, "" for none
  int FSelectedRow = -1;                       // and its row when it was selected
  std::string FRefusedSave;                    // the failed save last shown, "" after a save
  QObject* FPatchListViewport = nullptr;       // where in-program drags onto the list arrive
};

} // namespace dravik
