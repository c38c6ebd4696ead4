// The GOB editor's directory tree (DirTree): while it has the focus the keys of its own menu
// take precedence over the window's; it takes member rows dragged from the member list; it
// outlines the directory under a drag from another program; and it hands committed caption
// edits on. User-interface thread only.
#pragma once

#include <QList>
#include <QTreeWidget>
#include <functional>

class QAction;

namespace dravik {

class TDirTree : public QTreeWidget {
public:
  explicit TDirTree(QWidget* parent);

  // The directory menu's items (not owned), whose shortcuts the tree takes while it has the
  // focus; a disabled item swallows its key.
  void SetMenuItems(QList<QAction*> items) { FMenuItems = std::move(items); }
  // The member list whose rows are dragged onto the tree (not owned).
  void SetRowSource(const QWidget* list) { FRowSource = list; }

  QTreeWidgetItem* ItemFromIndex(const QModelIndex& index) const { return itemFromIndex(index); }

  // Rows of the member list over `item` (null: no directory there): whether it takes them.
  std::function<bool(QTreeWidgetItem* item)> OnRowsOver;
  // Rows of the member list dropped on `item`.
  std::function<void(QTreeWidgetItem* item)> OnRowsDropped;
  // The item to outline as the target of a drag from another program (null: none).
  std::function<const QTreeWidgetItem*()> Outlined;
  // A committed edit of an item's caption.
  std::function<void(QTreeWidgetItem* item, const QString& caption)> OnCaptionEdited;

protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

private:
  QAction* MenuItemFor(QKeyEvent* e) const;
  bool FromRowSource(const QDropEvent* e) const;

  QList<QAction*> FMenuItems;
  const QWidget* FRowSource = nullptr;
};

} // namespace dravik
