// The one place where the program fetches a file: given a URL it picks HTTP (http, https), FTP
// or a local file by the scheme, fetches the file into the program's temporary folder with the
// progress dialog shown, and returns the local file name, or "" when nothing was fetched. It is
// the installer's downloader (patches/downloader.h): Download returns what went wrong,
// RetrieveFile shows it. The caller deletes the file it got.
//
// RetrieveFile runs on the user-interface thread and returns when the transfer is over; the
// network waits keep the windows live meanwhile (ProcessMessages), so the dialog's Cancel works.
// It reports its own failures in an error box (Dialogs()) unless ReportErrors is off; a cancel
// shows nothing. LastResult() tells how the last download ended either way.
//
// A transfer that breaks off after part of the file arrived (not a cancel) keeps that part in
// the temporary folder; ResumeFile() then continues it (HTTP Range, FTP REST) into a file
// byte for byte the same as an unbroken download, or starts over when the server cannot
// continue. A new RetrieveFile drops the kept part.
#pragma once

#include "nmftp.h"
#include "nmhttp.h"
#include "patches/downloader.h"
#include "statusdialog.h"
#include "urlparser.h"

#include <chrono>
#include <string>
#include <string_view>

namespace dravik {

// The name a downloaded file gets inside the temporary folder: the server's or URL's file
// name with characters that could leave the folder or that Windows names cannot hold replaced
// by "_"; "download.bin" when nothing usable is left (a URL ending in "/", "..").
std::string SafeLocalName(std::string_view urlFileName);

// How the last download ended.
enum TRetrieveOutcome { roNone, roDone, roCanceled, roFailed };

struct TRetrieveResult {
  TRetrieveOutcome Outcome = roNone;
  std::string FileName;     // roDone: the local file
  std::string Message;      // roFailed: what went wrong, as the error box says it
  bool PartialKept = false; // roFailed: part of the file was kept; ResumeFile can continue it
};

class TRetriever : public TDownloader {
public:
  // `dialog` is the shared progress dialog (not owned; it must outlive the retriever).
  explicit TRetriever(TStatusDialog& dialog);
  ~TRetriever();
  TRetriever(const TRetriever&) = delete;
  TRetriever& operator=(const TRetriever&) = delete;

  TNMFTP FTPClient;
  TNMHTTP HTTPClient;
  TURLParser URLParser;
  // The client whose transfer is running, or null.
  TPowersock* CurrentClient = nullptr;
  // The program's temporary folder (Windows path with a trailing "\"); downloads go here.
  std::string TempDir;
  // Limits of every transfer, in milliseconds: connecting (with the name lookup), and waiting
  // with no data arriving ("No data received for 60 seconds").
  int ConnectTimeOut = 30000;
  int ReceiveTimeOut = 60000;
  // Failures shown in an error box. Off, the caller reads LastResult() and tells the user
  // itself (and may offer ResumeFile when PartialKept).
  bool ReportErrors = true;
  // Redirections followed from one scheme to another (http to ftp) per download.
  static constexpr int MaxSchemeChanges = 5;

  // Downloads `url` (http, https, ftp, or file: a local file, which is copied) into TempDir
  // and returns the local file's Windows path, or "" after a failure (reported in an error box
  // unless ReportErrors is off), a cancel (not reported), or while another download runs
  // (refused with a message box). The local name is the one the server's Content-Disposition
  // gives, else the decoded last segment of the URL's path. An HTTP status other than 2xx, and
  // a file shorter than announced, are failures. Proxies come from the environment
  // (proxyenv.h). An ftp URL without a user logs in as "anonymous" with the program's e-mail
  // address (AnonymousEMail(), read from the settings store for each download) as password.
  // Throws EInvalidProtocol, before anything is shown, for an unknown scheme.
  std::string RetrieveFile(const std::string& url);
  // As RetrieveFile, but what went wrong (an unknown scheme and a running download included)
  // is returned instead of shown or thrown.
  TDownload Download(const std::string& url) override;
  TDownload Resume() override;
  // Continues the download whose part was kept (CanResume()); returns as RetrieveFile does,
  // "" at once when there is nothing to continue.
  std::string ResumeFile();
  bool CanResume() const;
  // Deletes the kept part, if any.
  void DiscardPartial() override;
  const TRetrieveResult& LastResult() const noexcept { return FResult; }
  // Stops the running transfer (its current wait ends; RetrieveFile then cleans up and
  // returns ""). Does nothing when none runs.
  void AbortTransfer();
  bool Busy() const noexcept { return FBusy; }

  // Handlers bound to the dialog and the clients.
  void StatusCancelClicked(TStatusDialog& sender);
  void ClientStatus(TPowersock& sender, const std::string& status);
  // Shows the byte count, percent, rate and time left; during a transfer at most about ten
  // times a second.
  void ClientPacketRecvd(TPowersock& sender);

private:
  struct TPartial {
    std::string URL;       // as it was given
    std::string Validator; // the HTTP version it belongs to (If-Range)
  };
  void DataModule1Create();
  std::string Run(const std::string& url, bool resume);
  // Run with what went wrong returned instead of shown.
  TDownload Quietly(const std::string& url, bool resume);
  std::string Transfer(std::string url, const std::string& partName, int64_t offset);
  std::string TransferHTTP(const std::string& partName, int64_t offset);
  std::string TransferFTP(const std::string& partName, int64_t offset);
  void CopyLocalFile(const std::string& localName);
  void CheckCancel() const;
  void ShowProgress(int64_t received, int64_t total);
  std::string PartName() const;

  TStatusDialog& FDialog;
  bool FBusy = false;
  bool FCancelRequested = false;
  TRetrieveResult FResult;
  TPartial FPartial;
  int64_t FOffset = 0; // bytes of the file that were there before this transfer
  std::chrono::steady_clock::time_point FStarted, FPainted;
  int64_t FLastReceived = 0, FLastTotal = 0;
};

} // namespace dravik
