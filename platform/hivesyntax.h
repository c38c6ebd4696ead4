// The syntax of Wine's registry hive files (system.reg, user.reg), line by line: the header,
// key lines, "#time=" options and value lines with their escapes and value kinds, read as Wine
// reads them and written as Wine writes them; and the names and strings they carry (UTF-16,
// letter case folded as Wine folds it). Text only: no files and no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
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

struct TRegValue {
  std::u16string Name; // "" for the default value
  uint32_t Type = REG_NONE;
  std::vector<uint8_t> Data; // strings: UTF-16LE with their terminating NUL
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

namespace hivesyntax {

// The first line of every hive file.
constexpr std::string_view kHeaderLine = "WINE REGISTRY Version 2";

// The header Wine writes into a new hive of the machine root or the per-user root: the header
// line, the comment naming the root and "#arch=win64".
std::string DefaultHeader(bool machine);

// Physical lines ending in LF, CR LF or CR (the last one perhaps in nothing).
struct TLineReader {
  std::string_view Text;
  size_t Pos = 0; // where the next line starts

  // The next line without its line break, and its whole extent; false at the end.
  bool Next(std::string_view& content, std::string_view& raw);
};

// The line break that ends `raw` ("" for a last line without one).
std::string_view LineBreak(std::string_view raw);
// The index of the first character at or after `p` that is not a blank or a control code from
// tab to carriage return.
size_t SkipSpace(std::string_view s, size_t p);

// A key line "[a\\b] 123" (leading blanks allowed): its path split into names, and in
// `headEnd` the index just past the closing "]". False when Wine would not read it (no closing
// bracket, a path starting with "\", deeper than kMaxKeyDepth).
bool ParseKeyLine(std::string_view line, size_t& headEnd, std::vector<std::u16string>& names);
// "[a\\b]" for the key path `names`, brackets escaped.
std::string KeyPathText(const std::vector<std::u16string>& names);

// A value line from its '@' or '"' (`line` without its line break). Hex data continued with a
// backslash takes the following lines from `reader`, never a key line. False when Wine would
// not read it; lines taken from `reader` stay taken.
bool ParseValueLine(std::string_view line, TLineReader& reader, TRegValue& value);
// The value's line in Wine's syntax, line break included: strings as strings when their data
// allows, numbers as dword, anything else as hex wrapped where Wine wraps it.
std::string ValueLine(const TRegValue& value);

// The time now, as key lines ("[...] 1700000000") and "#time=" options carry it.
struct TStamp {
  uint32_t Seconds; // Unix time
  uint64_t Ticks;   // 100 ns since 1601
};
TStamp Now();
// "#time=1da1a2b3c4d5e6f" for `ticks`, without a line break.
std::string TimeOption(uint64_t ticks);

} // namespace hivesyntax

} // namespace dravik
