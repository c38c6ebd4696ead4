// The GOB editor's document: one archive held wholly in memory as a tree of directories, each
// owning the members that lie in it, plus the descriptor lines written as "patchinfo.txt".
//
// Files come from disk through Windows paths (platform/winfs.h). A file whose name Windows-1252
// cannot carry is refused with a message naming it. Questions and messages go through
// Dialogs(). Errors that end an operation are exceptions (EFOpenError, EFCreateError, or an
// Exception from the archive writer naming the member it cannot store); the caller shows them.
// Qt-free; everything runs on the calling thread and blocks on file I/O only.
#pragma once

#include "gob/gobformat.h"
#include "platform/stringlist.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// One directory of the document. The root's caption is "\" and stands for the archive root.
class TGOBDirectory {
public:
  TGOBDirectory(std::string caption, TGOBDirectory* parent);
  TGOBDirectory(const TGOBDirectory&) = delete;
  TGOBDirectory& operator=(const TGOBDirectory&) = delete;

  std::string Caption;
  TGOBDirectory* Parent() const { return FParent; }
  bool IsRoot() const { return FParent == nullptr; }
  // A number no other directory of this run has had (for views that follow the tree).
  uint64_t Id() const { return FId; }

  // Children in the order they were added; owned.
  std::vector<std::unique_ptr<TGOBDirectory>> Children;
  // The members lying directly in this directory (names without folder); owned.
  std::vector<std::unique_ptr<TGOBThing>> Members;

  // Whether `dir` is this directory or lies below it.
  bool Holds(const TGOBDirectory* dir) const;
  TGOBDirectory* AddChild(std::string caption);

private:
  TGOBDirectory* FParent;
  uint64_t FId;
};

class TGOBDocument {
public:
  TGOBDocument();
  ~TGOBDocument();
  TGOBDocument(const TGOBDocument&) = delete;
  TGOBDocument& operator=(const TGOBDocument&) = delete;

  // The window's Save command, which the save question runs on Yes: write to FileName, or ask
  // for a name when untitled. Returns false when no archive was written (Save As cancelled).
  std::function<bool()> OnSave;

  // Asks the save question when there are unsaved changes; returns whether the caller may go
  // on and discard the document. Yes saves through OnSave (a save that does not happen
  // returns false; one that fails throws), No discards, Cancel keeps everything.
  bool QuerySave();

  // An empty, untitled document (after QuerySave; returns false, changing nothing, when it
  // says stop).
  bool NewGOB();
  // Replaces the document by the archive `file` (the caller has asked QuerySave). FileName
  // and Caption name the file even when it cannot be opened (EFOpenError), leaving the
  // document empty. Returns false when the document was not replaced.
  bool LoadGOB(const std::string& file);
  // Writes the document to `file` (atomically: a failed write leaves any old file whole),
  // then takes it as FileName and clears Modified. Throws, changing nothing, when a member's
  // path is longer than 127 characters or has characters the archive cannot carry.
  void WriteGOB(const std::string& file);

  // Adds one file from disk: "patchinfo.txt" replaces the descriptor; any other file becomes a
  // member, placed by the extension table when `byExtension`, else in `dirPath` below the
  // selected directory; a member of the same name there is replaced after a question. A file
  // that cannot be read is skipped without a message.
  void AddFile(const std::string& file, bool byExtension, std::string dirPath);
  // Adds a folder with everything below it (hidden entries left out) under the selected
  // directory; `relPath` is the directory path reached so far, empty at the top call.
  void AddFolder(const std::string& folder, std::string relPath);

  // Finds or makes the directory path `path` ("3do\mat\" or "3do\mat") below `start` (the root
  // when null); names match exactly.
  TGOBDirectory* ForceDirectory(std::string_view path, TGOBDirectory* start);
  // The archive path of a directory: "" for the root, "3do\mat\" for mat under 3do.
  static std::string NodePath(const TGOBDirectory* node);

  TGOBDirectory* Root() const { return FRoot.get(); }
  // The selected directory, which the window keeps up to date; null when none is.
  TGOBDirectory* Selected = nullptr;
  TGOBDirectory* FindDirectory(uint64_t id) const;

  // Directory editing.
  // Appends "New Directory" under the selected directory (the root when none) and returns it.
  TGOBDirectory* NewDirectory();
  // A committed caption edit; returns the caption the directory now has. A name that another
  // sibling already has is refused with a message, keeping the old one.
  std::string RenameDirectory(TGOBDirectory* dir, const std::string& caption);
  // Removes a directory with everything below it (never the root).
  void DeleteDirectory(TGOBDirectory* dir);

  // Member editing; positions are list positions in `dir`, in any order.
  void DeleteMembers(TGOBDirectory* dir, std::vector<int> positions);
  // Moves members to `target`, taken from the last position to the first and appended there.
  // Nothing happens for the same directory or no target.
  void MoveMembers(TGOBDirectory* dir, std::vector<int> positions, TGOBDirectory* target);
  void RenameMember(TGOBDirectory* dir, int position, const std::string& name);
  // Sorts a directory's members by name: a..z taken as A..Z, other characters by their
  // Windows-1252 code, a name that begins another first.
  static void SortMembers(TGOBDirectory* dir);

  // Replaces the descriptor by the properties dialog's result.
  void SetPatchInfo(const TStringList& lines);

  TStringList PatchInfo;     // descriptor lines key=value
  TStringList ExtensionDirs; // ".ext=dir\" lines placing added files
  std::string FileName;      // the archive's Windows path; empty while untitled
  std::string Caption;       // the window caption
  bool Modified = false;

  // Number of members in all directories.
  int MemberCount() const;

private:
  void Clear();
  std::unique_ptr<TGOBDirectory> FRoot;
};

} // namespace dravik
