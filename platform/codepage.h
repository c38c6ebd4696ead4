// 8-bit text of the Windows program (archive member names, descriptor lines, INI files) is
// Windows-1252; names in ZIP archives without the UTF-8 flag are code page 437. Inside
// Dravik all text is UTF-8; these convert at the edges.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dravik {

// Every byte maps to one character. The five bytes Windows-1252 leaves undefined map to the
// C1 control characters of the same number, so a round trip keeps them.
std::string Cp1252ToUtf8(std::string_view s);
// The character of one Windows-1252 byte.
char32_t Cp1252Char(unsigned char b) noexcept;
// Empty when the text holds a character that Windows-1252 cannot carry (or bad UTF-8).
std::optional<std::string> Utf8ToCp1252(std::string_view s);

std::string Cp437ToUtf8(std::string_view s);

// Appends the UTF-8 form of one code point (surrogate code points too, as three bytes).
void AppendUtf8(std::string& out, char32_t c);

// Decodes the UTF-8 character at s[i] into `c` and moves `i` past it. False (i unchanged) when
// the bytes at `i` are not one well-formed character: cut short, overlong, beyond U+10FFFF, or
// an encoded surrogate unless `allowSurrogates`.
bool DecodeUtf8(std::string_view s, size_t& i, char32_t& c, bool allowSurrogates = false) noexcept;

// Whether `s` is well-formed UTF-8.
bool IsValidUtf8(std::string_view s) noexcept;

} // namespace dravik
