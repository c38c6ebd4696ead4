// Ordered list of text lines with the key=value conventions the program relies on:
// a line's key is the text before its first "=", keys match ignoring letter case (a..z),
// lookups find the first match, and setting a key to an empty value removes its line.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace dravik {

class TStringList {
public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> lines) : FLines(lines) {}

  int Count() const noexcept { return static_cast<int>(FLines.size()); }
  bool Empty() const noexcept { return FLines.empty(); }
  // Throws EStringListError "List index out of bounds (%d)" for a bad index.
  const std::string& operator[](int index) const;
  std::string& operator[](int index);
  const std::vector<std::string>& Lines() const noexcept { return FLines; }

  int Add(std::string line);
  void Insert(int index, std::string line);
  void Delete(int index);
  void Clear() noexcept { FLines.clear(); }
  void Reserve(int count) { FLines.reserve(static_cast<size_t>(std::max(count, 0))); }
  void Assign(const TStringList& other) { FLines = other.FLines; }

  // First line equal to `s`, letter case (a..z) ignored; -1 when none.
  int IndexOf(std::string_view s) const noexcept;

  // Key=value access.
  std::string Names(int index) const;          // "" for a line without "="
  std::string ValueFromIndex(int index) const; // text after the first "=" ("" without one)
  int IndexOfName(std::string_view name) const noexcept;
  std::string Values(std::string_view name) const;
  // Empty value: removes the first line with that key. Otherwise replaces the first line with
  // that key by name=value, or appends it.
  void SetValue(std::string_view name, std::string_view value);

  // Every line followed by CR LF.
  std::string Text() const;
  // Replaces the lines by those of `text`, split at CR LF, CR or LF. A final line break does
  // not make an empty last line.
  void SetText(std::string_view text);

  // Ascending by whole line, letter case (a..z) ignored (not stable).
  void Sort();

  bool operator==(const TStringList& o) const = default;

private:
  void Check(int index) const;
  std::vector<std::string> FLines;
};

} // namespace dravik
