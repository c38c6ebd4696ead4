// The Game Not Found dialog, shown instead of the main window when no supported game is
// installed: a message and two buttons, "&OK" and "&Help" (which first opens the documentation).
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace dravik {

class TNoGameForm : public QDialog {
  Q_OBJECT

public:
  explicit TNoGameForm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* SearchLabel; // where Dravik looked for prefixes at start; null when it did not look
  QPushButton* OKButton;
  QPushButton* HelpButton;

  // Opens "docs.html" from the current folder, then closes the dialog with OK.
  void HelpButtonClick();
};

} // namespace dravik
