// Helpers of the repository window tests: its controls by name, a main window that records the
// messages it is sent (and one that also installs what it is asked to download); waiting on
// the event loop and proxies kept out of the way come from eventloop.h.
#pragma once

#include "net/retriever.h"
#include "net/statusdialog.h"
#include "patches/patchedapp.h"
#include "platform/html.h"
#include "platform/messages.h"
#include "platform/winfs.h"
#include "repository/listview.h"
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

// The main window as the repository window sees it: answers WM_GET_GAME and
// WM_GET_STATUS_DIALOG, records every message (downloads with their URL) and hands downloads
// to OnDownload. Registered as MainWindow() while it lives.
class TTestMainWindow : public TMessageWindow {
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

  LRESULT HandleMessage(unsigned message, WPARAM, LPARAM lParam) override {
    switch (message) {
    case WM_GET_GAME:
      return reinterpret_cast<LRESULT>(Game);
    case WM_GET_STATUS_DIALOG:
      return reinterpret_cast<LRESULT>(Status);
    case WM_DOWNLOAD_INSTALL: {
      const std::string url = lParam ? reinterpret_cast<const char*>(lParam) : "";
      Messages.push_back({message, url});
      if (OnDownload) OnDownload(url);
      return 0;
    }
    default:
      Messages.push_back({message, ""});
      return 0;
    }
  }

private:
  TMessageWindow* FPrevious;
};

// The main window's part in an install from the repository: each download is fetched with the
// retriever (whose fake progress dialog the repository window gets too), installed into
// `game`'s store, and the fetched file deleted.
class TInstallingMainWindow : public TTestMainWindow {
public:
  explicit TInstallingMainWindow(THXPatchedApp* game) : Retriever(Progress) {
    Game = game;
    Status = &Progress;
    OnDownload = [this](const std::string& url) {
      const std::string file = Retriever.RetrieveFile(url);
      if (file.empty() || !winfs::FileExists(file)) return;
      Game->InstallFile(file);
      winfs::DeleteFile(file);
    };
  }

  TFakeStatusDialog Progress;
  TRetriever Retriever;
};

} // namespace dravik::test
