// The Game Not Found dialog, shown instead of the main window when no supported game is
// installed: a message, the prefix it looked in (and where else it looked for one, when it did),
// and three buttons: "&OK", "&Help" (which first opens the documentation) and "&Locate Game..."
// (which sets a game up from its folder, and closes the dialog once one is).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace dravik {

class TNoGameForm : public QDialog {
  Q_OBJECT

public:
  explicit TNoGameForm(QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* PrefixLabel; // the prefix Dravik looked in
  QLabel* SearchLabel; // where else it looked for prefixes at start; null when it did not look
  QPushButton* OKButton;
  QPushButton* HelpButton;
  QPushButton* LocateButton;

  // Opens "docs.html" from the current folder, then closes the dialog with OK.
  void HelpButtonClick();
  // LocateGame (locategame.h); closes the dialog with OK when a game was set up.
  void LocateButtonClick();

  // The games set up with "&Locate Game...", none until then.
  std::vector<std::string> Located;
};

} // namespace dravik
