// The patch properties window: the patch's name, its descriptor as property rows, its
// description, and its game files as a folder tree. It shows the patch it is given and changes
// nothing.
#pragma once

#include <QDialog>

class QKeyEvent;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace dravik {

class TPatch;
class TadStringGrid;

class TPropertyForm : public QDialog {
  Q_OBJECT

public:
  explicit TPropertyForm(QWidget* parent = nullptr);

  // The patch to show (not owned); set before each showing.
  TPatch* Patch = nullptr;

  QLabel* NameLabel;
  TadStringGrid* PropertyGrid;
  QLabel* DescriptionLabel;
  QPlainTextEdit* DescriptionMemo;
  QLabel* FilesLabel;
  QTreeWidget* FileTreeView;
  QPushButton* OKButton;

  // Fills every control from Patch (empties them without one).
  void FormShow();
  // The description box's key filter: every typed character is discarded.
  bool IgnoreKeyPress(QKeyEvent* event);

protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace dravik
