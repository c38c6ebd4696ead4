#include "retriever.h"

#include "platform/addresses.h"
#include "platform/dialogs.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <cstring>

namespace dravik {

namespace {

constexpr const char* kDefaultName = "download.bin";
constexpr size_t kMaxNameBytes = 200;

// Status lines go into a message box: no control characters.
std::string Printable(std::string s) {
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return s;
}

} // namespace

std::string SafeLocalName(std::string_view urlFileName) {
  std::string name;
  for (char c : urlFileName) {
    const unsigned char u = static_cast<unsigned char>(c);
    name += (u < 0x20 || u == 0x7F || std::strchr("\\/:*?\"<>|", c)) ? '_' : c;
  }
  name = Trim(name);
  if (name.find_first_not_of('.') == std::string::npos) return kDefaultName;
  if (name.size() > kMaxNameBytes) {
    std::string ext = ExtractFileExt(name);
    if (ext.size() > 20) ext.clear();
    size_t keep = kMaxNameBytes - ext.size();
    // Cut at a character boundary of the UTF-8 text.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
      --keep;
    name = name.substr(0, keep) + ext;
  }
  return name;
}

TRetriever::TRetriever(TStatusDialog& dialog) : FDialog(dialog) {
  FTPClient.ReportLevel = 2;
  FTPClient.OnStatus = [this](TPowersock& s, const std::string& text) { ClientStatus(s, text); };
  FTPClient.OnPacketRecvd = [this](TPowersock& s) { ClientPacketRecvd(s); };

  HTTPClient.ReportLevel = 2;
  HTTPClient.OnStatus = [this](TPowersock& s, const std::string& text) { ClientStatus(s, text); };
  HTTPClient.OnPacketRecvd = [this](TPowersock& s) { ClientPacketRecvd(s); };
  HTTPClient.InputFileMode = true; // the body goes into the file RetrieveFile names

  DataModule1Create();
}

TRetriever::~TRetriever() {
  // The clients go with the retriever; their handlers must not reach the dialog any more.
  FTPClient.OnStatus = nullptr;
  FTPClient.OnPacketRecvd = nullptr;
  HTTPClient.OnStatus = nullptr;
  HTTPClient.OnPacketRecvd = nullptr;
}

void TRetriever::DataModule1Create() {
  TempDir = winfs::GetTempPath();
  CurrentClient = nullptr;
}

void TRetriever::CheckCancel() const {
  if (FCancelRequested) throw EAbortError("Transfer canceled");
}

std::string TRetriever::RetrieveFile(const std::string& url) {
  if (FBusy) {
    Dialogs().MessageDlg("A download is already in progress.", mtWarning, {mbOK});
    return std::string();
  }
  URLParser.SetURL(url); // an unknown scheme leaves from here, before anything is shown
  const TDownload download = Download(url);
  if (!download.Error.empty()) Dialogs().MessageDlg(download.Error, mtError, {mbOK});
  return download.File;
}

TDownload TRetriever::Download(const std::string& url) {
  if (FBusy) return {"", "A download is already in progress."};
  try {
    URLParser.SetURL(url);
  } catch (const Exception& e) { // an unknown scheme
    return {"", e.Message()};
  }
  if (TempDir.empty()) TempDir = winfs::GetTempPath();

  FBusy = true;
  FCancelRequested = false;
  TScopeExit idle([this] {
    CurrentClient = nullptr;
    FBusy = false;
    FDialog.Hide();
  });

  FDialog.SetCaption(Format("Downloading %s from %s", URLParser.Filename(), URLParser.Host));
  FDialog.SetOnCancel([this](TStatusDialog& sender) { StatusCancelClicked(sender); });
  FDialog.Show();

  const std::string name = URLParser.Protocol == upFile
                               ? SafeLocalName(PercentDecode(URLParser.Filename()))
                               : SafeLocalName(URLParser.Filename());
  const std::string localName = TempDir + name;

  std::string failure;
  bool aborted = false;
  try {
    if (TempDir.empty()) throw EFCreateError(name); // no temporary folder to put it in
    Transfer(localName);
    CheckCancel();
    return {localName, ""};
  } catch (const EAbortError&) {
    aborted = true;
  } catch (const Exception& e) {
    failure = e.Message();
    aborted = FCancelRequested;
  } catch (...) {
    if (CurrentClient) CurrentClient->TPowersock::Disconnect();
    if (winfs::FileExists(localName)) (void)winfs::DeleteFile(localName); // or at exit, in TempDir
    throw;
  }

  if (CurrentClient && CurrentClient->Connected()) {
    if (aborted) {
      // Stopped by the user: close at once instead of taking leave of the server.
      CurrentClient->TPowersock::Disconnect();
    } else {
      try {
        CurrentClient->Disconnect();
      } catch (const Exception&) {
      }
    }
  }
  if (winfs::FileExists(localName)) (void)winfs::DeleteFile(localName); // or at exit, in TempDir
  CurrentClient = nullptr;
  FDialog.Hide();
  if (aborted) return {};
  return {"", failure.empty() ? "The download failed." : failure};
}

void TRetriever::Transfer(const std::string& localName) {
  switch (URLParser.Protocol) {
  case upHTTP: {
    CurrentClient = &HTTPClient;
    HTTPClient.Host = URLParser.Host; // a URL without a host must not reach the last one
    HTTPClient.Body = localName;
    HTTPClient.Get(URLParser.URL());
    CurrentClient = nullptr;
    const int status = HTTPClient.StatusCode();
    if (status < 200 || status > 299) {
      // An error page is not the file that was asked for.
      if (status >= 100 && status <= 599) throw Exception(Printable(HTTPClient.StatusLine()));
      throw Exception("The server sent no valid HTTP reply.");
    }
    if (HTTPClient.BytesTotal > 0 && HTTPClient.BytesReceived < HTTPClient.BytesTotal)
      throw Exception(Format("The connection was closed after %lld of %lld bytes.",
                             static_cast<long long>(HTTPClient.BytesReceived),
                             static_cast<long long>(HTTPClient.BytesTotal)));
    break;
  }
  case upFTP:
    CurrentClient = &FTPClient;
    FTPClient.Host = URLParser.Host;
    FTPClient.Port = URLParser.Port;
    if (!URLParser.UserID.empty()) {
      FTPClient.UserID = URLParser.UserID;
      FTPClient.Password = URLParser.Password;
    } else {
      FTPClient.UserID = "anonymous";
      FTPClient.Password = AnonymousEMail();
    }
    FTPClient.Connect();
    CheckCancel();
    FTPClient.ChangeDir(URLParser.Path());
    CheckCancel();
    FTPClient.List();
    CheckCancel();
    FTPClient.Mode(MODE_IMAGE);
    CheckCancel();
    FTPClient.Download(URLParser.Filename(), localName);
    CheckCancel();
    FTPClient.Disconnect();
    CurrentClient = nullptr;
    break;
  case upFile:
    CopyLocalFile(localName);
    break;
  }
}

// A file URL names a local file ("file:///home/u/x.gob", "file:///C:/Games/x.gob"); the
// download is a copy of it.
void TRetriever::CopyLocalFile(const std::string& localName) {
  if (!URLParser.Host.empty() && !SameText(URLParser.Host, "localhost"))
    throw EFOpenError(URLParser.URL());
  const std::string path = PercentDecode(URLParser.Path() + URLParser.Filename());
  std::string source;
  if (path.size() >= 4 && path[0] == '/' && path[2] == ':' && path[3] == '/' &&
      ((path[1] >= 'A' && path[1] <= 'Z') || (path[1] >= 'a' && path[1] <= 'z'))) {
    source = path.substr(1);
    for (char& c : source)
      if (c == '/') c = '\\';
  } else if (auto windows = winfs::ToWindowsPath(path)) {
    source = *windows;
  }
  if (source.empty() || !winfs::FileExists(source)) throw EFOpenError(path);
  if (!winfs::CopyFile(source, localName, false))
    throw Exception(Format("Cannot copy %s: %s", source, winfs::LastErrorText()));
}

void TRetriever::AbortTransfer() {
  if (!FBusy) return;
  FCancelRequested = true;
  if (CurrentClient) CurrentClient->Abort();
}

void TRetriever::StatusCancelClicked(TStatusDialog& sender) {
  AbortTransfer();
  sender.Hide();
}

void TRetriever::ClientStatus(TPowersock&, const std::string& status) {
  FDialog.SetStatus1(status);
}

void TRetriever::ClientPacketRecvd(TPowersock& sender) {
  FDialog.SetStatus2(BytesReceivedText(sender.BytesReceived, sender.BytesTotal));
  if (sender.BytesTotal < 1) return;
  FDialog.SetProgressMax(sender.BytesTotal);
  FDialog.SetProgressPosition(sender.BytesReceived);
}

} // namespace dravik
