#include "retriever.h"

#include "downloadname.h"
#include "platform/addresses.h"
#include "platform/dialogs.h"
#include "platform/scopeexit.h"
#include "platform/sysutils.h"
#include "platform/winfs.h"

#include <algorithm>
#include <cstring>

namespace dravik {

namespace {

constexpr const char* kDefaultName = "download.bin";
// The file a download gathers in (one download runs at a time).
constexpr const char* kPartName = "~download.part";
constexpr std::chrono::milliseconds kPaintInterval(100);
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
  HTTPClient.UseEnvironmentProxy = true;

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

// Where a download's bytes gather until it is complete and gets its name.
std::string TRetriever::PartName() const {
  return TempDir + kPartName;
}

bool TRetriever::CanResume() const {
  return !FPartial.URL.empty() && winfs::FileSize(PartName()) > 0;
}

void TRetriever::DiscardPartial() {
  if (!TempDir.empty() && winfs::FileExists(PartName()))
    (void)winfs::DeleteFile(PartName()); // else it goes with the temporary folder at exit
  FPartial = TPartial();
}

std::string TRetriever::RetrieveFile(const std::string& url) {
  if (FBusy) {
    Dialogs().MessageDlg("A download is already in progress.", mtWarning, {mbOK});
    return std::string();
  }
  URLParser.SetURL(url); // an unknown scheme leaves from here, before anything is shown
  if (TempDir.empty()) TempDir = winfs::GetTempPath();
  DiscardPartial();
  return Run(url, false);
}

TDownload TRetriever::Download(const std::string& url) {
  if (FBusy) return {"", "A download is already in progress."};
  try {
    URLParser.SetURL(url);
  } catch (const Exception& e) { // an unknown scheme
    return {"", e.Message()};
  }
  if (TempDir.empty()) TempDir = winfs::GetTempPath();
  DiscardPartial();
  return Quietly(url, false);
}

TDownload TRetriever::Resume() {
  if (FBusy) return {"", "A download is already in progress."};
  if (!CanResume()) return {"", "The download cannot be continued."};
  URLParser.SetURL(FPartial.URL);
  return Quietly(FPartial.URL, true);
}

TDownload TRetriever::Quietly(const std::string& url, bool resume) {
  const bool report = ReportErrors;
  ReportErrors = false;
  TScopeExit restore([this, report] { ReportErrors = report; });
  const std::string file = Run(url, resume);
  if (!file.empty()) return {file, ""};
  if (FResult.Outcome == roCanceled) return {};
  return {"", FResult.Message.empty() ? "The download failed." : FResult.Message,
          FResult.PartialKept};
}

std::string TRetriever::ResumeFile() {
  if (FBusy || !CanResume()) return std::string();
  URLParser.SetURL(FPartial.URL);
  return Run(FPartial.URL, true);
}

std::string TRetriever::Run(const std::string& url, bool resume) {
  FBusy = true;
  FCancelRequested = false;
  FResult = TRetrieveResult();
  TScopeExit idle([this] {
    CurrentClient = nullptr;
    FBusy = false;
    FDialog.Hide();
  });

  // A file: URL has no host to name.
  FDialog.SetCaption(URLParser.Host.empty()
                         ? Format("Downloading %s", URLParser.Filename())
                         : Format("Downloading %s from %s", URLParser.Filename(), URLParser.Host));
  FDialog.SetOnCancel([this](TStatusDialog& sender) { StatusCancelClicked(sender); });
  FDialog.Show();
  FStarted = FPainted = std::chrono::steady_clock::now();
  FLastReceived = FLastTotal = FOffset = 0;

  const std::string partName = PartName();
  const int64_t offset = resume ? std::max<int64_t>(0, winfs::FileSize(partName)) : 0;
  std::string failure;
  bool aborted = false;
  try {
    if (TempDir.empty()) throw EFCreateError(kPartName); // no temporary folder to put it in
    const std::string localName = TempDir + SafeLocalName(Transfer(url, partName, offset));
    CheckCancel();
    ShowProgress(FLastReceived, FLastTotal); // the last count, however soon it came
    // A file left by an earlier download of that name: when it cannot go, the move says so.
    if (localName != partName && winfs::FileExists(localName)) (void)winfs::DeleteFile(localName);
    if (localName != partName && !winfs::MoveFile(partName, localName))
      throw Exception(Format("Cannot create file %s: %s", localName, winfs::LastErrorText()));
    FPartial = TPartial();
    FResult.Outcome = roDone;
    FResult.FileName = localName;
    return localName;
  } catch (const EAbortError&) {
    aborted = true;
  } catch (const Exception& e) {
    failure = e.Message();
    aborted = FCancelRequested;
  } catch (...) {
    if (CurrentClient) CurrentClient->TPowersock::Disconnect();
    DiscardPartial();
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
  // Part of the file itself arrived (not an error page): keep it to continue later.
  const bool fileBytes = CurrentClient == &FTPClient ||
                         (CurrentClient == &HTTPClient &&
                          (HTTPClient.StatusCode() == 200 || HTTPClient.StatusCode() == 206));
  if (!aborted && fileBytes && winfs::FileSize(partName) > 0) {
    FPartial.URL = url;
    if (CurrentClient == &HTTPClient && HTTPClient.StatusCode() == 200)
      FPartial.Validator = HTTPClient.Validator();
    FResult.PartialKept = true;
  } else {
    DiscardPartial();
  }
  CurrentClient = nullptr;
  FDialog.Hide();
  FResult.Outcome = aborted ? roCanceled : roFailed;
  FResult.Message = aborted ? std::string() : failure;
  if (!aborted && ReportErrors) Dialogs().MessageDlg(failure, mtError, {mbOK});
  return std::string();
}

// Fetches `url` into `partName`, which holds its first `offset` bytes already; follows
// redirections from one scheme to another. Returns the file's name as the server or URL gives
// it.
std::string TRetriever::Transfer(std::string url, const std::string& partName, int64_t offset) {
  for (int changes = 0;; ++changes) {
    switch (URLParser.Protocol) {
    case upHTTP:
    case upHTTPS: {
      std::string name = TransferHTTP(partName, offset);
      if (HTTPClient.ForeignRedirect().empty()) return name;
      if (changes == MaxSchemeChanges)
        throw ESockError(Format("Too many redirections (more than %d)", MaxSchemeChanges));
      url = HTTPClient.ForeignRedirect();
      URLParser.SetURL(url);
      offset = 0; // another server's file: from the start
      break;
    }
    case upFTP:
      return TransferFTP(partName, offset);
    case upFile:
      CopyLocalFile(partName);
      return PercentDecode(URLParser.Filename());
    }
  }
}

std::string TRetriever::TransferHTTP(const std::string& partName, int64_t offset) {
  CurrentClient = &HTTPClient;
  HTTPClient.Host = URLParser.Host; // a URL without a host must not reach the last one
  HTTPClient.Body = partName;
  HTTPClient.TimeOut = ConnectTimeOut;
  HTTPClient.ReceiveTimeOut = ReceiveTimeOut;
  HTTPClient.RangeStart = offset;
  HTTPClient.RangeValidator = offset > 0 ? FPartial.Validator : std::string();
  HTTPClient.Get(URLParser.URL());
  if (HTTPClient.StatusCode() == 416 && offset > 0) {
    // The server cannot continue from there: start over.
    HTTPClient.RangeStart = 0;
    HTTPClient.Get(URLParser.URL());
  }
  if (!HTTPClient.ForeignRedirect().empty()) return std::string();
  const int status = HTTPClient.StatusCode();
  if (status < 200 || status > 299) {
    // An error page is not the file that was asked for.
    if (status >= 100 && status <= 599) throw Exception(Printable(HTTPClient.StatusLine()));
    throw Exception("The server sent no valid HTTP reply.");
  }
  if (status == 206 && !HTTPClient.Resumed())
    throw Exception("The server sent another part of the file than the one asked for.");
  if (!HTTPClient.BodyComplete()) {
    const int64_t base = HTTPClient.Resumed() ? HTTPClient.RangeStart : 0;
    if (HTTPClient.BytesTotal > 0)
      throw Exception(Format("The connection was closed after %lld of %lld bytes.",
                             static_cast<long long>(base + HTTPClient.BytesReceived),
                             static_cast<long long>(base + HTTPClient.BytesTotal)));
    throw Exception("The connection was closed before the end of the file.");
  }
  CurrentClient = nullptr;
  std::string name = FileNameFromContentDisposition(HTTPClient.ContentDisposition());
  return name.empty() ? FileNameFromURL(HTTPClient.URL()) : name;
}

std::string TRetriever::TransferFTP(const std::string& partName, int64_t offset) {
  CurrentClient = &FTPClient;
  FTPClient.Host = URLParser.Host;
  FTPClient.Port = URLParser.Port;
  FTPClient.TimeOut = ConnectTimeOut;
  FTPClient.ReceiveTimeOut = ReceiveTimeOut;
  FTPClient.RestartAt = offset;
  if (!URLParser.UserID.empty()) {
    FTPClient.UserID = PercentDecode(URLParser.UserID);
    FTPClient.Password = PercentDecode(URLParser.Password);
  } else {
    FTPClient.UserID = "anonymous";
    FTPClient.Password = AnonymousEMail();
  }
  const std::string name = PercentDecode(URLParser.Filename());
  FTPClient.Connect();
  CheckCancel();
  FTPClient.ChangeDir(PercentDecode(URLParser.Path()));
  CheckCancel();
  try {
    FTPClient.List(); // the listing is not used; a server that refuses it may still send files
  } catch (const FTPException&) {
  }
  CheckCancel();
  FTPClient.Mode(MODE_IMAGE);
  CheckCancel();
  FTPClient.Download(name, partName);
  CheckCancel();
  FTPClient.Disconnect();
  CurrentClient = nullptr;
  return name;
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
  // The counts of the file, not of this connection: a resumed transfer begins further on.
  if (FBusy)
    FOffset = &sender == &HTTPClient ? (HTTPClient.Resumed() ? HTTPClient.RangeStart : 0)
                                     : (FTPClient.Resumed() ? FTPClient.RestartAt : 0);
  const int64_t offset = FBusy ? FOffset : 0;
  FLastReceived = offset + sender.BytesReceived;
  FLastTotal = sender.BytesTotal > 0 ? offset + sender.BytesTotal : 0;
  const auto now = std::chrono::steady_clock::now();
  if (FBusy && now - FPainted < kPaintInterval && FLastReceived < FLastTotal) return;
  FPainted = now;
  ShowProgress(FLastReceived, FLastTotal);
}

void TRetriever::ShowProgress(int64_t received, int64_t total) {
  FDialog.SetStatus2(BytesReceivedText(received, total));
  if (total > 0) {
    FDialog.SetProgressMax(total);
    FDialog.SetProgressPosition(received);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - FStarted).count();
  FDialog.SetProgressText(RateText(received - FOffset, seconds, total - received));
}

} // namespace dravik
