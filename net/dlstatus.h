// The download progress dialog: a small tool window, always on top, centred on the screen,
// with two status lines, a progress bar and a Cancel button. One instance is shared by the
// retriever and the repository window through TStatusDialog. Escape and closing the window
// act as the Cancel button while a handler is set.
#pragma once

#include "statusdialog.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace dravik {

class TDLStatus : public QDialog, public TStatusDialog {
  Q_OBJECT

public:
  explicit TDLStatus(QWidget* parent = nullptr);

  QLabel* Status1;            // 4,4 273x17: the network client's latest status
  QLabel* Status2;            // 4,24 273x17: the byte count line
  QProgressBar* ProgressBar1; // 4,48 273x16
  QPushButton* CancelButton;  // 103,72 75x25 "&Cancel"

  void SetCaption(const std::string& caption) override;
  void SetStatus1(const std::string& text) override;
  void SetStatus2(const std::string& text) override;
  void SetProgressMax(int64_t max) override;
  void SetProgressPosition(int64_t position) override;
  void SetProgressText(const std::string& text) override;
  void Show() override;
  void Hide() override;
  bool Visible() const override;
  void SetOnCancel(TCancelEvent handler) override;

  void CancelButtonClick();

protected:
  void showEvent(QShowEvent* event) override;
  void reject() override;

private:
  void FormShow();
  void ApplyProgress();

  TCancelEvent FOnCancel;
  int64_t FMax = 100;
  int64_t FPosition = 0;
};

} // namespace dravik
