#include "qtdialogs.h"

#include "accessibility.h"
#include "pump.h"
#include "sysutils.h"
#include "winfs.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <algorithm>

namespace dravik {

static QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

QWidget* DialogParent() {
  return QApplication::activeWindow();
}

static QString Title() {
  QString t = QApplication::applicationDisplayName();
  return t.isEmpty() ? QApplication::applicationName() : t;
}

// Runs a message box, its picture named by the kind of message it shows (screen readers read
// the picture too).
static void Exec(QMessageBox& box) {
  static const std::pair<QMessageBox::Icon, const char*> kNames[] = {
      {QMessageBox::Warning, "Warning"},
      {QMessageBox::Critical, "Error"},
      {QMessageBox::Information, "Information"},
      {QMessageBox::Question, "Question"}};
  if (auto* icon = box.findChild<QLabel*>("qt_msgboxex_icon_label"))
    for (auto [kind, name] : kNames)
      if (box.icon() == kind) icon->setAccessibleName(name);
  box.exec();
}

// Names the two combo boxes of Qt's own file dialog, which it leaves without labels for screen
// readers, and puts the prefix's drives beside the usual places.
static void Furnish(QFileDialog& dlg) {
  for (auto [name, label] :
       {std::pair{"lookInCombo", "Look in"}, {"fileTypeCombo", "Files of type"}})
    if (auto* combo = dlg.findChild<QComboBox*>(name)) SetComboBoxName(combo, label);
  QList<QUrl> places = dlg.sidebarUrls();
  for (const std::string& root : winfs::DriveRoots()) {
    const QUrl place = QUrl::fromLocalFile(Q(winfs::ToHostPath(root)));
    if (!places.contains(place)) places << place;
  }
  dlg.setSidebarUrls(places);
}

int TQtDialogs::MessageDlg(const std::string& msg, TMsgDlgType type, const TMsgDlgButtons& buttons,
                           std::optional<TMsgDlgBtn> defaultButton) {
  static const char* kCaptions[] = {"Warning", "Error", "Information", "Confirm", ""};
  static const QMessageBox::Icon kIcons[] = {QMessageBox::Warning, QMessageBox::Critical,
                                             QMessageBox::Information, QMessageBox::Question,
                                             QMessageBox::NoIcon};
  struct TButtonInfo {
    const char* Text;
    int Result;
  };
  static const TButtonInfo kButtons[] = {
      {"&Yes", mrYes},     {"&No", mrNo},       {"OK", mrOk},          {"Cancel", mrCancel},
      {"&Abort", mrAbort}, {"&Retry", mrRetry}, {"&Ignore", mrIgnore}, {"&All", mrAll}};
  QMessageBox box(kIcons[type], kCaptions[type][0] ? kCaptions[type] : Title(), Q(msg),
                  QMessageBox::NoButton, DialogParent());
  std::vector<std::pair<QAbstractButton*, int>> made;
  for (TMsgDlgBtn b : buttons) {
    // One role for all keeps the buttons in the order the caller gave.
    QPushButton* button = box.addButton(kButtons[b].Text, QMessageBox::ActionRole);
    button->setAccessibleName(QString(kButtons[b].Text).remove('&'));
    made.push_back({button, kButtons[b].Result});
    if (made.size() == 1 || b == defaultButton) box.setDefaultButton(button);
  }
  // Closing the box answers Cancel or No, whichever it has.
  for (auto& [button, result] : made)
    if (result == mrCancel || (result == mrNo && !box.escapeButton())) box.setEscapeButton(button);
  Exec(box);
  for (auto& [button, result] : made)
    if (box.clickedButton() == button) return result;
  for (TMsgDlgBtn b : buttons)
    if (b == mbCancel) return mrCancel;
  return mrNo;
}

void TQtDialogs::ShowMessage(const std::string& msg) {
  QMessageBox box(QMessageBox::NoIcon, Title(), Q(msg), QMessageBox::Ok, DialogParent());
  Exec(box);
}

bool TQtDialogs::InputQuery(const std::string& caption, const std::string& prompt,
                            std::string& value) {
  bool ok = false;
  QString text = QInputDialog::getText(DialogParent(), Q(caption), Q(prompt), QLineEdit::Normal,
                                       Q(value), &ok);
  if (ok) value = text.toStdString();
  return ok;
}

std::string QtFilter(const std::string& filter) {
  std::string out;
  size_t pos = 0;
  while (pos <= filter.size()) {
    size_t bar = filter.find('|', pos);
    std::string desc = filter.substr(pos, bar == std::string::npos ? std::string::npos : bar - pos);
    std::string masks;
    if (bar != std::string::npos) {
      size_t next = filter.find('|', bar + 1);
      masks =
          filter.substr(bar + 1, next == std::string::npos ? std::string::npos : next - bar - 1);
      pos = next == std::string::npos ? filter.size() + 1 : next + 1;
    } else {
      pos = filter.size() + 1;
    }
    if (desc.empty() && masks.empty()) continue;
    for (char& c : masks)
      if (c == ';') c = ' ';
    if (!out.empty()) out += ";;";
    // Qt shows the masks itself; a description that already names them keeps its text.
    out += desc.find('(') != std::string::npos ? desc.substr(0, desc.find('(')) : desc;
    while (!out.empty() && out.back() == ' ')
      out.pop_back();
    out += " (" + masks + ")";
  }
  return out;
}

bool TQtDialogs::Execute(TFileDialog& d, bool save) {
  QFileDialog dlg(DialogParent(), Q(d.Title.empty() ? (save ? "Save As" : "Open") : d.Title));
  dlg.setOption(QFileDialog::DontUseNativeDialog, false);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile
                       : (d.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile));
  if (save && !d.OverwritePrompt) dlg.setOption(QFileDialog::DontConfirmOverwrite, true);
  QStringList filters = Q(QtFilter(d.Filter)).split(";;", Qt::SkipEmptyParts);
  if (!filters.isEmpty()) {
    dlg.setNameFilters(filters);
    int index = d.FilterIndex - 1;
    if (index >= 0 && index < filters.size()) dlg.selectNameFilter(filters[index]);
  }
  if (!d.DefaultExt.empty()) dlg.setDefaultSuffix(Q(d.DefaultExt));
  std::string dir = d.InitialDir.empty() ? std::string() : winfs::ToHostPath(d.InitialDir);
  if (!dir.empty()) dlg.setDirectory(Q(dir));
  if (!d.FileName.empty()) dlg.selectFile(Q(ExtractFileName(d.FileName)));
  // Only files on the prefix's drives can be chosen.
  Furnish(dlg);
  if (dlg.exec() != QDialog::Accepted) return false;
  d.Files.clear();
  for (const QString& f : dlg.selectedFiles()) {
    std::optional<std::string> win = winfs::ToWindowsPath(f.toStdString());
    if (win) d.Files.push_back(*win);
  }
  if (d.Files.empty()) {
    ShowMessage("The chosen file is outside every drive of the Wine prefix.");
    return false;
  }
  d.FileName = d.Files.front();
  d.FilterIndex = static_cast<int>(filters.indexOf(dlg.selectedNameFilter())) + 1;
  return true;
}

void TQtDialogs::ShowException(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, Title(), Q(message), QMessageBox::Ok, DialogParent());
  Exec(box);
}

bool TQtDialogs::ChooseItem(const std::string& caption, const std::string& prompt,
                            const std::vector<std::string>& items, int& index) {
  QStringList list;
  for (const std::string& item : items)
    list << Q(item);
  if (list.isEmpty()) return false;
  bool ok = false;
  const QString chosen =
      QInputDialog::getItem(DialogParent(), Q(caption), Q(prompt), list,
                            std::clamp(index, 0, int(list.size()) - 1), false, &ok);
  if (!ok) return false;
  index = static_cast<int>(list.indexOf(chosen));
  return index >= 0;
}

bool TQtDialogs::SelectHostFolder(const std::string& caption, std::string& folder) {
  QFileDialog dlg(DialogParent(), Q(caption), Q(folder));
  dlg.setFileMode(QFileDialog::Directory);
  dlg.setOption(QFileDialog::ShowDirsOnly, true);
  // Wine prefixes are mostly hidden folders (~/.wine, ~/.local/share/...).
  dlg.setFilter(QDir::AllDirs | QDir::Hidden | QDir::NoDotAndDotDot);
  Furnish(dlg);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  folder = dlg.selectedFiles().front().toStdString();
  return true;
}

bool TQtDialogs::WaitUntil(const std::string& msg, const std::function<bool()>& done) {
  if (done()) return true;
  QMessageBox box(QMessageBox::Information, Title(), Q(msg), QMessageBox::NoButton, DialogParent());
  QPushButton* cancel = box.addButton("Cancel", QMessageBox::RejectRole);
  cancel->setAccessibleName("Cancel");
  box.setEscapeButton(cancel);
  bool finished = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, &box, [&] {
    if (!done()) return;
    finished = true;
    box.done(QDialog::Accepted);
  });
  timer.start(500);
  Exec(box);
  return finished;
}

void InstallQtMessagePump() {
  SetMessagePump([] { QCoreApplication::processEvents(QEventLoop::AllEvents); });
}

} // namespace dravik
