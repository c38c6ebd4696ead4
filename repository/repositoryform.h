// The repository window ("Patch Repository"): the user picks one of the current game's patch
// repositories, sees its page's greeting in a small HTML pane and its patches in a list, and
// has the main window download and install the patches chosen. While shown it sits to the
// right of the main window (both narrowed when they do not fit side by side); hidden, it gives
// the main window its bounds back.
//
// It asks the host it is given (the main window, repositoryhost.h) for the current game and the
// progress dialog, and installs through it (the patches are downloaded and installed into the
// current game before the call returns), showing what failed, once per command. Otherwise it
// talks to the main window (MainWindow()) through the program's window messages: it sends
// WM_REFRESH after installing, WM_REPOSITORY_SHOWN and WM_REPOSITORY_HIDDEN; it handles
// WM_REFRESH (the current game changed: reload its repositories and the page) and
// WM_INSTALL_SELECTED (install the selected entries; the main window sends it when entries are
// dropped on its patch list: their drag carries kRepositoryEntriesMime). User-interface thread
// only.
#pragma once

#include "listview.h"
#include "net/urlparser.h"
#include "patches/installresult.h"
#include "platform/messages.h"
#include "reader.h"

#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <array>
#include <optional>
#include <string>

class QAction;
class QComboBox;
class QLocale;
class QMenu;
class QMenuBar;
class QSplitter;
class QToolBar;
class QToolButton;

namespace dravik {

class THTML;
class THXPatchedApp;
class TRepositoryHost;
class TRepositoryListForm;

// The window is the page reader of its list (reader.h); the reader's state is the window's own.
class TRepositoryForm : public QWidget, public TMessageWindow, private TRepositoryReader {
  Q_OBJECT

public:
  // `mainWindow`: the main window whose bounds the window places itself beside; `host`: what
  // gives the current game and the progress dialog and installs the entries chosen (not owned;
  // either may be null: without a host there is no game and Install installs nothing).
  explicit TRepositoryForm(QWidget* mainWindow = nullptr, TRepositoryHost* host = nullptr);
  ~TRepositoryForm() override;

  void FormShow();
  void FormHide();
  void Close1Click();
  // Fills RepositoryName with the current game's repository names, selects the first (which
  // LastRepository then names) and refreshes.
  void ReloadNames();
  void RepositoryNameChange();
  // Reads the selected repository's page afresh; with none selected, empties the list and the
  // pane.
  void RefreshButtonClick();
  void Stop1Click();
  void ListView1ColumnClick(int column);
  void ListView1DblClick();
  void ListView1Resize();
  void ViewStyleClick(QAction* item);
  void ViewButtonClick();
  void SelectAll1Click();
  void Install1Click();
  void EditRepositoryList1Click();
  // Install is offered only with entries selected, Stop only while a page is being read.
  void UpdateCommands();

  // The widths of the columns the user dragged, by caption (the main window saves them).
  const TColumnWidths& ColumnWidths() const { return ListView1->RememberedWidths(); }
  void SetColumnWidths(const TColumnWidths& widths) { ListView1->SetRememberedWidths(widths); }

  void HTML1DoRequestDoc(const std::string& url, bool& enableDefault);
  void HTML1BeginRetrieval();
  void HTML1UpdateRetrieval();
  void HTML1DoNewElement(const std::string& elementType, bool endTag,
                         const THTMLAttributes& attributes, const std::string& text,
                         bool& enableDefault);
  void HTML1ParseComplete();

  // The download address of an entry: its link resolved against the page now loaded. Throws
  // EInvalidProtocol for a relative link on a page whose scheme the parser does not know.
  std::string EntryURL(const TRepositoryEntry& entry);
  // Installs the entries at `rows` (those without a link left out), then has the main window
  // re-read its store (WM_REFRESH); returns what happened, entries whose link cannot be
  // resolved first.
  TInstallReport Install(const std::vector<int>& rows);

  LRESULT HandleMessage(unsigned message, WPARAM wParam, LPARAM lParam) override;

protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

  int ListUsableWidth() const override;
  void ListBeginUpdate() override;
  void ListEndUpdate() override;
  void OpenInBrowser(const std::string& url) override;
  std::string PageURL() const override;
  void StatusCancelClicked() override;
  std::optional<long> DateOf(std::string_view text) const override;

private:
  // Building the window (repositoryformlayout.cpp).
  void CreateCoolBar();
  void CreateToolBar();
  void CreatePanes();
  void ArrangeControls();
  void CreateFileMenu();
  void CreateViewMenus();
  void ConnectHandlers();
  QAction* NewAction(QMenu* menu, const char* name, const char* caption, QKeySequence key = {});

  THXPatchedApp* Game() const;
  void PlaceBesideMainWindow();
  std::string DragText(const std::vector<int>& rows);
  QWidget* CoolBar1;
  QMenuBar* ToolBar2; // "&File" and "&View"
  QMenu* File1;
  QMenu* MainViewMenu;
  QComboBox* RepositoryName;
  QToolBar* ToolBar1;
  QToolButton* AbortButton;
  QToolButton* RefreshButton;
  QToolButton* InstallButton;
  QToolButton* ViewButton;
  THTML* HTML1;
  QSplitter* Splitter1;
  TRepositoryListView* ListView1;
  QMenu* PopupMenu1;
  QMenu* PopupViewMenu;
  QAction* Install1;         // PopupMenu1 "&Install"
  QAction* InstallSelected1; // File1 "&Install Selected Patches"
  QAction* SelectAll1;
  QAction* EditRepositoryList1;
  QAction* Close1;
  QAction* Refresh1;
  QAction* Stop1;
  // The view items of MainViewMenu and PopupViewMenu, by tag (0 large icons to 3 details).
  std::array<QAction*, 4> MainViewItems{};
  std::array<QAction*, 4> PopupViewItems{};

  TURLParser URLParser;
  TRepositoryListForm* RepositoryListForm;
  std::string LastRepository;
  // The main window's frame before this window was shown; none until then.
  std::optional<QRect> MainWindowBounds;

  QPointer<QWidget> FMainWidget;
  TRepositoryHost* FHost;
};

// The program's repository window, made on first use beside `mainWindow`, served by `host`, and
// kept for the rest of the run (it goes when `mainWindow` does). Later calls return the same
// window.
TRepositoryForm* RepositoryForm(QWidget* mainWindow, TRepositoryHost* host);

// Days since 1970-01-01 for a date written in `locale`'s short date format (a four-digit year
// is taken where the format has two; two-digit years fall in 1950 to 2049) or as an ISO 8601
// date (2024-03-14); none for any other text.
std::optional<long> ShortDateDays(std::string_view text, const QLocale& locale);

} // namespace dravik
