// The repository window's list of patch entries (ListView1): one list shown in four view
// styles (large icons, small icons, list, details), several entries selectable, read-only,
// entries draggable onto the main window's patch list, a context menu, and batch updates.
// User-interface thread only.
#pragma once

#include "catalogue/viewsettings.h"
#include "entries.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QWidget>
#include <array>
#include <functional>
#include <vector>

class QAbstractItemView;
class QListView;
class QMenu;
class QStackedWidget;
class QTreeView;

namespace dravik {

// The MIME type of repository entries dragged out of the list. Its data is the entries'
// download addresses, one a line (UTF-8); a drop target installs them by sending the
// repository window WM_INSTALL_SELECTED.
extern const char* const kRepositoryEntriesMime; // "application/x-dravik-repository-entries"

// The entries as a table: column 0 the captions with the category icons, column c the
// sub-item c - 1. Texts are shown without the blanks around them.
class TRepositoryModel : public QAbstractTableModel, public TRepositoryEntriesWatcher {
  Q_OBJECT

public:
  explicit TRepositoryModel(TRepositoryEntries& entries, QObject* parent = nullptr);
  ~TRepositoryModel() override;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override;

  // The text of a drag of the entries in `rows` (set by the window: their resolved links).
  std::function<std::string(const std::vector<int>& rows)> DragText;

  // TRepositoryEntriesWatcher
  void ColumnAdded(int column) override;
  void ColumnChanged(int column) override;
  void EntryAdded(int index) override;
  void EntryChanged(int index) override;
  void Cleared() override;
  void Reordering() override;
  void Reordered() override;

private:
  TRepositoryEntries& FEntries;
  std::array<QIcon, 5> FIcons;
  std::vector<const TRepositoryEntry*> FPersistent; // entries behind persistent indexes
  QModelIndexList FPersistentIndexes;
};

class TRepositoryListView : public QWidget {
  Q_OBJECT

public:
  // Tags of the view items: 0 large icons, 1 small icons, 2 list, 3 details.
  enum TViewStyle { vsIcon = 0, vsSmallIcon = 1, vsList = 2, vsReport = 3 };

  explicit TRepositoryListView(TRepositoryEntries& entries, QWidget* parent = nullptr);

  TViewStyle ViewStyle() const noexcept { return FViewStyle; }
  void SetViewStyle(TViewStyle style);
  // The list's client width (inside its border, scroll bars included).
  int ClientWidth() const;

  // Selected entries' rows, in list order; the first selected row or -1.
  std::vector<int> SelectedRows() const;
  int FirstSelected() const;
  void SelectRows(const std::vector<int>& rows);
  void SelectAll();

  // Batch updates nest; the list repaints when the last ends.
  void BeginUpdate();
  void EndUpdate();
  bool Updating() const noexcept { return FUpdates > 0; }

  // Shows the sort column and direction in the details view's header.
  void ShowSortIndicator(int column, bool descending);
  // The context menu (not owned).
  void SetPopupMenu(QMenu* menu) { FPopupMenu = menu; }
  void SetAccessibleName(const QString& name);

  // Widens the details view's columns that cut their texts (all but the last, whose texts are
  // long by nature), each up to half of `usableWidth`; a width the user dragged stays.
  void FitColumnsToTexts(int usableWidth);

  // Widths the user dragged, by column caption: they take the place of the page's widths, on
  // this page and on any other with a column of that caption.
  const TColumnWidths& RememberedWidths() const noexcept { return FRemembered; }
  void SetRememberedWidths(const TColumnWidths& widths);

  std::function<void(int column)> OnColumnClick;
  std::function<void()> OnDblClick;
  // The selection changed (also when the entries went).
  std::function<void()> OnSelectionChange;

  TRepositoryModel* Model;
  QListView* IconView;   // large icons, small icons and list
  QTreeView* ReportView; // details

private:
  void ApplyColumnWidths(int first, int last);
  void ShowPopup(QAbstractItemView* view, const QPoint& pos);

  TRepositoryEntries& FEntries;
  QStackedWidget* FStack;
  QMenu* FPopupMenu = nullptr;
  TViewStyle FViewStyle = vsReport;
  int FUpdates = 0;
  TColumnWidths FRemembered;
  bool FApplyingWidths = false; // the list itself is setting the widths
};

} // namespace dravik
