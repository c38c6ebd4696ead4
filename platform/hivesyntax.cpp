#include "hivesyntax.h"

#include "codepage.h"
#include "sysutils.h"

#include <locale.h>
#include <time.h>
#include <wctype.h>

namespace dravik {

using hivesyntax::SkipSpace;
using hivesyntax::TLineReader;

namespace {

// From 1601-01-01 to 1970-01-01 in 100-nanosecond ticks.
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUnit(std::u16string& out, char32_t c) {
  if (c > 0xFFFF) {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  } else {
    out += static_cast<char16_t>(c);
  }
}

// Decodes the UTF-8 character at s[i] and advances i; a malformed byte gives `bad` (or the
// byte itself when `bad` is 0) and advances by one. Encoded surrogates are taken as they are,
// so that names with lone surrogates survive a round trip.
char32_t NextUtf8(std::string_view s, size_t& i, char32_t bad) {
  char32_t c;
  if (DecodeUtf8(s, i, c, true)) return c;
  const unsigned char b = static_cast<unsigned char>(s[i++]);
  return bad ? bad : b;
}

locale_t UnicodeLocale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

char16_t FoldUnit(char16_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? static_cast<char16_t>(c - 32) : c;
  if (c >= 0xD800 && c < 0xE000) return c;
  locale_t locale = UnicodeLocale();
  if (!locale) return c;
  wint_t u = towupper_l(c, locale);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

std::u16string Units(const std::vector<uint8_t>& data, size_t bytes) {
  std::u16string s;
  s.reserve(bytes / 2);
  for (size_t i = 0; i + 1 < bytes; i += 2)
    s += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
  return s;
}

// Reads escaped text from s[p] up to an unescaped `end`, as Wine reads it (C escapes, \x with
// one to four hex digits, octal with one to three, a backslash before anything else taken
// literally, raw UTF-8). Returns the index just past `end`, or npos when it never comes.
size_t ParseEscaped(std::string_view s, size_t p, char end, std::u16string& out) {
  while (p < s.size()) {
    char c = s[p];
    if (c == end) return p + 1;
    if (c == '\\') {
      if (++p >= s.size()) return std::string_view::npos;
      c = s[p];
      static const std::string_view kLetters = "abefnrtv";
      static const char16_t kCodes[] = {7, 8, 27, 12, 10, 13, 9, 11};
      if (size_t k = kLetters.find(c); k != std::string_view::npos) {
        out += kCodes[k];
        ++p;
        continue;
      }
      if (c == 'x') {
        ++p;
        if (p >= s.size() || HexDigit(s[p]) < 0) {
          out += u'x';
          continue;
        }
        unsigned v = 0;
        for (int k = 0; k < 4 && p < s.size() && HexDigit(s[p]) >= 0; ++k)
          v = v * 16 + HexDigit(s[p++]);
        out += static_cast<char16_t>(v);
        continue;
      }
      if (c >= '0' && c <= '7') {
        unsigned v = 0;
        for (int k = 0; k < 3 && p < s.size() && s[p] >= '0' && s[p] <= '7'; ++k)
          v = v * 8 + (s[p++] - '0');
        out += static_cast<char16_t>(v);
        continue;
      }
      // Anything else stands for itself.
    }
    AppendUnit(out, NextUtf8(s, p, 0));
  }
  return std::string_view::npos;
}

// Writes text as Wine does: pure ASCII, C escapes, octal for other control codes, \x for code
// units above 127 (four digits when a hex digit follows), a backslash before "\" and `esc`.
void AppendEscaped(std::string& out, std::u16string_view s, std::string_view esc) {
  static const char kEscapes[] = ".......abtnvfr.............e....";
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    char16_t next = i + 1 < s.size() ? s[i + 1] : 0;
    if (c > 127) {
      bool hexNext = next < 128 && HexDigit(static_cast<char>(next)) >= 0;
      out += Format(hexNext ? "\\x%04x" : "\\x%x", unsigned(c));
    } else if (c < 32) {
      if (kEscapes[c] != '.') {
        out += '\\';
        out += kEscapes[c];
      } else {
        out += Format(next >= '0' && next <= '7' ? "\\%03o" : "\\%o", unsigned(c));
      }
    } else {
      if (c == '\\' || esc.find(static_cast<char>(c)) != std::string_view::npos) out += '\\';
      out += static_cast<char>(c);
    }
  }
}

// Hex bytes "01,2,ff" from s[p]; a line ending in a backslash goes on with the next line of
// `reader` (not with a key line). False when Wine would not read it.
bool ParseHexData(std::string_view s, size_t p, TLineReader& reader, std::vector<uint8_t>& out) {
  for (;;) {
    while (p < s.size() && HexDigit(s[p]) >= 0) {
      unsigned v = 0;
      for (; p < s.size() && HexDigit(s[p]) >= 0; ++p) {
        v = v * 16 + HexDigit(s[p]);
        if (v > 0xFF) return false;
      }
      out.push_back(static_cast<uint8_t>(v));
      p = SkipSpace(s, p);
      if (p < s.size() && s[p] == ',') p = SkipSpace(s, p + 1);
    }
    p = SkipSpace(s, p);
    if (p >= s.size()) return true;
    if (s[p] != '\\') return false;
    size_t at = reader.Pos;
    std::string_view raw;
    if (!reader.Next(s, raw)) return false;
    p = SkipSpace(s, 0);
    if (p < s.size() && s[p] == '[') {
      reader.Pos = at;
      return false;
    }
  }
}

} // namespace

std::u16string FoldName(std::u16string_view name) {
  std::u16string folded(name);
  for (char16_t& c : folded)
    c = FoldUnit(c);
  return folded;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
  return true;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();)
    AppendUnit(out, NextUtf8(s, i, 0xFFFD));
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s, bool keepSurrogates) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000 && !keepSurrogates) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::vector<std::u16string> SplitKeyPath(std::u16string_view path) {
  std::vector<std::u16string> names;
  for (size_t i = 0; i < path.size();) {
    size_t e = path.find(u'\\', i);
    if (e == std::u16string_view::npos) e = path.size();
    if (e > i) names.emplace_back(path.substr(i, e - i));
    i = e + 1;
  }
  return names;
}

std::u16string StringText(const std::vector<uint8_t>& data) {
  std::u16string s = Units(data, data.size());
  if (size_t nul = s.find(u'\0'); nul != std::u16string::npos) s.resize(nul);
  return s;
}

std::vector<uint8_t> StringValueData(std::u16string_view text) {
  std::vector<uint8_t> d;
  d.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    d.push_back(static_cast<uint8_t>(c & 0xFF));
    d.push_back(static_cast<uint8_t>(c >> 8));
  }
  d.push_back(0);
  d.push_back(0);
  return d;
}

namespace hivesyntax {

size_t SkipSpace(std::string_view s, size_t p) {
  while (p < s.size() && IsSpace(s[p]))
    ++p;
  return p;
}

std::string_view LineBreak(std::string_view raw) {
  size_t n = raw.size();
  if (n >= 2 && raw[n - 2] == '\r' && raw[n - 1] == '\n') return raw.substr(n - 2);
  if (n >= 1 && (raw[n - 1] == '\n' || raw[n - 1] == '\r')) return raw.substr(n - 1);
  return {};
}

bool TLineReader::Next(std::string_view& content, std::string_view& raw) {
  if (Pos >= Text.size()) return false;
  size_t start = Pos;
  size_t end = Text.find_first_of("\r\n", Pos);
  if (end == std::string_view::npos) end = Text.size();
  size_t next = end;
  if (next < Text.size())
    next += (Text[next] == '\r' && next + 1 < Text.size() && Text[next + 1] == '\n') ? 2 : 1;
  content = Text.substr(start, end - start);
  raw = Text.substr(start, next - start);
  Pos = next;
  return true;
}

std::string DefaultHeader(bool machine) {
  return std::string(kHeaderLine) + "\n;; All keys relative to " +
         (machine ? "REGISTRY\\\\Machine" : "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") +
         "\n\n#arch=win64\n";
}

bool ParseValueLine(std::string_view s, TLineReader& reader, TRegValue& v) {
  size_t p = 1;
  if (s[0] == '"' && (p = ParseEscaped(s, 1, '"', v.Name)) == std::string_view::npos) return false;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
    ++p;
  if (p >= s.size() || s[p] != '=') return false;
  ++p;
  while (p < s.size() && (s[p] == ' ' || s[p] == '\t'))
    ++p;
  std::string_view rest = s.substr(p);

  static const struct {
    std::string_view Tag;
    uint32_t Type;
  } kStringTags[] = {{"\"", REG_SZ},
                     {"str:\"", REG_SZ},
                     {"str(2):\"", REG_EXPAND_SZ},
                     {"str(7):\"", REG_MULTI_SZ}};
  for (const auto& tag : kStringTags) {
    if (!rest.starts_with(tag.Tag)) continue;
    std::u16string text;
    if (ParseEscaped(s, p + tag.Tag.size(), '"', text) == std::string_view::npos) return false;
    v.Type = tag.Type;
    v.Data = StringValueData(text);
    return true;
  }
  if (rest.starts_with("dword:")) {
    size_t q = SkipSpace(s, p + 6);
    if (s.substr(q).starts_with("0x") || s.substr(q).starts_with("0X")) q += 2;
    if (q >= s.size() || HexDigit(s[q]) < 0) return false;
    uint64_t n = 0; // as strtoul reads it: saturating, then cut to 32 bits
    for (; q < s.size() && HexDigit(s[q]) >= 0; ++q)
      n = n > (UINT64_MAX >> 4) ? UINT64_MAX : (n << 4) | static_cast<uint64_t>(HexDigit(s[q]));
    uint32_t dw = static_cast<uint32_t>(n);
    v.Type = REG_DWORD;
    v.Data = {uint8_t(dw), uint8_t(dw >> 8), uint8_t(dw >> 16), uint8_t(dw >> 24)};
    return true;
  }
  size_t q;
  if (rest.starts_with("hex:")) {
    v.Type = REG_BINARY;
    q = p + 4;
  } else if (rest.starts_with("hex(")) {
    q = p + 4;
    uint64_t type = 0;
    size_t digits = 0;
    for (; q < s.size() && HexDigit(s[q]) >= 0 && digits < 8; ++q, ++digits)
      type = type * 16 + HexDigit(s[q]);
    if (digits == 0 || !s.substr(q).starts_with("):")) return false;
    v.Type = static_cast<uint32_t>(type);
    q += 2;
  } else {
    return false;
  }
  return ParseHexData(s, q, reader, v.Data);
}

std::string ValueLine(const TRegValue& v) {
  std::string out;
  if (v.Name.empty()) {
    out = "@=";
  } else {
    out = "\"";
    AppendEscaped(out, v.Name, "\"");
    out += "\"=";
  }
  const std::vector<uint8_t>& d = v.Data;
  bool stringType = v.Type == REG_SZ || v.Type == REG_EXPAND_SZ || v.Type == REG_MULTI_SZ;
  if (stringType && d.size() >= 2 && d.size() % 2 == 0 && d[d.size() - 2] == 0 && d.back() == 0) {
    if (v.Type != REG_SZ) out += Format("str(%x):", unsigned(v.Type));
    out += '"';
    AppendEscaped(out, Units(d, d.size() - 2), "\"");
    out += "\"\n";
    return out;
  }
  if (v.Type == REG_DWORD && d.size() == 4) {
    out += Format("dword:%08x\n", unsigned(d[0] | d[1] << 8 | d[2] << 16 | unsigned(d[3]) << 24));
    return out;
  }
  out += v.Type == REG_BINARY ? std::string("hex:") : Format("hex(%x):", unsigned(v.Type));
  // Wine wraps after a comma once the line passes 76 columns, going on with two blanks.
  size_t count = out.size();
  static const char kHex[] = "0123456789abcdef";
  for (size_t i = 0; i < d.size(); ++i) {
    out += kHex[d[i] >> 4];
    out += kHex[d[i] & 15];
    count += 2;
    if (i + 1 < d.size()) {
      out += ',';
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out += '\n';
  return out;
}

bool ParseKeyLine(std::string_view s, size_t& headEnd, std::vector<std::u16string>& names) {
  size_t p = SkipSpace(s, 0);
  std::u16string path;
  headEnd = ParseEscaped(s, p + 1, ']', path);
  if (headEnd == std::string_view::npos || (!path.empty() && path[0] == u'\\')) return false;
  names = SplitKeyPath(path);
  return names.size() <= kMaxKeyDepth;
}

std::string KeyPathText(const std::vector<std::u16string>& names) {
  std::string text = "[";
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += "\\\\";
    AppendEscaped(text, names[i], "[]");
  }
  return text + "]";
}

TStamp Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return {static_cast<uint32_t>(ts.tv_sec), static_cast<uint64_t>(ts.tv_sec) * 10000000ULL +
                                                static_cast<uint64_t>(ts.tv_nsec) / 100 +
                                                kTicks1601To1970};
}

std::string TimeOption(uint64_t ticks) {
  return Format("#time=%x%08x", unsigned(ticks >> 32), unsigned(ticks & 0xFFFFFFFFu));
}

} // namespace hivesyntax

} // namespace dravik
