// The Dazer Erezez: the GOB editor window. It shows the editor's document (gobdocument.h) as a
// directory tree beside the selected directory's members and binds the document's operations
// to its File menu, toolbar, directory menu, keys, file dialogs and drag and drop.
//
// The window is created once and shown modally many times; each showing starts with an empty,
// untitled document, and ends with OK after a successful Save As, with Cancel otherwise.
// Errors escaping a command are shown in the standard error box; the window stays open.
// User-interface thread only.
#pragma once

#include "app/drop/drop.h"
#include "gob/gobdocument.h"
#include "platform/dialogs.h"

#include <QDialog>
#include <QKeySequence>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QToolBar;
class QTreeView;
class QTreeWidgetItem;

namespace dravik {

class TDirTree;
class TGOBPropForm;
class TMemberModel;

// How a showing of the editor ended: with OK (after a Save As), and the archives it wrote on
// the way (Windows paths, in the order written), whichever way they were saved.
struct TGobberResult {
  bool Ok = false;
  std::vector<std::string> Written;
};

// Opens the editor for the main window's "Create &GOB..." command: creates the window on first
// use (a window owned by `owner`, kept for later uses), gives its Open and Save As dialogs
// `filter` ("Description|*.gob|...") and `initialDir` (a Windows path), shows it modally and
// returns how it ended.
TGobberResult ExecuteGobber(QWidget* owner, const std::string& filter,
                            const std::string& initialDir);
// The editor window, or null before the first ExecuteGobber.
class TGobberForm;
TGobberForm* GobberForm();

class TGobberForm : public QDialog {
  Q_OBJECT

public:
  explicit TGobberForm(QWidget* parent = nullptr);
  ~TGobberForm() override;

  // The document shown; the commands below change it.
  const TGOBDocument& Document() const { return FDocument; }

  // The file dialogs: "OpenFileDialog" (Add Files), "OpenGOBDialog" (Open) and "SaveGOBDialog"
  // (Save As). FindFileDialog gives one by that name (null for another name).
  TFileDialog* FindFileDialog(const std::string& name);

  // The archives written since the window was last shown (Windows paths).
  const std::vector<std::string>& Written() const { return FWritten; }

  // The directory outlined under a drag from another program; null at rest.
  const QTreeWidgetItem* DropNode() const { return FDropNode; }

  // Commands.
  void NewGOB1Click();
  void OpenGOB1Click();
  void Save1Click();
  void SaveGOBClick();
  void AddFiles1Click();
  void DeleteSelectedFiles1Click();
  void Properties1Click();
  void Exit1Click();
  void NewDirectory1Click();
  void DeleteDirectory1Click();
  void RenameDirectory1Click();

  // Events.
  void FormShow();
  bool FormCloseQuery();
  void DirTreeChange();
  void DirTreeEdited(QTreeWidgetItem* item, const QString& text);
  void DirListEdited(int row, const QString& text);
  // Rows of the list dragged over and dropped on a tree item (null: no directory there).
  bool DirTreeDragOver(QTreeWidgetItem* item) const;
  void DirTreeDragDrop(QTreeWidgetItem* item);
  // A drag from another program over the tree, and its drop.
  void DCDragOver(TDropControl* sender, QPoint pt, TShiftState shift, TDropEffect& effect);
  void DCDragLeave(TDropControl* sender);
  void DCDrop(TDropControl* sender);
  // Adds dropped files and folders (run after the drop has been taken).
  void DCDropFiles(const TStringList& paths);

  void reject() override;

protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  // Building the window (gobberlayout.cpp).
  void CreateControls();
  void CreateFileDialogs();
  void CreateFileMenu();
  void CreateToolBars();
  void CreateDirectoryMenu();
  void CreateViews();
  void ArrangeControls();
  void ConnectHandlers();
  void CreateDropTargets();
  QAction* NewAction(const char* name, const char* text, QKeySequence key = {});

  template <typename F> void Run(F&& command);
  // Runs a change of the document's tree, then AfterAdding, also when the change fails.
  template <typename F> void Adding(F&& change);
  bool SaveDocument();
  bool SaveAs();
  void CloseWithModalResult();
  void RefreshTree();
  void AfterAdding();
  void SetListRows(int rows);
  void SetDropNode(QTreeWidgetItem* item);
  // The directory shown for the document's directory, and back (null when there is none).
  QTreeWidgetItem* ItemOf(const TGOBDirectory* dir) const;
  TGOBDirectory* DirOf(const QTreeWidgetItem* item) const;
  // The list rows now selected.
  std::vector<int> SelectedRows() const;

  TGOBDocument FDocument;
  TFileDialog OpenFileDialog;
  TFileDialog OpenGOBDialog;
  TFileDialog SaveGOBDialog;
  // The result the window closes with when the running command is over (mrNone: stays open).
  TModalResult ModalResult = mrNone;
  QTreeWidgetItem* FDropNode = nullptr;
  std::vector<std::string> FWritten;

  // Controls.
  QMenuBar* FileBar; // holds the File menu
  QToolBar* ToolBar;
  QMenu* MainMenu1; // the File menu
  QAction *NewGOB1, *OpenGOB1, *Save1, *SaveGOB, *AddFiles1, *DeleteSelectedFiles1, *Properties1,
      *Exit1;
  QAction *NewButton, *OpenButton, *SaveButton, *AddFilesButton, *DeleteFilesButton,
      *PropertiesButton;
  QMenu* PopupMenu2; // the directory menu
  QAction *NewDirectory1, *DeleteDirectory1, *RenameDirectory1;
  TDirTree* DirTree;
  QTreeView* DirList;
  TMemberModel* FModel;
  TDropControl* DropControl1; // the whole window, switched off
  TDropControl* DropControl2; // the tree
  TGOBPropForm* GOBPropForm;

  uint64_t FRootId = 0;
  bool FSyncing = false;
  bool FCentred = false;
};

} // namespace dravik
