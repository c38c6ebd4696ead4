// The one place where the program fetches a file: given a URL it picks HTTP, FTP or a local
// file by the scheme, fetches the file into the program's temporary folder with the progress
// dialog shown, and returns the local file name, or "" when nothing was fetched. It is the
// installer's downloader (patches/downloader.h): Download returns what went wrong, RetrieveFile
// shows it.
//
// RetrieveFile runs on the user-interface thread and returns when the transfer is over; the
// network waits keep the windows live meanwhile (ProcessMessages), so the dialog's Cancel works.
// RetrieveFile reports its own failures in an error box (Dialogs()); a cancel shows nothing.
#pragma once

#include "nmftp.h"
#include "nmhttp.h"
#include "patches/downloader.h"
#include "statusdialog.h"
#include "urlparser.h"

#include <string>
#include <string_view>

namespace dravik {

// The name a downloaded file gets inside the temporary folder: the URL's file name with
// characters that could leave the folder or that Windows names cannot hold replaced by "_";
// "download.bin" when nothing usable is left (a URL ending in "/", "..").
std::string SafeLocalName(std::string_view urlFileName);

class TRetriever : public TDownloader {
public:
  // `dialog` is the shared progress dialog (not owned; it must outlive the retriever).
  explicit TRetriever(TStatusDialog& dialog);
  ~TRetriever() override;
  TRetriever(const TRetriever&) = delete;
  TRetriever& operator=(const TRetriever&) = delete;

  TNMFTP FTPClient;
  TNMHTTP HTTPClient;
  TURLParser URLParser;
  // The client whose transfer is running, or null.
  TPowersock* CurrentClient = nullptr;
  // The program's temporary folder (Windows path with a trailing "\"); downloads go here.
  std::string TempDir;

  // Downloads `url` (http, ftp, or file: a local file, which is copied) into TempDir and
  // returns the local file's Windows path, or "" after a failure (reported in an error box),
  // a cancel (not reported), or while another download runs (refused with a message box).
  // An HTTP status other than 2xx, and a body shorter than its announced length, are
  // failures. An ftp URL without a user logs in as "anonymous" with the program's e-mail
  // address (AnonymousEMail(), read from the settings store for each download) as password.
  // Throws EInvalidProtocol, before anything is shown, for an unknown scheme.
  std::string RetrieveFile(const std::string& url);
  // As RetrieveFile, but what went wrong (an unknown scheme and a running download included)
  // is returned instead of shown or thrown.
  TDownload Download(const std::string& url) override;
  // Stops the running transfer (its current wait ends; RetrieveFile then cleans up and
  // returns ""). Does nothing when none runs.
  void AbortTransfer();
  bool Busy() const noexcept { return FBusy; }

  // Handlers bound to the dialog and the clients.
  void StatusCancelClicked(TStatusDialog& sender);
  void ClientStatus(TPowersock& sender, const std::string& status);
  void ClientPacketRecvd(TPowersock& sender);

private:
  void DataModule1Create();
  void Transfer(const std::string& localName);
  void CopyLocalFile(const std::string& localName);
  void CheckCancel() const;

  TStatusDialog& FDialog;
  bool FBusy = false;
  bool FCancelRequested = false;
};

} // namespace dravik
