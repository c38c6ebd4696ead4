// A supported game together with its patch store: the two folders inside the game's folder
// ("HXPatch\" for inactive patches, "HXPatch\active\" for active ones), the list of patches read
// from them, activation, deletion, installation of patch files, and the game's list of on-line
// repositories. Whatever leads to a patch file (archives, shortcuts, downloads) is the
// installer's (installer.h).
//
// A patch's file is named by the name it has on the disk; a name that could lead out of the
// store's folders (a folder, a drive, "." or "..") or holds a control character is refused with
// an Exception before any file is touched.
//
// All operations run on the user-interface thread and block on file I/O. The questions the
// store asks (delete, overwrite, episode) go through the dialogs interface; it shows nothing
// else: failures are thrown, warnings returned.
#pragma once

#include "catalogue/hxapps.h"
#include "patches/patchlist.h"
#include "platform/stringlist.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace dravik {

// Store folders relative to the game's folder, indexed by TPatch::Active.
extern const std::array<const char*, 2> PatchDirs;

// Whether the store takes `name` as a patch's file name: not empty, "." or "..", and holding
// no folder separator, drive colon or control character.
bool IsPlainFileName(const std::string& name);

class THXPatchedApp : public THXAppInfo {
public:
  // Reads the game's repositories (the "Repositories" sub-key), when it has one.
  void ReadExtra(TRegistry& reg) override;

  // Creates the two store folders when missing (EInOutError when one cannot be made). Throws
  // when the game's folder is not known.
  void CreateStoreFolders();
  // CreateStoreFolders, then Rescan, whose warning it returns.
  std::string OpenStore();
  // Reads both folders anew into Patches (sorted by name, ascending) and forgets the All
  // answers. Files that cannot be read as patches are left out; the returned warning names
  // them ("" when there are none, or when the last warning named the same files). A patch that
  // an earlier Rescan read from a file that is still there, unchanged, stays (the same object)
  // instead of being read again; every other patch goes.
  std::string Rescan();
  // Switches the patch at `position` on or off by moving its file between the folders; switching
  // on first switches off its active conflicting patches. It is done whole or not at all: when a
  // move fails, the patches already moved are moved back and an Exception says which file could
  // not be moved and why ("Cannot move %s: %s", naming the file in the way when the target
  // exists).
  void ToggleActive(int position);
  // Moves each patch's file to the other folder and flips its Active, in the given order, whole
  // or not at all: every path is checked before the first move (a name that is not plain throws
  // then), and when a move fails, the files already moved are moved back, last first, and an
  // Exception says as ToggleActive's which file could not be moved. The list is not re-sorted.
  void SwitchPatches(const std::vector<TPatch*>& patches);
  // Asks, then deletes the patch's file and the patch. A file that cannot be deleted raises
  // "Cannot delete %s: %s" and the patch stays. A patch not in the list is ignored.
  void DeletePatch(TPatch* patch);
  // Rewrites the game's "Repositories" key from Repositories, only when the key exists.
  void SaveRepositories();
  // The same for the game numbered `number`, from `repositories` (name=URL lines).
  static void SaveRepositories(int number, const TStringList& repositories);

  // Installs one patch file (a file matching PatchFilter): a patch is copied into "HXPatch\"
  // (after asking when one of its name is in the store; the old one goes from both folders)
  // and listed; an episode (it carries "episode.hx") goes to the game's "episode\" folder after
  // asking. Returns false when the user answered No. Throws when the file's name is refused,
  // when it is not a GOB archive ("Cannot install %s: it is not a GOB archive") or cannot be
  // read, and when the copy fails ("Cannot copy %s: %s", the store keeping what it had). A
  // replaced patch's active copy that cannot be removed stays listed, switched on, beside the
  // new one, and "Cannot delete %s: %s" is thrown afterwards.
  bool InstallPatchFile(const std::string& path);

  std::string GameDir() { return GetDirectPlayValue(0); }

  TPatchList Patches;
  TStringList Repositories; // name=URL
  bool EpisodeToAll = false;
  bool OverwriteToAll = false;

private:
  bool InstallEpisode(const std::string& path, const std::string& name);
  // Copies the file into the inactive folder as `name` and lists `patch`, read from it.
  bool InstallPatch(const std::string& path, const std::string& name,
                    std::unique_ptr<TPatch> patch);
  // Answers an overwrite question for `question` (Yes/No/All); false means skip the file.
  bool MayOverwrite(const std::string& question);
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
