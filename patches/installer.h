// Brings files and downloads into one game's store. It recognises what it is given by name:
// Internet shortcuts (".url": the URL they name is downloaded and installed), shell links
// (".lnk": their target), ZIP archives (each patch file inside) and patch files, which the
// store installs (THXPatchedApp::InstallPatchFile: patches, or episodes to the game's episode
// folder, asking before it replaces anything). Everything that one installation leads to runs
// inside the one installer, so a chain of links, shortcuts and archives is counted as a whole
// and ends at a depth of 8 with a failure, however it loops.
//
// It shows nothing but the store's questions and the download's progress: every call returns
// a report (installed, skipped or failed, by the names the user knows) for the window that
// started it. User-interface thread; blocks on file I/O and downloads.
#pragma once

#include "patches/installresult.h"

#include <string>
#include <vector>

namespace dravik {

class TDownloader;
class THXPatchedApp;

class TInstaller {
public:
  // Neither is owned; both must outlive the installer. Without a downloader, URLs and Internet
  // shortcuts fail.
  TInstaller(THXPatchedApp& game, TDownloader* downloader);

  // Installs each file in turn (an Add Patch selection, a drop), going on after a failure. A
  // missing file or one of no known kind is skipped.
  TInstallReport InstallFiles(const std::vector<std::string>& paths);
  // Downloads each URL in turn and installs what arrives (the downloaded file is deleted).
  TInstallReport InstallURLs(const std::vector<std::string>& urls);

  // Most links, shortcuts and archives one installation goes through.
  static constexpr int kMaxDepth = 8;

private:
  // `name` is how the report names the file; `depth` counts the links, shortcuts and archives
  // that led to it.
  void InstallFile(const std::string& path, const std::string& name, int depth);
  void InstallZip(const std::string& path, const std::string& name, int depth);
  void InstallUrlShortcut(const std::string& path, const std::string& name, int depth);
  void InstallFromURL(const std::string& url, int depth);
  void Add(TInstallOutcome outcome, const std::string& name, const std::string& reason);

  THXPatchedApp& FGame;
  TDownloader* FDownloader;
  TInstallReport FReport;
};

// The target of a shell link (at most 260 characters). Throws when the link cannot be read.
std::string ResolveShellLink(const std::string& path);

// What WM_DOWNLOAD_INSTALL's lParam points to: the URL to install, and afterwards the report.
struct TDownloadInstallRequest {
  std::string URL;
  TInstallReport Report;
};

// Installs downloads into the game being managed: what the main window offers the repository
// window.
class TURLInstaller {
public:
  virtual ~TURLInstaller() = default;
  // As TInstaller::InstallURLs, into the current game (an empty report without one).
  virtual TInstallReport InstallURLs(const std::vector<std::string>& urls) = 0;
};

} // namespace dravik
