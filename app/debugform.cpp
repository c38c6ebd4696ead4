#include "debugform.h"

#include "application.h"
#include "debugreport.h"
#include "patchform.h"

#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace dravik {

TDebugForm::TDebugForm(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("DebugForm");
  setWindowTitle("Dravik Debug Info");
  resize(572, 232);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setAccessibleName("Debug information");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Memo1);
}

void TDebugForm::FormShow() {
  Memo1->clear();
  TPatchForm* main = Application() ? Application()->PatchForm.get() : nullptr;
  std::vector<std::string> lines =
      main ? DebugReportLines(main->CurrentApp(), main->GameParameters())
           : DebugReportLines(nullptr, std::string());
  QStringList text;
  for (const std::string& line : lines)
    text << QString::fromStdString(line);
  Memo1->setPlainText(text.join('\n'));
}

void TDebugForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (event->spontaneous()) return;
  try {
    FormShow();
  } catch (const std::exception& e) {
    Memo1->setPlainText(QString::fromStdString(e.what()));
  }
}

} // namespace dravik
