#include "repositoryform.h"

#include "net/statusdialog.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "placement.h"
#include "platform/dialogs.h"
#include "platform/html.h"
#include "platform/pendingsaves.h"
#include "platform/placewindow.h"
#include "platform/shell.h"
#include "platform/sysutils.h"
#include "repositoryhost.h"
#include "repositorylist.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QHideEvent>
#include <QLocale>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QToolButton>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// Places a window's frame at `bounds` (the size given is the frame's).
void SetFrameBounds(QWidget* window, const TBounds& bounds) {
  const QMargins m = FrameMargins(window);
  const int dw = m.left() + m.right(), dh = m.top() + m.bottom();
  window->resize(std::max(bounds.Width - dw, 1), std::max(bounds.Height - dh, 1));
  MoveFrame(window, QPoint(bounds.Left, bounds.Top));
}

} // namespace

std::optional<long> ShortDateDays(std::string_view raw, const QLocale& locale) {
  if (std::optional<long> iso = ISODateDays(raw)) return iso;
  const QString text = Q(Trim(raw));
  if (text.isEmpty()) return std::nullopt;
  QString format = locale.dateFormat(QLocale::ShortFormat);
  QDate date;
  const bool twoDigits = !format.contains("yyyy") && format.contains("yy");
  if (twoDigits) {
    QString four = format;
    four.replace("yy", "yyyy");
    date = locale.toDate(text, four);
    if (date.isValid() && date.year() < 1000) date = QDate(); // a short year read as four
  }
  if (!date.isValid()) {
    date = locale.toDate(text, format);
    if (date.isValid() && twoDigits && date.year() < 1950) date = date.addYears(100);
  }
  if (!date.isValid()) return std::nullopt;
  return long(date.toJulianDay() - QDate(1970, 1, 1).toJulianDay());
}

TRepositoryForm::TRepositoryForm(QWidget* mainWindow, TRepositoryHost* host)
    : QWidget(nullptr, Qt::Window), FMainWidget(mainWindow), FHost(host) {
  setObjectName("RepositoryForm");
  setWindowTitle("Patch Repository");
  setAttribute(Qt::WA_QuitOnClose, false);
  resize(546, 420);

  CreateCoolBar();
  CreatePanes();
  ArrangeControls();
  CreateFileMenu();
  CreateViewMenus();
  ConnectHandlers();

  // FormCreate.
  RepositoryListForm = new TRepositoryListForm(this, host);
  UpdateCommands();
  StatusDialog = host ? host->StatusDialog() : nullptr;
}

TRepositoryForm::~TRepositoryForm() {
  // The panes refer to the reader's data, which goes before the widgets do.
  delete HTML1;
  delete ListView1;
}

THXPatchedApp* TRepositoryForm::Game() const {
  return FHost ? FHost->CurrentApp() : nullptr;
}

// -- Showing and hiding ------------------------------------------------------------------------

void TRepositoryForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!event->spontaneous()) Guarded([this] { FormShow(); });
}

void TRepositoryForm::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (!event->spontaneous()) Guarded([this] { FormHide(); });
}

void TRepositoryForm::FormShow() {
  ReloadNames();
  SendMessage(MainWindow(), WM_REPOSITORY_SHOWN, 0, 0);
  PlaceBesideMainWindow();
  LastRepository = RepositoryName->currentText().toStdString();
  // The page of the first refresh may still be on its way; only a list left empty with
  // nothing coming is refreshed again.
  if (Entries.Count() == 0 && !HTML1->Busy()) RefreshButtonClick();
}

void TRepositoryForm::PlaceBesideMainWindow() {
  if (!FMainWidget) {
    MainWindowBounds.reset();
    return;
  }
  const QRect frame = FMainWidget->frameGeometry();
  MainWindowBounds = frame;
  QScreen* screen = FMainWidget->screen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  // Neither window is made narrower than it can be drawn: it would stand out past the screen.
  const TWindowPlacement p = dravik::PlaceBesideMainWindow(
      {frame.x(), frame.y(), frame.width(), frame.height()}, frameGeometry().width(), area.width(),
      area.left(), LeastFrameSize(FMainWidget).width(), LeastFrameSize(this).width());
  SetFrameBounds(FMainWidget, p.Main);
  SetFrameBounds(this, p.Repository);
}

void TRepositoryForm::FormHide() {
  if (MainWindowBounds && FMainWidget) {
    const QRect r = *MainWindowBounds;
    SetFrameBounds(FMainWidget, {r.x(), r.y(), r.width(), r.height()});
  }
  SendMessage(MainWindow(), WM_REPOSITORY_HIDDEN, 0, 0);
}

void TRepositoryForm::Close1Click() {
  hide();
}

// -- Repositories and pages --------------------------------------------------------------------

void TRepositoryForm::ReloadNames() {
  THXPatchedApp* game = Game();
  RepositoryName->clear();
  if (game) {
    for (int i = 0; i < game->Repositories.Count(); ++i)
      RepositoryName->addItem(Q(game->Repositories.Names(i)));
  }
  if (RepositoryName->count() > 0) RepositoryName->setCurrentIndex(0);
  // The name shown now is the one to tell a real change from, so that picking the one shown
  // before the reload reads it again.
  LastRepository = RepositoryName->currentText().toStdString();
  RefreshButtonClick();
}

void TRepositoryForm::RepositoryNameChange() {
  const std::string name = RepositoryName->currentText().toStdString();
  if (name.empty() || name == LastRepository) return;
  LastRepository = name;
  RefreshButtonClick();
}

void TRepositoryForm::RefreshButtonClick() {
  const std::string name = RepositoryName->currentText().toStdString();
  if (name.empty()) {
    // No repository (the game has none): nothing of the page shown before, which may belong
    // to another game, stays to be installed.
    if (HTML1->Busy()) Stop1Click();
    HTML1->Clear();
    ResetForPage();
    UpdateCommands();
    return;
  }
  THXPatchedApp* game = Game();
  std::string url = game ? game->Repositories.Values(name) : std::string();
  if (url.empty()) url = name;
  HTML1->Cancel("");
  ResetForPage();
  HTML1->RequestDoc(url);
  UpdateCommands();
}

void TRepositoryForm::Stop1Click() {
  HTML1->Cancel("");
  if (StatusDialog) StatusDialog->Hide();
  EndPageUpdate();
  UpdateCommands();
}

void TRepositoryForm::UpdateCommands() {
  const bool selected = !ListView1->SelectedRows().empty();
  for (QAction* item : {Install1, InstallSelected1})
    item->setEnabled(selected);
  InstallButton->setEnabled(selected);
  const bool reading = HTML1->Busy();
  Stop1->setEnabled(reading);
  AbortButton->setEnabled(reading);
}

void TRepositoryForm::StatusCancelClicked() {
  Stop1Click();
}

void TRepositoryForm::HTML1DoRequestDoc(const std::string& url, bool& enableDefault) {
  DoRequestDoc(url, enableDefault);
}

void TRepositoryForm::HTML1BeginRetrieval() {
  BeginRetrieval(HTML1->BytesTotal());
}

void TRepositoryForm::HTML1UpdateRetrieval() {
  UpdateRetrieval(HTML1->BytesDone(), HTML1->BytesTotal());
}

void TRepositoryForm::HTML1DoNewElement(const std::string& elementType, bool endTag,
                                        const THTMLAttributes& attributes, const std::string& text,
                                        bool& enableDefault) {
  DoNewElement(elementType, endTag, attributes, text, enableDefault);
}

void TRepositoryForm::HTML1ParseComplete() {
  ParseComplete();
  ListView1->FitColumnsToTexts(ListUsableWidth());
  ListView1->ShowSortIndicator(SortColumn, SortDescending);
  UpdateCommands();
}

int TRepositoryForm::ListUsableWidth() const {
  return ListView1->ClientWidth() - ListView1->style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 2;
}

void TRepositoryForm::ListBeginUpdate() {
  ListView1->BeginUpdate();
}

void TRepositoryForm::ListEndUpdate() {
  ListView1->EndUpdate();
}

void TRepositoryForm::OpenInBrowser(const std::string& url) {
  ShellExecute(THTML::DesktopURL(url), "", "", SW_SHOWNORMAL);
}

std::string TRepositoryForm::PageURL() const {
  return HTML1->DocumentURL();
}

std::optional<long> TRepositoryForm::DateOf(std::string_view text) const {
  return ShortDateDays(text, QLocale::system());
}

// -- The list ----------------------------------------------------------------------------------

void TRepositoryForm::ListView1ColumnClick(int column) {
  if (column == SortColumn) {
    SortDescending = !SortDescending;
  } else {
    SortColumn = column;
    SortDescending = false;
  }
  SortEntries();
  ListView1->ShowSortIndicator(SortColumn, SortDescending);
}

void TRepositoryForm::ListView1Resize() {
  if (ListView1->ViewStyle() != TRepositoryListView::vsReport) return;
  LayoutColumns();
  ListView1->FitColumnsToTexts(ListUsableWidth());
}

void TRepositoryForm::ViewStyleClick(QAction* item) {
  const int tag = std::clamp(item->data().toInt(), 0, 3);
  ListView1->BeginUpdate();
  ListView1->SetViewStyle(TRepositoryListView::TViewStyle(tag));
  ListView1Resize();
  MainViewItems[size_t(tag)]->setChecked(true);
  PopupViewItems[size_t(tag)]->setChecked(true);
  ListView1->EndUpdate();
}

void TRepositoryForm::ViewButtonClick() {
  if (MainViewItems[3]->isChecked()) {
    ViewStyleClick(MainViewItems[0]);
    return;
  }
  for (size_t i = 0; i + 1 < MainViewItems.size(); ++i)
    if (MainViewItems[i]->isChecked()) {
      ViewStyleClick(MainViewItems[i + 1]);
      return;
    }
}

void TRepositoryForm::SelectAll1Click() {
  ListView1->BeginUpdate();
  ListView1->SelectAll();
  ListView1->EndUpdate();
}

std::string TRepositoryForm::EntryURL(const TRepositoryEntry& entry) {
  return ResolveLink(URLParser, HTML1->DocumentURL(), entry.Link());
}

TInstallReport TRepositoryForm::Install(const std::vector<int>& rows) {
  // The addresses are taken first: the list may change while the patches download.
  TInstallReport unresolved;
  std::vector<std::string> urls;
  for (int row : rows) {
    const TRepositoryEntry& entry = Entries[row];
    if (entry.Link().empty()) continue; // nothing to download
    try {
      urls.push_back(EntryURL(entry));
    } catch (const Exception& e) {
      unresolved.push_back(
          {ioFailed, entry.Link(), Format("Cannot download %s: %s", entry.Link(), e.Message())});
    }
  }
  TInstallReport report = FHost ? FHost->InstallURLs(urls) : TInstallReport{};
  report.insert(report.begin(), unresolved.begin(), unresolved.end());
  // The main window's list shows the new patches only once it has re-read its store.
  SendMessage(MainWindow(), WM_REFRESH, 0, 0);
  return report;
}

void TRepositoryForm::Install1Click() {
  ShowInstallFailures(Install(ListView1->SelectedRows()));
}

void TRepositoryForm::ListView1DblClick() {
  const int row = ListView1->FirstSelected();
  if (row < 0 || Entries[row].Link().empty()) return;
  ShowInstallFailures(Install({row}));
}

std::string TRepositoryForm::DragText(const std::vector<int>& rows) {
  std::string text;
  for (int row : rows) {
    if (row < 0 || row >= Entries.Count() || Entries[row].Link().empty()) continue;
    try {
      text += EntryURL(Entries[row]) + "\n";
    } catch (const Exception&) {
      // Installing it reports the error.
    }
  }
  return text;
}

void TRepositoryForm::EditRepositoryList1Click() {
  THXPatchedApp* game = Game();
  if (!game) return;
  if (RepositoryListForm->exec() != QDialog::Accepted) return;
  TStringList lines;
  RepositoryListForm->StoreTo(lines);
  game->Repositories.Assign(lines);
  // While Wine holds the registry the list may wait to be saved; the window shows it meanwhile.
  const int number = game->Number;
  PendingSaves().Save(Format("repositories %d", number), "the repository list of " + game->AppName,
                      [number, lines] { THXPatchedApp::SaveRepositories(number, lines); });
  ReloadNames();
}

LRESULT TRepositoryForm::HandleMessage(unsigned message, WPARAM, LPARAM) {
  switch (message) {
  case WM_REFRESH:
    ReloadNames();
    return 0;
  case WM_INSTALL_SELECTED:
    Install1Click();
    return 0;
  }
  return 0;
}

TRepositoryForm* RepositoryForm(QWidget* mainWindow, TRepositoryHost* host) {
  static QPointer<TRepositoryForm> form;
  if (!form) {
    form = new TRepositoryForm(mainWindow, host);
    if (mainWindow) {
      TRepositoryForm* made = form;
      QObject::connect(mainWindow, &QObject::destroyed, made, [made] { delete made; });
    }
  }
  return form;
}

} // namespace dravik
