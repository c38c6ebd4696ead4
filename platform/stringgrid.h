// A grid of text cells with a title row, as the property and list editors use it.
//
// Addressing: the title row is grid row 0 (shown as the column header, but read and written
// through Cells like any row); data row k is grid row k + 1; RowCount counts the title row, so
// a grid with n data rows has RowCount n + 1. Columns are numbered from 0. The current cell
// (Row, Col) is a data cell whenever the grid has data rows; with none, Row is 0.
//
// Long texts end in an ellipsis, column widths can be dragged, and the last column widens to
// fill the grid unless that is switched off. Cells can be edited in place unless the grid is
// read-only; an edit is stored into the cell when it is committed (Enter, moving away, focus
// leaving, or CommitEdit). The grid's context menu, when one is set, opens on a right click
// and its actions' shortcuts act while the grid or its cell editor has the focus.
//
// The row-editing rules the editors share (growing and shrinking at the last row with the
// arrow keys, inserting and deleting rows, and choosing the row under the mouse) are offered
// as calls so that each window's handlers can use them.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QMenu;
class QTableWidget;

namespace dravik {

class TGridTable;

class TadStringGrid : public QWidget {
  Q_OBJECT

public:
  explicit TadStringGrid(QWidget* parent = nullptr);
  ~TadStringGrid() override;

  // Columns: count, titles (row 0) and widths in pixels.
  int ColCount() const;
  void SetColCount(int count);
  struct TColumn {
    std::string Title;
    int Width = 64;
  };
  void SetColumns(const std::vector<TColumn>& columns);
  int ColWidth(int col) const;
  void SetColWidth(int col, int width);
  // Whether the last column widens to fill the grid (on by default).
  void SetFillLastColumn(bool fill);

  // Rows, title row included; at least 1. New rows are empty; rows cut off are dropped.
  int RowCount() const;
  void SetRowCount(int count);
  // Height of the data rows in pixels.
  void SetDefaultRowHeight(int height);

  // Text of a cell; row 0 is the column title. Reading outside the grid gives ""; writing
  // outside it throws Exception("Grid index out of range").
  std::string Cells(int col, int row) const;
  void SetCells(int col, int row, const std::string& text);

  // The current cell. SetRow and SetCol ignore values outside the data cells.
  int Row() const;
  void SetRow(int row);
  int Col() const;
  void SetCol(int col);

  // In-place editing (on by default); a read-only grid only selects.
  bool Editable() const { return FEditable; }
  void SetEditable(bool editable);
  // Stores the text of an open cell editor into its cell (nothing when none is open).
  void CommitEdit();
  bool IsEditing() const;

  // The context menu (not owned; it must outlive the grid or be unset). Its actions are added
  // to the grid so that their shortcuts act while the grid or its cell editor has the focus;
  // a cell editor keeps the keys it uses itself (Del deletes a character there).
  void SetPopupMenu(QMenu* menu);
  QMenu* PopupMenu() const { return FPopupMenu; }

  // Accessible name of the grid (and its table, which takes the focus).
  void SetAccessibleName(const QString& name);

  // Row editing shared by the editors (rows are grid rows):
  // Down in the last row whose first cell is not empty adds an empty row and makes it current;
  // Up in the last row whose first cell is empty removes it and makes the row above current,
  // unless it is the only data row. Returns whether the key was consumed by one of these.
  bool ArrowKeyRowRule(int key);
  // Inserts an empty row at the current row; the rows from there down move one down, and the
  // current row (now empty) stays current.
  void InsertRow();
  // With one data row, empties its cells; otherwise removes the current row (the rows below
  // move up).
  void DeleteRow();
  // A mouse press on a data cell: its row becomes current, and its column too unless it is the
  // first column. Presses outside the data cells change nothing.
  void MouseDownRowRule(int col, int row);

  // Events. OnKeyDown sees every key pressed in the grid, and every key its cell editor leaves
  // alone (Up, Down, Page Up, ...), before the grid handles it; an open editor's text is stored
  // in its cell first. Setting `handled` consumes the key. OnMouseDown reports a press on a data
  // cell after the grid has handled it (a right press does not move the current cell by itself),
  // with grid coordinates. OnCellEdited reports a committed in-place edit.
  std::function<void(TadStringGrid* sender, int key, Qt::KeyboardModifiers modifiers,
                     bool& handled)>
      OnKeyDown;
  std::function<void(TadStringGrid* sender, Qt::MouseButton button, int col, int row)> OnMouseDown;
  std::function<void(TadStringGrid* sender, int col, int row)> OnCellEdited;

  // The table underneath, for tests and for styling.
  QTableWidget* Table() const;

private:
  friend class TGridTable;
  TGridTable* FTable;
  QMenu* FPopupMenu = nullptr;
  bool FEditable = true;
};

} // namespace dravik
