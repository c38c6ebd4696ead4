// The main window's side of the repository window: showing and hiding it, what it asks of the
// main window, and drops of its entries on the patch list; and the keys of the patch list.
#include "application.h"
#include "net/dlstatus.h"
#include "patchform.h"
#include "platform/dialogs.h"
#include "platform/messages.h"
#include "repository/repositoryform.h"

#include <QAction>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace dravik {

void TPatchForm::RepositoryButtonClick() {
  // Made on first use and kept; it reports its showing and hiding with WM_REPOSITORY_SHOWN and
  // WM_REPOSITORY_HIDDEN, which set the button and the menu caption.
  if (!FRepositoryForm) {
    FRepositoryForm = RepositoryForm(this, this);
    FRepositoryForm->SetColumnWidths(FView.Repository);
  }
  FRepositoryForm->setVisible(!FRepositoryForm->isVisible());
}

TStatusDialog* TPatchForm::StatusDialog() const {
  return Application() ? Application()->DLStatus.get() : nullptr;
}

bool TPatchForm::PatchListDragOver(const QMimeData* data) const {
  return data && data->hasFormat(kRepositoryEntriesMime);
}

void TPatchForm::PatchListDragDrop() {
  // The repository window installs its selected entries and then asks for a refresh.
  if (FRepositoryForm) SendMessage(FRepositoryForm, WM_INSTALL_SELECTED, 0, 0);
}

bool TPatchForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == PatchList && event->type() == QEvent::KeyPress &&
      PatchListKeyPress(static_cast<QKeyEvent*>(event)))
    return true;
  // Compared by the pointer kept at set-up: the list may be part-way through its destruction.
  if (watched != FPatchListViewport) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
  case QEvent::DragEnter:
  case QEvent::DragMove: {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (!PatchListDragOver(drag->mimeData())) break;
    drag->acceptProposedAction();
    return true;
  }
  case QEvent::Drop: {
    auto* drop = static_cast<QDropEvent*>(event);
    if (!PatchListDragOver(drop->mimeData())) break;
    drop->acceptProposedAction();
    // After the drop has ended: the installation asks questions and shows progress.
    QTimer::singleShot(0, this, [this] { Guarded([this] { PatchListDragDrop(); }); });
    return true;
  }
  default:
    break;
  }
  return QMainWindow::eventFilter(watched, event);
}

void TPatchForm::SetRepositoryShown(bool shown) {
  RepositoryButton->setChecked(shown);
  PatchRepository1->setText(shown ? "Hide Re&pository Window" : "Show Re&pository Window");
}

} // namespace dravik
