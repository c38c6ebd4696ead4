#include "namefold.h"

#include "codepage.h"
#include "sysutils.h"

#include <functional>

namespace dravik::winfs {

namespace {

// The upper-case form of a character for comparing names.
char32_t FoldChar(char32_t c) {
  auto evenUpper = [](char32_t x) { return (x & 1) ? x - 1 : x; };
  auto oddUpper = [](char32_t x) { return (x & 1) ? x : x - 1; };
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c < 0x100) {
    if (c == 0xB5) return 0x39C; // micro sign -> Greek capital mu
    if (c == 0xFF) return 0x178;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
  }
  if (c < 0x180) {
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return oddUpper(c);
    return evenUpper(c);
  }
  if (c < 0x250) {
    if (c >= 0x1CD && c <= 0x1DC) return oddUpper(c);
    if ((c >= 0x1DE && c <= 0x1EF) || (c >= 0x1F8 && c <= 0x21F) || (c >= 0x222 && c <= 0x233) ||
        (c >= 0x246 && c <= 0x24F))
      return evenUpper(c);
    return c;
  }
  if (c < 0x400) {
    if (c == 0x3C2) return 0x3A3; // final sigma
    if (c >= 0x3B1 && c <= 0x3CB) return c - 32;
    if (c == 0x3AC) return 0x386;
    if (c >= 0x3AD && c <= 0x3AF) return c - 37;
    if (c == 0x3CC) return 0x38C;
    if (c == 0x3CD || c == 0x3CE) return c - 63;
    if (c >= 0x3D8 && c <= 0x3EF) return evenUpper(c);
    return c;
  }
  if (c < 0x530) {
    if (c >= 0x430 && c <= 0x44F) return c - 32;
    if (c >= 0x450 && c <= 0x45F) return c - 80;
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F))
      return evenUpper(c);
    if (c >= 0x4C1 && c <= 0x4CE) return oddUpper(c);
    if (c == 0x4CF) return 0x4C0;
    return c;
  }
  if (c >= 0x561 && c <= 0x586) return c - 48;
  if ((c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF)) return evenUpper(c);
  if (c >= 0x2170 && c <= 0x217F) return c - 16;
  if (c >= 0x24D0 && c <= 0x24E9) return c - 26;
  if (c >= 0xFF41 && c <= 0xFF5A) return c - 32;
  return c;
}

} // namespace

std::u32string FoldName(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t c;
    if (DecodeUtf8(s, i, c))
      out.push_back(FoldChar(c));
    else
      out.push_back(0x110000 + static_cast<unsigned char>(s[i++]));
  }
  return out;
}

bool MatchFolded(std::u32string_view folded, std::u32string_view foldedMask) {
  return dravik::detail::WildcardMatch(folded, foldedMask, std::equal_to<char32_t>());
}

} // namespace dravik::winfs
