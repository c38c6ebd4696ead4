// The GOB properties dialog: edits a patch descriptor (the lines key=value written as
// "patchinfo.txt") as a name, a type, a description and a grid of further properties.
// User-interface thread only.
#pragma once

#include "platform/stringlist.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace dravik {

class TadStringGrid;

class TGOBPropForm : public QDialog {
  Q_OBJECT

public:
  explicit TGOBPropForm(QWidget* parent = nullptr);

  // Empty name and description, type "Unknown", and the rows Author, Email and Home Page.
  void LoadDefaults();
  // Fills the dialog from descriptor lines (the defaults when there are none).
  void LoadFrom(const TStringList& lines);
  // Sets the dialog's contents into `lines` (which the caller has emptied) by the key=value
  // rules: non-empty values replace the first line of their key or are appended, empty values
  // remove it. The description's line breaks become blanks, since a descriptor value cannot
  // span lines.
  void StoreTo(TStringList& lines);

  // The grid's row editing.
  void InsertRow1Click();
  void DeleteRow1Click();
  void PropertyGridKeyDown(TadStringGrid* sender, int key, Qt::KeyboardModifiers modifiers,
                           bool& handled);
  void PropertyGridMouseDown(TadStringGrid* sender, Qt::MouseButton button, int col, int row);

  // Closing with OK stores an open cell edit first.
  void accept() override;

  QLineEdit* PatchName;
  QComboBox* PatchType;
  QPlainTextEdit* PatchDesc;
  TadStringGrid* PropertyGrid;
  QPushButton* OKButton;
  QPushButton* CancelButton;
  QMenu* PopupMenu1;
  QAction* InsertRow1;
  QAction* DeleteRow1;
};

} // namespace dravik
