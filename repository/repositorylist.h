// The repository list editor: a modal dialog in which the user edits the current game's
// repositories (name=URL lines) as a two-column table of names and URLs. The repository window
// shows it and, on OK, writes the table back into the game's list and saves it.
// User-interface thread only.
#pragma once

#include "platform/stringlist.h"

#include <QDialog>

class QMenu;
class QPushButton;

namespace dravik {

class TRepositoryHost;
class TadStringGrid;

class TRepositoryListForm : public QDialog {
  Q_OBJECT

public:
  // `host` gives the current game (not owned; null: no game).
  explicit TRepositoryListForm(QWidget* parent = nullptr, TRepositoryHost* host = nullptr);

  // Fills the grid with one row per name=URL line, in order; one empty row when there are none.
  void LoadFrom(const TStringList& repositories);
  // Replaces `repositories` by one line name=URL for each row whose name is not empty, in row
  // order (names and URLs without blanks around them).
  void StoreTo(TStringList& repositories);

  // Asks the host for the current game and loads its repositories.
  void FormShow();
  // The grid's row editing.
  void RepositoryGridKeyDown(TadStringGrid* sender, int key, Qt::KeyboardModifiers modifiers,
                             bool& handled);
  void RepositoryGridMouseDown(TadStringGrid* sender, Qt::MouseButton button, int col, int row);
  void InsertRow1Click();
  void DeleteRow1Click();

  // OK stores an open cell edit first, and refuses a name with "=" in it (it would change the
  // name and the URL the list keeps).
  void accept() override;

  TadStringGrid* RepositoryGrid;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  QMenu* PopupMenu1;
  QAction* InsertRow1;
  QAction* DeleteRow1;

protected:
  void showEvent(QShowEvent* event) override;

private:
  TRepositoryHost* FHost;
};

} // namespace dravik
