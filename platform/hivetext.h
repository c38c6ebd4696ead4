// The text of one Wine registry hive (system.reg, user.reg) held in memory: read from the
// file's bytes, looked up and changed by key and value, and written back as text. No files:
// THive (hive.h) keeps one in step with its file.
//
// The text is kept as its sections (the text before the first key, then one section per key
// line) and each section as its lines exactly as read, so that whatever is not changed is
// written back byte for byte; values are parsed for reading, and the key tree (with the keys
// that only their children's paths imply) is built on top. New and changed lines are written in
// Wine's own syntax (hivesyntax.h).
//
// Not thread-safe. The key pointers it hands out stay valid until the next Read() or Clear().
#pragma once

#include "hivesyntax.h"

#include <list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

// One line of a section; a value with continuation lines is one line here.
struct THiveLine {
  enum TKind { lkText, lkOption, lkValue };
  TKind Kind = lkText; // lkText: blank, comment or anything not understood
  std::string Raw;     // the bytes as read (or as written by us), line breaks included
  TRegValue Value;     // lkValue only
  // lkText: a value whose continuation line is missing (the text ended or a key line came);
  // whatever is written after it must not become that continuation.
  bool CutShort = false;
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

class THiveText {
public:
  // An empty hive: no text, no keys.
  THiveText();
  THiveText(const THiveText&) = delete;
  THiveText& operator=(const THiveText&) = delete;

  // Replaces the contents by `text`, any bytes. Lines Wine would not read are kept as text and
  // mean nothing. False when `text` is not a hive (its first line is not Wine's header): the
  // hive is then empty.
  bool Read(std::string_view text);
  void Clear();

  // "#arch=win64" stands before the first key.
  bool IsWin64() const noexcept { return FWin64; }

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

  // The whole text: as read where nothing changed.
  std::string Text() const;

private:
  void Parse(std::string_view text);
  THiveKey* Child(THiveKey* parent, std::u16string_view name);
  // A changed key's lines get the time now.
  void Touch(THiveKey* key);

  bool FWin64 = false;
  std::unique_ptr<THiveKey> FRoot;
  std::list<THiveSection> FSections;
};

} // namespace dravik
