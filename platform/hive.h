// One Wine registry hive file (system.reg, user.reg) held in memory, for TRegistry.
//
// The file is kept as its sections (the text before the first key, then one section per key
// line) and each section as its lines exactly as read, so that whatever is not changed is
// written back byte for byte; values are parsed for reading, and the key tree (with the keys
// that only their children's paths imply) is built on top. New and changed lines are written in
// Wine's own syntax.
//
// Not thread-safe: callers hold Mutex() around every use, including the key pointers a hive
// hands out, which stay valid until the next Refresh() or Update().
#pragma once

#include "sysutils.h"

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <time.h>
#include <vector>

namespace dravik {

// Value types as Wine stores them.
constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_LINK = 6;
constexpr uint32_t REG_MULTI_SZ = 7;

// Deepest key path the hive reads or makes (Windows allows 512 levels).
constexpr size_t kMaxKeyDepth = 512;

// A hive file that cannot be read or saved, or a change that cannot be made; Message() is the
// cause, for the caller to put after its own message.
class EHiveError : public Exception {
public:
  using Exception::Exception;
};

struct TRegValue {
  std::u16string Name; // "" for the default value
  uint32_t Type = REG_NONE;
  std::vector<uint8_t> Data; // strings: UTF-16LE with their terminating NUL
};

// One line of a section; a value with continuation lines is one line here.
struct THiveLine {
  enum TKind { lkText, lkOption, lkValue };
  TKind Kind = lkText; // lkText: blank, comment or anything not understood
  std::string Raw;     // the bytes as read (or as written by us), line breaks included
  TRegValue Value;     // lkValue only
};

struct THiveKey;

struct THiveSection {
  std::string Lead;   // blank lines before the key line
  std::string Head;   // the key line with its line break; "" before the first key
  size_t HeadEnd = 0; // offset in Head just past the closing "]"
  std::vector<THiveLine> Lines;
  THiveKey* Key = nullptr; // nullptr: the text before the first key or after a bad key line
};

struct THiveKey {
  std::u16string Name; // spelling of its first appearance
  THiveKey* Parent = nullptr;
  std::map<std::u16string, std::unique_ptr<THiveKey>> SubKeys; // by FoldName: ascending
  std::vector<THiveSection*> Sections;                         // its key lines, in file order
};

class THive {
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
  // "#arch=win64" stands before the first key.
  bool IsWin64() const noexcept { return FWin64; }

  // Reads the file again when it is not the one last read or saved (size, time, inode; or
  // changed too recently for its time to tell). A
  // missing file is an empty hive; an unreadable or foreign one reads as empty too, and
  // Update() refuses to replace it.
  void Refresh();

  THiveKey* Root() noexcept { return FRoot.get(); }
  THiveKey* SubKey(const THiveKey* key, std::u16string_view name) const;
  // Adds a sub-key without a key line of its own (its children's paths imply it). The new key
  // and its parent count as changed.
  THiveKey* AddSubKey(THiveKey* parent, std::u16string_view name);
  // Gives a key without a key line one, where Wine would write it.
  void AddKeyLine(THiveKey* key);
  size_t Depth(const THiveKey* key) const noexcept;
  bool IsLink(const THiveKey* key) const;

  // The value as it reads (a repeated name: the last line); nullptr when absent.
  const TRegValue* FindValue(const THiveKey* key, std::u16string_view name) const;
  // Value names in stored order, each once.
  std::vector<std::u16string> ValueNames(const THiveKey* key) const;
  // Replaces or adds a value; the key counts as changed.
  void SetValue(THiveKey* key, TRegValue value);
  // False when there is no such value.
  bool DeleteValue(THiveKey* key, std::u16string_view name);

  // Under the hive's file lock (blocking), reads the file again if it changed, runs `change`
  // on it and, when it returns true, saves the result (temporary file, fsync, rename); a
  // missing file is made with Wine's header. `change` finds its keys afresh. On failure the
  // file is left as it was, the hive is read again from it, and EHiveError (or what `change`
  // threw) propagates. The lock is the file "." + name + ".dravik-lock" beside the hive.
  void Update(const std::function<bool()>& change);

  // The whole file as it would be saved.
  std::string Text() const;

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

  void Load();
  void Clear();
  void Parse(std::string_view text);
  THiveKey* Child(THiveKey* parent, std::u16string_view name);
  void Save();
  void Touch(THiveKey* key);
  TFileId CurrentId() const;
  void SetId(const TFileId& id);
  std::string FileName() const;
  std::string LockPath() const;
  std::string DefaultHeader() const;

  std::mutex FMutex;
  std::string FPath;
  TKind FKind;
  TState FState = hsUnread;
  std::string FCause; // why an unusable file is not replaced
  TFileId FId;
  bool FRacy = false; // FId may not tell a later change apart
  bool FWin64 = false;
  std::unique_ptr<THiveKey> FRoot;
  std::list<THiveSection> FSections;
};

// Letter case ignored as Wine does (each UTF-16 unit upper-cased); equal names fold alike,
// and folded names sort ascending ignoring case, a shorter name first on a tie.
std::u16string FoldName(std::u16string_view name);
bool SameName(std::u16string_view a, std::u16string_view b);

// UTF-8 <-> UTF-16. Malformed UTF-8 turns into U+FFFD. A lone surrogate (Windows allows them)
// turns into U+FFFD too, or with `keepSurrogates` into its three-byte form, which
// Utf8ToUtf16 reads back: names survive a round trip through the program.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s, bool keepSurrogates = false);

// The names of a key path, split at "\\" (empty names, as in "a\\\\b\\", left out).
std::vector<std::u16string> SplitKeyPath(std::u16string_view path);

// A string value's data (UTF-16LE with its NUL) and back (up to the first NUL).
std::vector<uint8_t> StringValueData(std::u16string_view text);
std::u16string StringText(const std::vector<uint8_t>& data);

} // namespace dravik
