#include "patchform.h"

#include "addpatch.h"
#include "app/drop/drop.h"
#include "application.h"
#include "commandline.h"
#include "net/dlstatus.h"
#include "net/retriever.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "patchlistview.h"
#include "patchorder.h"
#include "patchsetsui.h"
#include "platform/icons.h"
#include "platform/instance.h"
#include "platform/pendingsaves.h"
#include "platform/placewindow.h"
#include "platform/scopeexit.h"
#include "platform/sound.h"
#include "platform/sysutils.h"
#include "propertyform.h"
#include "repository/repositoryform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <algorithm>
#include <utility>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Brings the window up to date when the scope ends, however it ends. An error while redrawing
// is dropped: it must neither hide the command's own error nor escape a destructor.
template <typename F> auto RedrawAtExit(F redraw) {
  return TScopeExit([redraw = std::move(redraw)]() noexcept {
    try {
      redraw();
    } catch (...) {
    }
  });
}

const char* const kDefaultAddFilter = "GOB Files (*.gob)|*.gob|ZIP Files (*.zip)|*.zip";

} // namespace

TPatchForm::TPatchForm(const std::vector<std::string>& args, QWidget* parent)
    : QMainWindow(parent) {
  setObjectName("PatchForm");
  setWindowTitle("Halvex Dravik");
  OpenDialog1.Title = "Add Patch";
  OpenDialog1.Filter = kDefaultAddFilter;
  OpenDialog1.MultiSelect = true;
  OpenDialog1.MustExist = true;

  CreateMenus();
  CreateToolBar();
  CreatePatchList();
  CreateStatusBar();
  CreateDropTarget();
  CreatePatchSets();
  CentreOnScreen(this, QSize(468, 542));

  SetMainWindow(this);
  // Saves what waits for Wine as soon as Wine has ended.
  FWineWatch = new QTimer(this);
  FWineWatch->setObjectName("WineWatch");
  connect(FWineWatch, &QTimer::timeout, this, [this] { WineWatchTimer(); });
  FWineWatch->start(1000);
  FormCreate(args);
}

TPatchForm::~TPatchForm() {
  // FormDestroy. What Wine refuses waits; then one question names all that waits.
  Guarded([this] { SaveSettings(false); });
  Guarded([] { PendingSaves().SaveOrDiscard(); });
  // The list and its model go first, while this is still a whole TPatchForm for them to ask.
  delete DropControl1;
  delete PatchList;
  delete PatchListModel;
  AppList.reset();
  if (MainWindow() == this) SetMainWindow(nullptr);
}

// ---------------------------------------------------------------------------------------------
// The patch list

int TPatchForm::SelectedRow() const {
  const QModelIndexList rows = PatchList->selectionModel()->selectedRows();
  if (rows.isEmpty()) return -1;
  const TPatchList* list = CurrentList();
  const int row = rows.front().row();
  return list && row < list->Count() ? row : -1;
}

void TPatchForm::PatchListChange() {
  const int row = SelectedRow();
  FSelectedRow = row;
  FSelectedFile = row >= 0 ? (*CurrentList())[row]->FileName() : std::string();
  UpdateActivateControls(row);
  // The commands on the selected patch do nothing without one, so they are not offered.
  for (QAction* item : {Activate1, Activate2, RemovePatch1, Delete1, Properties2, Properties1})
    item->setEnabled(row >= 0);
  for (QToolButton* button : {ActivateButton, DeleteButton, PropertiesButton})
    button->setEnabled(row >= 0);
}

void TPatchForm::SelectRow(int row) {
  if (row == SelectedRow()) return;
  if (row < 0)
    PatchList->selectionModel()->clear();
  else
    PatchList->selectionModel()->setCurrentIndex(PatchListModel->index(row, 0),
                                                 QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
}

bool TPatchForm::PatchListKeyPress(QKeyEvent* event) {
  const int key = event->key();
  if (event->modifiers() & ~Qt::KeypadModifier) return false; // Alt+Enter: properties
  if (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter) return false;
  Guarded([this] { ActivateClick(); });
  return true;
}

void TPatchForm::PatchListColumnClick(int column) {
  TPatchList* list = CurrentList();
  if (!list) return;
  OrderByColumn(*list, column, SortColumn, SortDescending);
  RefreshView();
}

void TPatchForm::PatchListDblClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto repaint = RedrawAtExit([this, row] {
    PatchListModel->Repaint();
    UpdateActivateControls(row);
    ShowCounts();
  });
  TogglePatch(row);
}

void TPatchForm::ActivateClick() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto refresh = RedrawAtExit([this, row] {
    RefreshView();
    UpdateActivateControls(row);
  });
  TogglePatch(row);
}

void TPatchForm::RemovePatch1Click() {
  const int row = SelectedRow();
  if (row < 0) return;
  auto refresh = RedrawAtExit([this] { RefreshView(); });
  CurrentApp()->DeletePatch(CurrentApp()->Patches[row]);
}

void TPatchForm::Refresh1Click() {
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  std::string warning;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    warning = app->Rescan();
  }
  ShowStoreWarning(warning);
}

void TPatchForm::DeactivateAll1Click() {
  TPatchList* list = CurrentList();
  if (!list) return;
  auto refresh = RedrawAtExit([this] {
    RefreshView();
    UpdateActivateControls(SelectedRow());
  });
  for (int i = 0; i < list->Count(); ++i)
    if ((*list)[i]->State() == psActive) TogglePatch(i);
}

void TPatchForm::Properties2Click() {
  const int row = SelectedRow();
  if (row < 0 || !Application() || !Application()->PropertyForm) return;
  TPropertyForm* form = Application()->PropertyForm.get();
  form->Patch = CurrentApp()->Patches[row];
  form->List = &CurrentApp()->Patches;
  TScopeExit forget([form] {
    form->Patch = nullptr;
    form->List = nullptr;
  });
  form->exec();
}

void TPatchForm::ConflictOptionClick() {
  ConflictOption->setChecked(!ConflictOption->isChecked());
  UpdateConflictColumn();
  RefreshView();
}

void TPatchForm::Exit1Click() {
  close();
}

void TPatchForm::TogglePatch(int row) {
  CurrentApp()->ToggleActive(row);
  PlaySoundResource("CLICK");
}

void TPatchForm::UpdateActivateControls(int row) {
  const TPatchList* list = CurrentList();
  if (row < 0 || !list || row >= list->Count()) return;
  const bool active = (*list)[row]->Active != 0;
  const char* caption = active ? "De&activate" : "&Activate";
  Activate1->setText(caption);
  Activate2->setText(caption);
  ActivateButton->setChecked(active);
}

void TPatchForm::SizeColumns() {
  if (FUserSized[0]) return;
  const TPatchList* list = CurrentList();
  const QFontMetrics metrics(PatchList->font());
  int widest = 0;
  for (int i = 0; list && i < list->Count(); ++i)
    widest = std::max(widest, metrics.horizontalAdvance(Q((*list)[i]->Name)));
  // Room for the state picture and the margins the row's drawing keeps; never below the
  // width the window starts with, nor so wide that the other columns leave the view.
  const int wanted = widest + StatePicture(0).deviceIndependentSize().toSize().width() + 16;
  const int most = std::max(kNameColumnWidth, PatchList->viewport()->width() * 3 / 5);
  FSizingColumns = true;
  TScopeExit sized([this] { FSizingColumns = false; });
  PatchList->header()->resizeSection(0, std::clamp(wanted, kNameColumnWidth, most));
}

void TPatchForm::ShowCounts() {
  const TPatchList* list = CurrentList();
  const TStateCounts counts = list ? list->CountStates() : TStateCounts{};
  PatchCounts->setText(Q(Format(counts.Patches == 1 ? "%d patch, %d active, %d blocked"
                                                    : "%d patches, %d active, %d blocked",
                                counts.Patches, counts.Active, counts.Blocked)));
}

void TPatchForm::RememberView() {
  if (FUserSized[0]) FView.NameColumnWidth = PatchList->header()->sectionSize(0);
  if (FUserSized[1]) FView.TypeColumnWidth = PatchList->header()->sectionSize(1);
  if (FRepositoryForm) FView.Repository = FRepositoryForm->ColumnWidths();
}

void TPatchForm::UpdateConflictColumn() {
  const bool on = ConflictOption->isChecked();
  PatchListModel->SetActiveConflictsOnly(on, on ? "Active Conflicts" : "Conflicts");
}

void TPatchForm::RefreshView() {
  const TPatchList* list = CurrentList();
  const int count = list ? list->Count() : 0;
  PatchListModel->SetRowCount(count);
  // The selected patch wherever it now stands; when it is gone, the one that took its row.
  int row = -1;
  if (!FSelectedFile.empty()) {
    for (int i = 0; i < count && row < 0; ++i)
      if ((*list)[i]->FileName() == FSelectedFile) row = i;
    if (row < 0) row = std::min(FSelectedRow, count - 1);
  }
  SelectRow(row);
  PatchListChange();
  SizeColumns();
  ShowCounts();
  // The header shows the order the list is really in.
  const int column = list ? SortedColumn(*list) : -1;
  PatchList->header()->setSortIndicator(column, list && list->Descending ? Qt::DescendingOrder
                                                                         : Qt::AscendingOrder);
  PatchList->viewport()->update();
  if (PatchSets) PatchSets->Update();
}

// ---------------------------------------------------------------------------------------------
// Adding patches

TDownloader* TPatchForm::Downloader() const {
  return Application() ? Application()->Retriever.get() : nullptr;
}

void TPatchForm::ShowStoreWarning(const std::string& warning) {
  if (!warning.empty()) Dialogs().MessageDlg(warning, mtWarning, {mbOK});
}

void TPatchForm::AddPatch1Click() {
  OpenDialog1.InitialDir = AddPatchFolder(FView.AddFolder);
  if (!Dialogs().Execute(OpenDialog1, false)) return;
  if (!OpenDialog1.Files.empty()) FView.AddFolder = ExtractFilePath(OpenDialog1.Files.front());
  THXPatchedApp* app = CurrentApp();
  if (!app) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    report = TInstaller(*app, Downloader()).InstallFiles(OpenDialog1.Files);
  }
  ShowInstallFailures(report);
}

void TPatchForm::DropControl1Drop(const std::vector<std::string>& formats,
                                  const std::vector<std::string>& strings) {
  if (formats.empty()) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    if (formats.front() == "UniformResourceLocator" || formats.front() == "Netscape Bookmark") {
      if (!strings.empty()) report = InstallURLs({strings.front()});
    } else if (THXPatchedApp* app = CurrentApp()) {
      report = TInstaller(*app, Downloader()).InstallFiles(strings);
    }
  }
  ShowInstallFailures(report);
}

void TPatchForm::ReceiveArguments(const THandedOver& what) {
  FPendingItems.insert(FPendingItems.end(), what.Items.begin(), what.Items.end());
  FPendingUnknown.insert(FPendingUnknown.end(), what.Unknown.begin(), what.Unknown.end());
  if (what.Set) {
    FStartSet = what.Set;
    SwitchToStartSet();
  }
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  QTimer::singleShot(0, this, [this] { Guarded([this] { InstallArguments(); }); });
}

void TPatchForm::InstallArguments() {
  if (FPendingItems.empty() && FPendingUnknown.empty()) return;
  // A question, dialog or download under way runs an event loop of its own: the files wait.
  const bool downloading =
      Application() && Application()->Retriever && Application()->Retriever->Busy();
  if (FInstallingArguments || downloading || QApplication::activeModalWidget()) {
    QTimer::singleShot(250, this, [this] { Guarded([this] { InstallArguments(); }); });
    return;
  }
  FInstallingArguments = true;
  TScopeExit done([this] { FInstallingArguments = false; });
  const std::vector<std::string> items = std::exchange(FPendingItems, {});
  const std::string unknown = UnknownArgumentsMessage(std::exchange(FPendingUnknown, {}));
  if (!unknown.empty()) Dialogs().MessageDlg(unknown, mtWarning, {mbOK});
  THXPatchedApp* app = CurrentApp();
  if (!app || items.empty()) return;
  TInstallReport report;
  {
    auto refresh = RedrawAtExit([this] { RefreshView(); });
    TInstaller installer(*app, Downloader());
    report = InstallItems(installer, items);
  }
  ShowInstallFailures(report);
}

void TPatchForm::InstallFromURL(const std::string& url) {
  ShowInstallFailures(InstallURLs({url}));
}

TInstallReport TPatchForm::InstallURLs(const std::vector<std::string>& urls) {
  THXPatchedApp* app = CurrentApp();
  if (!app) return {};
  return TInstaller(*app, Downloader()).InstallURLs(urls);
}

LRESULT TPatchForm::HandleMessage(unsigned message, WPARAM, LPARAM lParam) {
  switch (message) {
  case WM_REFRESH:
    Refresh1Click();
    return 0;
  case WM_GET_GAME:
    return reinterpret_cast<LRESULT>(CurrentApp());
  case WM_DOWNLOAD_INSTALL:
    if (auto* request = reinterpret_cast<TDownloadInstallRequest*>(lParam))
      request->Report = InstallURLs({request->URL});
    return 0;
  case WM_REPOSITORY_SHOWN:
    SetRepositoryShown(true);
    return 0;
  case WM_REPOSITORY_HIDDEN:
    SetRepositoryShown(false);
    return 0;
  case WM_GET_STATUS_DIALOG:
    return reinterpret_cast<LRESULT>(StatusDialog());
  }
  return 0;
}

void TPatchForm::closeEvent(QCloseEvent* event) {
  QMainWindow::closeEvent(event);
  if (event->isAccepted()) DropControl1->SetControl(nullptr);
  if (event->isAccepted() && Application()) Application()->Terminate();
}

} // namespace dravik
