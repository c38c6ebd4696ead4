// The patch properties window: the patch's name, its descriptor as property rows, its
// description, its game files as a folder tree, and the patches it conflicts with, each with the
// game files the two share. It shows the patch it is given and changes nothing.
#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace dravik {

class TPatch;
class TPatchList;
class TadStringGrid;

class TPropertyForm : public QDialog {
  Q_OBJECT

public:
  explicit TPropertyForm(QWidget* parent = nullptr);

  // The patch to show (not owned); set before each showing.
  TPatch* Patch = nullptr;
  // The list it belongs to, where its conflicts are found (not owned); null: none are shown.
  const TPatchList* List = nullptr;

  QLabel* NameLabel;
  TadStringGrid* PropertyGrid;
  QLabel* DescriptionLabel;
  QPlainTextEdit* DescriptionMemo;
  QLabel* FilesLabel;
  QTreeWidget* FileTreeView;
  QLabel* ConflictsLabel;
  QTreeWidget* ConflictTreeView; // a conflicting patch per item, the shared files below it
  QPushButton* OKButton;

  // Fills every control from Patch (empties them without one).
  void FormShow();
  // The description box's key filter: every typed character is discarded.
  bool IgnoreKeyPress(QKeyEvent* event);
  // The name's colour: maroon, made lighter where the dialog's ground is too dark for it.
  void ColourName();

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace dravik
