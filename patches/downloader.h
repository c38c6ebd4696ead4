// Fetching the file a URL names, as the installer needs it. The program's retriever implements
// it (with its progress dialog and cancel); tests give their own.
#pragma once

#include <string>

namespace dravik {

struct TDownload {
  std::string File;  // Windows path of the fetched file; the caller deletes it. "" when none
  std::string Error; // why nothing was fetched; "" when the user cancelled (or on success)
};

class TDownloader {
public:
  virtual ~TDownloader() = default;
  // Fetches `url` into a local file of the program's temporary folder, named after the URL's
  // file name. Blocks until the transfer is over (the user-interface thread keeps running).
  // Failures are returned, never thrown or shown.
  virtual TDownload Download(const std::string& url) = 0;
};

} // namespace dravik
