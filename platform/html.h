// The HTML control: retrieves a page (http, https, or a file URL, which may name a drive of the
// prefix: "file:///C:/Repository/index.html"), parses it as it arrives, reports every element
// to its owner in document order, and shows in its pane only the elements the owner let
// through. Links clicked in the pane are offered to the owner as document requests, so the
// owner decides where they open.
//
// Everything happens on the user-interface thread: RequestDoc returns at once and the events
// follow from the event loop. An event handler may call Cancel or RequestDoc; the page being
// read then raises no further events. A retrieval that fails (no such file, connection
// refused, an HTTP error, a page over 16 MB, no data for 30 seconds) shows what went wrong in
// the pane and still ends with OnParseComplete; only Cancel ends a retrieval without it.
#pragma once

#include "platform/htmlparser.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;
class QTimer;
class QUrl;

namespace dravik {

class THTML : public QWidget {
  Q_OBJECT

public:
  // The largest page read; the rest of a longer one is dropped with an error.
  long long MaxPageBytes = 16 * 1024 * 1024;

  explicit THTML(QWidget* parent = nullptr);
  ~THTML() override;

  // Starts retrieving and parsing the page at `url`, after OnDoRequestDoc has allowed it;
  // a retrieval still running is cancelled first.
  void RequestDoc(const std::string& url);
  // Stops a retrieval in progress (no further events); a non-empty `message` is shown in the
  // pane. Nothing happens when none runs.
  void Cancel(const std::string& message = "");
  bool Busy() const noexcept { return FBusy; }
  // Stops a retrieval in progress (no further events), empties the pane and forgets the page.
  void Clear();

  // The page's expected length in bytes, below 1 when unknown; bytes received so far.
  long long BytesTotal() const noexcept { return FBytesTotal; }
  long long BytesDone() const noexcept { return FBytesDone; }
  // The address of the page now loaded (after redirects), as requested for file URLs.
  const std::string& DocumentURL() const noexcept { return FDocumentURL; }
  // Why the last retrieval failed; "" when it did not.
  const std::string& ErrorText() const noexcept { return FErrorText; }

  // The HTML of the elements let through so far (what the pane shows, without error notes).
  const std::string& ShownHtml() const noexcept { return FShown.Html(); }
  QTextBrowser* Browser() const noexcept { return FBrowser; }
  void SetAccessibleName(const QString& name);

  // A URL the desktop can open: a file URL naming a drive of the prefix becomes the Linux
  // file's URL; others stay as they are.
  static std::string DesktopURL(const std::string& url);

  // Events, raised on the user-interface thread in this order for one page: OnDoRequestDoc
  // (before fetching, also for a link clicked in the pane; enableDefault false: no fetch),
  // OnBeginRetrieval (data begins to arrive), then OnDoNewElement for each element and
  // OnUpdateRetrieval after each piece of data, and OnParseComplete once the page is parsed.
  // OnDoNewElement's enableDefault (true on entry) false keeps the element out of the pane.
  std::function<void(THTML& sender, const std::string& url, bool& enableDefault)> OnDoRequestDoc;
  std::function<void(THTML& sender)> OnBeginRetrieval;
  std::function<void(THTML& sender)> OnUpdateRetrieval;
  std::function<void(THTML& sender, const std::string& elementType, bool endTag,
                     const THTMLAttributes& attributes, const std::string& text,
                     bool& enableDefault)>
      OnDoNewElement;
  std::function<void(THTML& sender)> OnParseComplete;

private:
  void Load(const std::string& url);
  // Stops the transfer in progress, if any, without raising its signals.
  void AbortReply();
  void Begin();
  void DataArrived(unsigned generation);
  void Finished(unsigned generation);
  void Fail(const std::string& message);
  void Complete();
  void Element(unsigned generation, const THTMLElement& element);
  void ShowPage();
  void LinkClicked(const QUrl& link);

  QTextBrowser* FBrowser;
  QNetworkAccessManager* FManager;
  QPointer<QNetworkReply> FReply;
  std::shared_ptr<THTMLPushParser> FParser;
  THTMLRebuilder FShown;
  QTimer* FShowTimer;
  std::string FDocumentURL;
  std::string FErrorText;
  std::string FNote; // shown below the page: an error, or the cancel message
  long long FBytesTotal = -1;
  long long FBytesDone = 0;
  unsigned FGeneration = 0; // counts retrievals, so late signals of an old one are ignored
  bool FBusy = false;
  bool FBegun = false;
};

} // namespace dravik
