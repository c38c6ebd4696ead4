#include "dlstatus.h"

#include "platform/placewindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <climits>

namespace dravik {

TDLStatus::TDLStatus(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setFixedSize(281, 105);
  setModal(false);

  Status1 = new QLabel(this);
  Status1->setObjectName("Status1");
  Status1->setGeometry(4, 4, 273, 17);
  Status1->setTextFormat(Qt::PlainText);

  Status2 = new QLabel(this);
  Status2->setObjectName("Status2");
  Status2->setGeometry(4, 24, 273, 17);
  Status2->setTextFormat(Qt::PlainText);

  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setGeometry(4, 48, 273, 16);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setTextVisible(false);
  ProgressBar1->setEnabled(false);
  ProgressBar1->setAccessibleName("Progress");

  CancelButton = new QPushButton(tr("&Cancel"), this);
  CancelButton->setObjectName("CancelButton");
  CancelButton->setGeometry(103, 72, 75, 25);
  CancelButton->setDefault(true);
  CancelButton->setFocus();
  connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButtonClick(); });
}

void TDLStatus::SetCaption(const std::string& caption) {
  setWindowTitle(QString::fromStdString(caption));
}

void TDLStatus::SetStatus1(const std::string& text) {
  Status1->setText(QString::fromStdString(text));
}

void TDLStatus::SetStatus2(const std::string& text) {
  Status2->setText(QString::fromStdString(text));
}

void TDLStatus::SetProgressMax(int64_t max) {
  FMax = max < 0 ? 0 : max;
  ApplyProgress();
}

void TDLStatus::SetProgressPosition(int64_t position) {
  FPosition = position;
  ApplyProgress();
}

void TDLStatus::SetProgressText(const std::string& text) {
  ProgressBar1->setFormat(QString::fromStdString(text));
  ProgressBar1->setTextVisible(!text.empty());
}

// The bar counts in int; larger byte counts are scaled down.
void TDLStatus::ApplyProgress() {
  const int64_t scale = FMax > INT_MAX ? FMax / INT_MAX + 1 : 1;
  const int64_t position = FPosition < 0 ? 0 : (FPosition > FMax ? FMax : FPosition);
  ProgressBar1->setRange(0, int(FMax / scale));
  ProgressBar1->setValue(int(position / scale));
}

void TDLStatus::Show() {
  CentreOnScreen(this, size());
  show();
  raise();
  CancelButton->setFocus();
}

void TDLStatus::Hide() {
  hide();
}

bool TDLStatus::Visible() const {
  return isVisible();
}

void TDLStatus::SetOnCancel(TCancelEvent handler) {
  FOnCancel = std::move(handler);
}

void TDLStatus::CancelButtonClick() {
  // A copy: the handler may set another one.
  TCancelEvent handler = FOnCancel;
  if (handler) handler(*this);
}

void TDLStatus::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void TDLStatus::FormShow() {
  FPosition = 0;
  ApplyProgress();
  Status1->clear();
  Status2->clear();
  SetProgressText(std::string());
}

void TDLStatus::reject() {
  if (FOnCancel)
    CancelButtonClick();
  else
    QDialog::reject();
}

} // namespace dravik
