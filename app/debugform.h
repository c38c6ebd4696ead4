// The debug information window: the selected game's paths, launch parameters and the
// DirectPlay applications installed, rebuilt every time the window is shown.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace dravik {

class TDebugForm : public QDialog {
  Q_OBJECT

public:
  explicit TDebugForm(QWidget* parent = nullptr);

  QPlainTextEdit* Memo1;

  // Fills the text box with the report for the main window's game.
  void FormShow();

protected:
  void showEvent(QShowEvent* event) override;
};

} // namespace dravik
