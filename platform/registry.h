// The settings store: keys, sub-keys and named values of the prefix's registry, kept in Wine's
// text hive files (system.reg for the machine root, user.reg for the per-user root).
//
// Contract:
// - Key and value names match without regard to letter case and keep the spelling of their
//   first creation. Paths use "\" between names; a leading "\" makes a path absolute, otherwise
//   it is relative to the open key (or the root when none is open). An empty sub-key name opens
//   the key itself.
// - In a 64-bit prefix the machine root is seen as a 32-bit Windows program sees it: a path
//   under "Software\" goes to the "Wow6432Node" child of any key that has one. Link keys are
//   followed.
// - Every open re-reads the hive when its file changed on disk. Every write is saved before the
//   call returns: under an advisory lock, into a temporary file renamed over the hive. Keys and
//   values not changed are written back exactly as they were read.
// - While a wineserver runs for the prefix (wineserver.h) it owns the hives and would overwrite
//   a change, so writes are refused with EWineRunning naming the cause. Writing the value (type and
//   data) that is stored already changes nothing and is never refused.
// - Reads and writes block only on file I/O and the hive lock.
// - Failures that the program shows are ERegistryException with the texts
//   "Invalid data type for '%s'" and "Failed to set data for '%s'" (plus
//   "Failed to get data for '%s'" for a number or boolean read of a missing value).
#pragma once

#include "stringlist.h"
#include "sysutils.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace dravik {

// A write refused because a wineserver runs for the prefix; the message says so.
class EWineRunning : public ERegistryException {
public:
  using ERegistryException::ERegistryException;
};

enum TRootKey { HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class THive;

class TRegistry {
public:
  explicit TRegistry(TRootKey root = HKEY_CURRENT_USER);
  ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  TRootKey RootKey() const noexcept { return FRoot; }
  // Closes the open key and switches roots.
  void SetRootKey(TRootKey root);

  // Opens a key, creating it and its parents when `canCreate` and it is missing. Returns false
  // (and leaves no key open) when it does not exist and may not be created, or cannot be
  // saved. Throws ERegistryException when a key must be created while Wine owns the hive.
  bool OpenKey(const std::string& key, bool canCreate);
  bool OpenKeyReadOnly(const std::string& key);
  void CloseKey() noexcept;
  bool HasOpenKey() const noexcept;
  // Full path of the open key from its root as it is stored (after redirection), "" if none.
  std::string CurrentPath() const;

  bool KeyExists(const std::string& key);

  bool ValueExists(const std::string& name) const;
  // Size of the value's data in bytes, -1 when the value does not exist. A string's size counts
  // its UTF-16 code units and the terminating NUL, as Windows reports it.
  int GetDataSize(const std::string& name) const;
  TRegDataType GetDataType(const std::string& name) const;

  // Absent: "". Not a string type: "Invalid data type for '%s'". Text is UTF-8.
  std::string ReadString(const std::string& name) const;
  // Absent: returns 0, buffer untouched. Not binary, or larger than bufSize:
  // "Invalid data type for '%s'". Returns the number of bytes copied.
  int ReadBinaryData(const std::string& name, void* buffer, int bufSize) const;
  std::vector<uint8_t> ReadBinary(const std::string& name) const;
  // A 32-bit number (REG_DWORD). Absent: "Failed to get data for '%s'"; other type:
  // "Invalid data type for '%s'".
  int ReadInteger(const std::string& name) const;
  bool ReadBool(const std::string& name) const { return ReadInteger(name) != 0; }

  // Each write replaces the value (whatever its type) and is on disk when the call returns.
  // Failure (no key open, read-only open, Wine running, disk error): "Failed to set data for
  // '%s'" with the cause appended where it helps.
  void WriteString(const std::string& name, const std::string& value);
  void WriteExpandString(const std::string& name, const std::string& value);
  void WriteBinaryData(const std::string& name, const void* buffer, int size);
  void WriteInteger(const std::string& name, int value);
  void WriteBool(const std::string& name, bool value) { WriteInteger(name, value ? 1 : 0); }
  // Returns false when there was no such value or it could not be deleted.
  bool DeleteValue(const std::string& name);

  // Names of the open key's sub-keys, ascending ignoring letter case; of its values, in stored
  // order. Both lists are cleared first; without an open key they stay empty.
  void GetKeyNames(TStringList& names) const;
  void GetValueNames(TStringList& names) const;
  bool HasSubKeys() const;

private:
  // Replaces or adds the open key's value and saves the hive.
  void WriteValue(const std::string& name, uint32_t type, std::vector<uint8_t> data);

  TRootKey FRoot;
  std::shared_ptr<THive> FHive;
  std::vector<std::string> FKeyPath; // stored names from the root to the open key
  bool FOpen = false;
  bool FReadOnly = false;
};

} // namespace dravik
