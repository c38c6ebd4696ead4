// Fetching the file a URL names, as the installer needs it. The program's retriever implements
// it (with its progress dialog and cancel); tests give their own.
#pragma once

#include <string>

namespace dravik {

struct TDownload {
  std::string File;       // Windows path of the fetched file; the caller deletes it. "" when none
  std::string Error;      // why nothing was fetched; "" when the user cancelled (or on success)
  bool Resumable = false; // a failure after part of the file arrived: Resume() can go on
};

class TDownloader {
public:
  virtual ~TDownloader() = default;
  // Fetches `url` into a local file of the program's temporary folder, named after the URL's
  // file name. Blocks until the transfer is over (the user-interface thread keeps running).
  // Failures are returned, never thrown or shown.
  virtual TDownload Download(const std::string& url) = 0;
  // Goes on with the last download that failed Resumable, from where it broke off; the result
  // is the file whole, as an unbroken download gives it. Returns as Download does.
  virtual TDownload Resume() { return {"", "The download cannot be continued."}; }
  // Gives up the part kept for Resume.
  virtual void DiscardPartial() {}
};

} // namespace dravik
