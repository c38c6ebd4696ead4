#include "html.h"

#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace dravik {

namespace {

QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// The Linux location of a URL: a file URL whose path begins with a drive letter ("/C:/...")
// names a file of the prefix. Other URLs are parsed as they are.
QUrl FetchUrl(const std::string& url) {
  QUrl parsed(Q(url), QUrl::TolerantMode);
  if (parsed.scheme().compare("file", Qt::CaseInsensitive) != 0) return parsed;
  static const QRegularExpression drive("^/[A-Za-z]:/");
  const QString path = parsed.path();
  if (!drive.match(path).hasMatch()) return parsed;
  QString windows = path.mid(1);
  windows.replace('/', '\\');
  const std::string host = winfs::ToHostPath(windows.toStdString());
  if (host.empty()) return QUrl();
  return QUrl::fromLocalFile(Q(host));
}

// The pane: shows pictures of pages read from local files (never fetches from the network).
class TBrowser : public QTextBrowser {
public:
  using QTextBrowser::QTextBrowser;
  QUrl PageUrl;

  QVariant loadResource(int type, const QUrl& name) override {
    if (type != QTextDocument::ImageResource || !PageUrl.isLocalFile()) return {};
    const QUrl url = PageUrl.resolved(name);
    if (!url.isLocalFile()) return {};
    QFile file(url.toLocalFile());
    constexpr qint64 kMaxPicture = 4 * 1024 * 1024;
    if (file.size() > kMaxPicture || !file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
  }
};

} // namespace

THTML::THTML(QWidget* parent) : QWidget(parent) {
  auto* browser = new TBrowser(this);
  FBrowser = browser;
  FBrowser->setObjectName("HTMLPane");
  FBrowser->setOpenLinks(false);
  FBrowser->setOpenExternalLinks(false);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(FBrowser);
  FManager = new QNetworkAccessManager(this);
  FShowTimer = new QTimer(this);
  FShowTimer->setSingleShot(true);
  FShowTimer->setInterval(100);
  connect(FShowTimer, &QTimer::timeout, this, [this] { ShowPage(); });
  connect(FBrowser, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& link) { LinkClicked(link); });
}

THTML::~THTML() {
  OnDoRequestDoc = nullptr;
  OnBeginRetrieval = nullptr;
  OnUpdateRetrieval = nullptr;
  OnDoNewElement = nullptr;
  OnParseComplete = nullptr;
  Cancel();
}

void THTML::SetAccessibleName(const QString& name) {
  setAccessibleName(name);
  FBrowser->setAccessibleName(name);
}

std::string THTML::DesktopURL(const std::string& url) {
  const QUrl parsed(Q(url), QUrl::TolerantMode);
  if (parsed.scheme().compare("file", Qt::CaseInsensitive) != 0) return url;
  const QUrl host = FetchUrl(url);
  return host.isValid() ? host.toString(QUrl::FullyEncoded).toStdString() : url;
}

void THTML::RequestDoc(const std::string& url) {
  bool enable = true;
  if (OnDoRequestDoc) OnDoRequestDoc(*this, url, enable);
  if (enable) Load(url);
}

void THTML::LinkClicked(const QUrl& link) {
  const QString text = link.toString();
  if (text.startsWith('#')) {
    FBrowser->scrollToAnchor(link.fragment());
    return;
  }
  const QUrl page(Q(FDocumentURL), QUrl::TolerantMode);
  const QUrl target = page.isValid() && !page.isEmpty() ? page.resolved(link) : link;
  RequestDoc(target.toString().toStdString());
}

void THTML::Cancel(const std::string& message) {
  const bool wasBusy = FBusy;
  ++FGeneration;
  FBusy = false;
  AbortReply();
  if (FParser) {
    FParser->Stop(); // a feed running below us keeps its own reference
    FParser.reset();
  }
  if (wasBusy && !message.empty()) {
    FNote = message;
    ShowPage();
  }
}

void THTML::Clear() {
  Cancel();
  FShowTimer->stop();
  FShown.Clear();
  FNote.clear();
  FErrorText.clear();
  FDocumentURL.clear();
  FBytesTotal = -1;
  FBytesDone = 0;
  FBrowser->clear();
}

void THTML::AbortReply() {
  if (!FReply) return;
  QNetworkReply* reply = FReply;
  FReply = nullptr;
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
}

void THTML::Load(const std::string& url) {
  Cancel();
  const unsigned generation = ++FGeneration;
  FDocumentURL = url;
  FErrorText.clear();
  FNote.clear();
  FShown.Clear();
  FBytesTotal = -1;
  FBytesDone = 0;
  FBegun = false;
  FBusy = true;
  FShowTimer->stop();
  FBrowser->clear();

  const QUrl target = FetchUrl(url);
  static_cast<TBrowser*>(FBrowser)->PageUrl = target;
  const QString scheme = target.scheme().toLower();
  if (!target.isValid() || (scheme != "http" && scheme != "https" && scheme != "file")) {
    // Reported from the event loop, like every other outcome.
    QTimer::singleShot(0, this, [this, generation, url] {
      if (generation == FGeneration)
        Fail("Cannot read " + url + ": only http, https and file addresses can be read.");
    });
    return;
  }
  QNetworkRequest request(target);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  request.setTransferTimeout(30000);
  request.setHeader(QNetworkRequest::UserAgentHeader, "Dravik/" DRAVIK_VERSION);
  QNetworkReply* reply = FManager->get(request);
  FReply = reply;
  connect(reply, &QNetworkReply::readyRead, this, [this, generation] { DataArrived(generation); });
  connect(reply, &QNetworkReply::finished, this, [this, generation] { Finished(generation); });
}

void THTML::Begin() {
  if (FBegun) return;
  FBegun = true;
  std::string charset;
  if (FReply) {
    const QVariant length = FReply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid()) FBytesTotal = length.toLongLong();
    // After a redirect the page lives at its new address; its links are relative to that.
    const QUrl at = FReply->url();
    const QString scheme = at.scheme().toLower();
    if ((scheme == "http" || scheme == "https") && at != FetchUrl(FDocumentURL))
      FDocumentURL = at.toString().toStdString();
    const QString type = FReply->header(QNetworkRequest::ContentTypeHeader).toString();
    static const QRegularExpression charsetRe("charset\\s*=\\s*\"?([A-Za-z0-9._:-]+)",
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = charsetRe.match(type);
    if (match.hasMatch()) charset = match.captured(1).toStdString();
  }
  const unsigned generation = FGeneration;
  FParser = std::make_shared<THTMLPushParser>(
      [this, generation](const THTMLElement& e) { Element(generation, e); }, charset);
  if (OnBeginRetrieval) OnBeginRetrieval(*this);
}

void THTML::Element(unsigned generation, const THTMLElement& element) {
  if (generation != FGeneration) return;
  bool enable = true;
  if (OnDoNewElement)
    OnDoNewElement(*this, element.Type, element.EndTag, element.Attributes, element.Text, enable);
  if (generation != FGeneration || !enable) return;
  FShown.Add(element);
  if (!FShowTimer->isActive()) FShowTimer->start();
}

void THTML::DataArrived(unsigned generation) {
  if (generation != FGeneration || !FReply) return;
  Begin();
  if (generation != FGeneration || !FReply) return; // cancelled by OnBeginRetrieval
  QByteArray data = FReply->readAll();
  bool tooLong = false;
  if (FBytesDone + data.size() > MaxPageBytes) {
    data.truncate(qsizetype(std::max(MaxPageBytes - FBytesDone, 0LL)));
    tooLong = true;
  }
  FBytesDone += data.size();
  if (std::shared_ptr<THTMLPushParser> parser = FParser)
    parser->Feed(data.constData(), data.size());
  if (generation != FGeneration) return;
  if (OnUpdateRetrieval) OnUpdateRetrieval(*this);
  if (generation != FGeneration) return;
  if (tooLong) {
    AbortReply();
    Fail(Format("The page at %s is longer than %lld bytes; the rest was not read.", FDocumentURL,
                MaxPageBytes));
  }
}

void THTML::Finished(unsigned generation) {
  if (generation != FGeneration || !FReply) return;
  QNetworkReply* reply = FReply;
  // Whatever is still buffered belongs to the page.
  if (reply->bytesAvailable() > 0) DataArrived(generation);
  if (generation != FGeneration || FReply != reply) return;
  FReply = nullptr;
  reply->deleteLater();
  if (reply->error() != QNetworkReply::NoError) {
    Fail("Cannot read " + FDocumentURL + ": " + reply->errorString().toStdString());
    return;
  }
  Complete();
}

void THTML::Fail(const std::string& message) {
  FErrorText = message;
  FNote = message;
  Complete();
}

void THTML::Complete() {
  const unsigned generation = FGeneration;
  Begin();
  if (generation != FGeneration) return;
  if (std::shared_ptr<THTMLPushParser> parser = FParser) parser->Finish();
  if (generation != FGeneration) return;
  FBusy = false;
  FParser.reset();
  ShowPage();
  if (OnParseComplete) OnParseComplete(*this);
}

void THTML::ShowPage() {
  FShowTimer->stop();
  std::string html = FShown.Html();
  if (!FNote.empty()) html += "<p><i>" + HTMLEscape(FNote) + "</i></p>";
  FBrowser->setHtml(Q(html));
}

} // namespace dravik
