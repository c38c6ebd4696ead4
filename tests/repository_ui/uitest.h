// Helpers of the repository window tests: its controls by name, a main window that records the
// messages it is sent (and one that also installs what it is asked to download); waiting on
// the event loop and proxies kept out of the way come from eventloop.h.
#pragma once

#include "net/retriever.h"
#include "net/statusdialog.h"
#include "patches/installer.h"
#include "patches/patchedapp.h"
#include "platform/html.h"
#include "platform/messages.h"
#include "repository/listview.h"
#include "repository/repositoryhost.h"
#include "tests/net/nettest.h"
#include "tests/qtmain/eventloop.h"

#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace dravik::test {

// A control of the repository window, found by its name.
template <typename T = QAction> T* Named(const QWidget& form, const char* name) {
  T* found = form.findChild<T*>(name);
  EXPECT_TRUE(found) << name;
  return found;
}
inline TRepositoryListView* ListOf(const QWidget& form) {
  return Named<TRepositoryListView>(form, "ListView1");
}
inline THTML* HtmlOf(const QWidget& form) {
  return Named<THTML>(form, "HTML1");
}
// The texts the list shows in `column` (0: the captions), entry by entry.
inline std::vector<std::string> ColumnTexts(const QWidget& form, int column = 0) {
  std::vector<std::string> out;
  const QAbstractItemModel* model = ListOf(form)->Model;
  for (int row = 0; row < model->rowCount(); ++row)
    out.push_back(model->index(row, column).data().toString().toStdString());
  return out;
}
inline int EntryCount(const QWidget& form) {
  return ListOf(form)->Model->rowCount();
}

// The main window as the repository window sees it: gives Game and Status, records every
// message and every URL it is asked to install (as WM_DOWNLOAD_INSTALL, the request's name)
// and hands those to OnDownload. Registered as MainWindow() while it lives; give it to the
// repository window as its host.
class TTestMainWindow : public TMessageWindow, public TRepositoryHost {
public:
  struct TMessage {
    unsigned Message;
    std::string URL; // WM_DOWNLOAD_INSTALL only
    bool operator==(const TMessage&) const = default;
  };

  THXPatchedApp* Game = nullptr;
  TStatusDialog* Status = nullptr;
  std::vector<TMessage> Messages;
  std::function<void(const std::string& url)> OnDownload;

  TTestMainWindow() : FPrevious(MainWindow()) { SetMainWindow(this); }
  ~TTestMainWindow() override { SetMainWindow(FPrevious); }

  // The messages of one kind, in order.
  std::vector<TMessage> Sent(unsigned message) const {
    std::vector<TMessage> out;
    for (const TMessage& m : Messages)
      if (m.Message == message) out.push_back(m);
    return out;
  }
  std::vector<std::string> Downloads() const {
    std::vector<std::string> out;
    for (const TMessage& m : Sent(WM_DOWNLOAD_INSTALL))
      out.push_back(m.URL);
    return out;
  }

  THXPatchedApp* CurrentApp() const override { return Game; }
  TStatusDialog* StatusDialog() const override { return Status; }
  LRESULT HandleMessage(unsigned message, WPARAM, LPARAM) override {
    Messages.push_back({message, ""});
    return 0;
  }

  TInstallReport InstallURLs(const std::vector<std::string>& urls) override {
    for (const std::string& url : urls) {
      Messages.push_back({WM_DOWNLOAD_INSTALL, url});
      if (OnDownload) OnDownload(url);
    }
    return Report;
  }
  TInstallReport Report; // what InstallURLs answers

private:
  TMessageWindow* FPrevious;
};

// The main window's part in an install from the repository: the URLs are recorded, then
// installed into `game`'s store with an installer that downloads with the retriever (whose fake
// progress dialog the repository window gets too).
class TInstallingMainWindow : public TTestMainWindow {
public:
  explicit TInstallingMainWindow(THXPatchedApp* game) : Retriever(Progress) {
    Game = game;
    Status = &Progress;
  }
  TInstallReport InstallURLs(const std::vector<std::string>& urls) override {
    TTestMainWindow::InstallURLs(urls);
    return TInstaller(*Game, &Retriever).InstallURLs(urls);
  }

  TFakeStatusDialog Progress;
  TRetriever Retriever;
};

} // namespace dravik::test
