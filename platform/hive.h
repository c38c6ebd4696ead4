// One Wine registry hive file (system.reg, user.reg) for TRegistry: its text (THiveText,
// hivetext.h) kept in step with the file, and changes saved atomically under the file's lock.
//
// Not thread-safe: callers hold Mutex() around every use, including the key pointers a hive
// hands out, which stay valid until the next Refresh() or Update().
#pragma once

#include "hivetext.h"
#include "sysutils.h"

#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <time.h>

namespace dravik {

// A hive file that cannot be read or saved, or a change that cannot be made; Message() is the
// cause, for the caller to put after its own message.
class EHiveError : public Exception {
public:
  using Exception::Exception;
};

class THive : public THiveText {
public:
  enum TKind { hkMachine, hkUser };

  // `path` is the hive file; nothing is read until Refresh().
  THive(std::string path, TKind kind);
  THive(const THive&) = delete;
  THive& operator=(const THive&) = delete;

  std::mutex& Mutex() noexcept { return FMutex; }
  const std::string& Path() const noexcept { return FPath; }
  std::string Folder() const;
  TKind Kind() const noexcept { return FKind; }

  // Reads the file again when it is not the one last read or saved (size, time, inode; or
  // changed too recently for its time to tell). A
  // missing file is an empty hive; an unreadable or foreign one reads as empty too, and
  // Update() refuses to replace it.
  void Refresh();

  // Under the hive's file lock (blocking), reads the file again if it changed, runs `change`
  // on it and, when it returns true, saves the result (temporary file, fsync, rename); a
  // missing file is made with Wine's header. `change` finds its keys afresh. On failure the
  // file is left as it was, the hive is read again from it, and EHiveError (or what `change`
  // threw) propagates. The lock is the file "." + name + ".dravik-lock" beside the hive.
  void Update(const std::function<bool()>& change);

  // What identifies one version of the file.
  struct TFileId {
    bool Exists = false;
    dev_t Dev = 0;
    ino_t Ino = 0;
    off_t Size = 0;
    timespec MTime{};
    bool operator==(const TFileId& o) const noexcept;
  };

private:
  enum TState { hsUnread, hsMissing, hsValid, hsUnusable };

  // The file is read and written here alone.
  using THiveText::Clear;
  using THiveText::Read;

  void Load();
  void Save();
  TFileId CurrentId() const;
  void SetId(const TFileId& id);
  std::string FileName() const;
  std::string LockPath() const;

  std::mutex FMutex;
  std::string FPath;
  TKind FKind;
  TState FState = hsUnread;
  std::string FCause; // why an unusable file is not replaced
  TFileId FId;
  bool FRacy = false; // FId may not tell a later change apart
};

} // namespace dravik
