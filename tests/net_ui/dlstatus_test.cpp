#include "net/dlstatus.h"
#include "net/retriever.h"
#include "platform/dialogs.h"
#include "platform/pump.h"
#include "tests/fixtures/scripteddialogs.h"
#include "tests/fixtures/tcpserver.h"
#include "tests/fixtures/tempprefix.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <gtest/gtest.h>

using namespace dravik;
using namespace dravik::test;

namespace {

std::string Text(QLabel* label) {
  return label->text().toStdString();
}

// Network waits serve the Qt events, as the program's pump does.
class TQtPump {
public:
  TQtPump() {
    FPrevious = SetMessagePump([] { QCoreApplication::processEvents(); });
  }
  ~TQtPump() { SetMessagePump(FPrevious); }

private:
  TPumpFunction FPrevious;
};

} // namespace

TEST(DLStatus, ControlsAndWindow) {
  TDLStatus d;
  EXPECT_EQ(d.size(), QSize(281, 105));
  EXPECT_EQ(d.Status1->geometry(), QRect(4, 4, 273, 17));
  EXPECT_EQ(d.Status2->geometry(), QRect(4, 24, 273, 17));
  EXPECT_EQ(d.ProgressBar1->geometry(), QRect(4, 48, 273, 16));
  EXPECT_EQ(d.CancelButton->geometry(), QRect(103, 72, 75, 25));
  EXPECT_EQ(d.CancelButton->text(), "&Cancel");
  EXPECT_EQ(d.ProgressBar1->minimum(), 0);
  EXPECT_EQ(d.ProgressBar1->maximum(), 100);
  EXPECT_FALSE(d.ProgressBar1->isEnabled());
  EXPECT_TRUE(d.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(d.windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_FALSE(d.isModal());
  d.SetCaption("Downloading x.gob from h");
  EXPECT_EQ(d.windowTitle(), "Downloading x.gob from h");
  // Server text is shown as it is, never as markup.
  d.SetStatus1("<b>bold</b>");
  EXPECT_EQ(d.Status1->textFormat(), Qt::PlainText);
}

TEST(DLStatus, ShowingClearsTheLinesAndTheBar) {
  TDLStatus d;
  d.Show();
  d.SetStatus1("Transaction Completed");
  d.SetStatus2("5 bytes received.");
  d.SetProgressMax(4000);
  d.SetProgressPosition(1000);
  d.SetProgressText("1.5 MB/s, 0:42 left");
  EXPECT_EQ(d.ProgressBar1->maximum(), 4000);
  EXPECT_EQ(d.ProgressBar1->value(), 1000);
  EXPECT_EQ(d.ProgressBar1->text(), "1.5 MB/s, 0:42 left");
  d.Hide();
  EXPECT_FALSE(d.Visible());
  d.Show();
  EXPECT_TRUE(d.Visible());
  EXPECT_EQ(Text(d.Status1), "");
  EXPECT_EQ(Text(d.Status2), "");
  EXPECT_EQ(d.ProgressBar1->value(), 0);
  EXPECT_FALSE(d.ProgressBar1->isTextVisible());
}

TEST(DLStatus, LargeCountsAreScaled) {
  TDLStatus d;
  const int64_t ten = 10'000'000'000;
  d.SetProgressMax(ten);
  d.SetProgressPosition(ten / 4);
  EXPECT_GT(d.ProgressBar1->maximum(), 0);
  EXPECT_NEAR(double(d.ProgressBar1->value()) / d.ProgressBar1->maximum(), 0.25, 0.001);
  d.SetProgressPosition(ten * 2); // more than announced
  EXPECT_EQ(d.ProgressBar1->value(), d.ProgressBar1->maximum());
}

TEST(DLStatus, CancelButtonEscapeAndCloseCallTheHandler) {
  TDLStatus d;
  int calls = 0;
  TStatusDialog* sender = nullptr;
  d.SetOnCancel([&](TStatusDialog& s) {
    ++calls;
    sender = &s;
  });
  d.Show();
  QTest::mouseClick(d.CancelButton, Qt::LeftButton);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sender, static_cast<TStatusDialog*>(&d));
  QTest::keyClick(&d, Qt::Key_Escape);
  EXPECT_EQ(calls, 2);
  d.close();
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(d.isVisible()); // the handler decides; this one did not hide it

  d.SetOnCancel(nullptr);
  QTest::keyClick(&d, Qt::Key_Escape);
  EXPECT_EQ(calls, 3);
  EXPECT_FALSE(d.isVisible());
}

TEST(DLStatus, RetrieverShowsProgressAndCancelClickStopsIt) {
  TTempPrefix prefix;
  TScriptedDialogs dialogs;
  TQtPump pump;
  TDLStatus dialog;
  TRetriever retriever(dialog);

  TTcpServer quick([](TTcpConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send("HTTP/1.0 200 OK\r\nContent-Length: 8\r\n\r\nGOB data");
  });
  const std::string file = retriever.RetrieveFile(quick.Url("http", "/p.gob"));
  EXPECT_EQ(file, retriever.TempDir + "p.gob");
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.windowTitle(), "Downloading p.gob from 127.0.0.1");
  EXPECT_EQ(Text(dialog.Status1), "Transaction Completed");
  EXPECT_EQ(Text(dialog.Status2), "8 of 8 bytes (100%) received.");

  TTcpServer slow([](TTcpConnection& c) {
    c.ReadUntil("\r\n\r\n");
    c.Send("HTTP/1.0 200 OK\r\n\r\n");
    while (c.Sleep(3) && c.Send(std::string(64, 'z'))) {
    }
  });
  bool shownDuring = false;
  std::chrono::steady_clock::time_point clicked;
  QTimer::singleShot(150, [&] {
    shownDuring = dialog.isVisible();
    clicked = std::chrono::steady_clock::now();
    QTest::mouseClick(dialog.CancelButton, Qt::LeftButton);
  });
  const std::string none = retriever.RetrieveFile(slow.Url("http", "/q.gob"));
  const auto latency = std::chrono::steady_clock::now() - clicked;
  EXPECT_EQ(none, "");
  EXPECT_TRUE(shownDuring);
  EXPECT_LT(latency, std::chrono::milliseconds(100));
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_TRUE(dialogs.Asked().empty());
  EXPECT_NE(Text(dialog.Status2).find("bytes received."), std::string::npos);
}
