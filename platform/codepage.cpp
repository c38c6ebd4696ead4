#include "codepage.h"

namespace dravik {

// Windows-1252 bytes 0x80..0x9F (undefined ones map to the C1 control of the same number).
static const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Code page 437 bytes 0x80..0xFF.
static const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool DecodeUtf8(std::string_view s, size_t& i, char32_t& c, bool allowSurrogates) noexcept {
  unsigned char b = static_cast<unsigned char>(s[i]);
  int n;
  if (b < 0x80) {
    c = b;
    n = 0;
  } else if ((b & 0xE0) == 0xC0) {
    c = b & 0x1F;
    n = 1;
  } else if ((b & 0xF0) == 0xE0) {
    c = b & 0x0F;
    n = 2;
  } else if ((b & 0xF8) == 0xF0) {
    c = b & 0x07;
    n = 3;
  } else
    return false;
  if (i + static_cast<size_t>(n) >= s.size()) return false;
  for (int k = 1; k <= n; ++k) {
    unsigned char cb = static_cast<unsigned char>(s[i + k]);
    if ((cb & 0xC0) != 0x80) return false;
    c = (c << 6) | (cb & 0x3F);
  }
  static const char32_t kMin[4] = {0, 0x80, 0x800, 0x10000};
  if (c < kMin[n] || c > 0x10FFFF) return false;
  if (!allowSurrogates && c >= 0xD800 && c <= 0xDFFF) return false;
  i += static_cast<size_t>(n) + 1;
  return true;
}

char32_t Cp1252Char(unsigned char b) noexcept {
  return b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b;
}

std::string Cp1252ToUtf8(std::string_view s) {
  size_t ascii = 0;
  while (ascii < s.size() && static_cast<unsigned char>(s[ascii]) < 0x80)
    ++ascii;
  if (ascii == s.size()) return std::string(s); // the common case: plain ASCII names
  std::string out;
  out.reserve(s.size());
  for (char ch : s)
    AppendUtf8(out, Cp1252Char(static_cast<unsigned char>(ch)));
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    char32_t c;
    if (!DecodeUtf8(s, i, c)) return std::nullopt;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out += static_cast<char>(c);
      continue;
    }
    bool found = false;
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] == c) {
        out += static_cast<char>(0x80 + k);
        found = true;
        break;
      }
    if (!found) return std::nullopt;
  }
  return out;
}

std::string Cp437ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char ch : s) {
    unsigned char b = static_cast<unsigned char>(ch);
    if (b < 0x80)
      out += ch;
    else
      AppendUtf8(out, kCp437High[b - 0x80]);
  }
  return out;
}

bool IsValidUtf8(std::string_view s) noexcept {
  size_t i = 0;
  char32_t c;
  while (i < s.size())
    if (!DecodeUtf8(s, i, c)) return false;
  return true;
}

} // namespace dravik
