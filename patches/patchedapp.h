// A supported game together with its patch store: the two folders inside the game's folder
// ("HXPatch\" for inactive patches, "HXPatch\active\" for active ones), the list of patches read
// from them, activation, deletion, installation of new files, and the game's list of on-line
// repositories.
//
// A patch's file is named by the name it has on the disk; a name that could lead out of the
// store's folders (a folder, a drive, "." or "..") or holds a control character is refused with
// an Exception before any file is touched.
//
// All operations run on the user-interface thread and block on file I/O; installation may also
// wait for a download through the main window. Questions go through the dialogs interface.
#pragma once

#include "catalogue/hxapps.h"
#include "patches/patchlist.h"
#include "platform/stringlist.h"

#include <array>
#include <memory>
#include <string>

namespace dravik {

// Store folders relative to the game's folder, indexed by TPatch::Active.
extern const std::array<const char*, 2> PatchDirs;

class THXPatchedApp : public THXAppInfo {
public:
  // Reads the game's repositories (the "Repositories" sub-key), when it has one.
  void ReadExtra(TRegistry& reg) override;

  // Creates the two store folders when missing (EInOutError when one cannot be made), then
  // Rescan. Throws when the game's folder is not known.
  void OpenStore();
  // Reads both folders anew into Patches (sorted by name, ascending) and forgets the All
  // answers. Files that cannot be read as patches are skipped and named afterwards in one
  // warning (not repeated while the same files stay unreadable).
  void Rescan();
  // Switches the patch at `position` on or off by moving its file between the folders; switching
  // on first switches off its active conflicting patches. It is done whole or not at all: when a
  // move fails, the patches already moved are moved back and an Exception says which file could
  // not be moved and why ("Cannot move %s: %s", naming the file in the way when the target
  // exists).
  void ToggleActive(int position);
  // Asks, then deletes the patch's file and the patch. A file that cannot be deleted raises
  // "Cannot delete %s: %s" and the patch stays. A patch not in the list is ignored.
  void DeletePatch(TPatch* patch);
  // Rewrites the game's "Repositories" key from Repositories, only when the key exists.
  void SaveRepositories();

  // Installs whatever the file holds: an Internet shortcut (downloaded through the main
  // window), a shell link (its target), a ZIP archive (each patch inside), a patch, or an
  // episode (to the game's "episode\" folder). A missing file or one of no known kind is
  // ignored; a file of a patch's name that is not a GOB archive raises. Errors reading the file
  // raise; a failed copy is shown as "Cannot copy %s: %s". A replaced patch's active copy that
  // cannot be removed is shown as "Cannot delete %s: %s" and stays listed, switched on, beside the
  // new inactive one.
  void InstallFile(const std::string& path);
  void InstallZip(const std::string& path);
  void InstallUrlShortcut(const std::string& path);
  // The target of a shell link (at most 260 characters); raises when it cannot be read.
  std::string ResolveShellLink(const std::string& path);

  std::string GameDir() { return GetDirectPlayValue(0); }

  TPatchList Patches;
  TStringList Repositories; // name=URL
  bool EpisodeToAll = false;
  bool OverwriteToAll = false;

private:
  void InstallEpisode(const std::string& path, const std::string& name);
  // Copies the file into the inactive folder as `name` and lists `patch`, read from it.
  void InstallPatch(const std::string& path, const std::string& name,
                    std::unique_ptr<TPatch> patch);
  // Answers an overwrite question for `question` (Yes/No/All); false means skip the file.
  bool MayOverwrite(const std::string& question);
  int FLinkDepth = 0;         // shell links followed in the current installation
  std::string FReportedSkips; // the unreadable files the last warning named
};

class THXPatchedAppList : public THXAppList {
public:
  THXPatchedApp* Items(int index) const {
    return static_cast<THXPatchedApp*>(THXAppList::Items(index));
  }

protected:
  THXAppInfo* CreateEntry() override;
};

} // namespace dravik
