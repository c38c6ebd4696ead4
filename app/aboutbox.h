// The about box: the program's picture and name, its version, two lines about it, and the home
// page's address; the picture and the address open the home page.
#pragma once

#include <QDialog>
#include <QLabel>

class QPushButton;

namespace dravik {

// A label that acts on a click (and on Enter or Space when it has the focus).
class TClickLabel : public QLabel {
  Q_OBJECT

public:
  explicit TClickLabel(QWidget* parent = nullptr);

signals:
  void clicked();

protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};

class TAboutBox : public QDialog {
  Q_OBJECT

public:
  explicit TAboutBox(QWidget* parent = nullptr);

  TClickLabel* ProgramIcon;
  QLabel* ProductName;
  QLabel* Version;
  QLabel* Comments;
  QLabel* Copyright;
  TClickLabel* URL;
  QPushButton* OKButton;

  // Sets the version label from the program's version.
  void FormCreate();
  // Opens the home page.
  void LogoClick();
};

} // namespace dravik
