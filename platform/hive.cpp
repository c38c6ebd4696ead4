#include "hive.h"

#include "codepage.h"
#include "filestream.h"
#include "hostfile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <locale.h>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <wctype.h>

namespace dravik {

namespace {

using host::ErrnoText;

// A hive larger than this is not read (Wine's own are a few megabytes).
constexpr off_t kMaxHiveSize = off_t(256) << 20;
// From 1601-01-01 to 1970-01-01 in 100-nanosecond ticks.
constexpr uint64_t kTicks1601To1970 = 116444736000000000ULL;
constexpr std::string_view kHeaderLine = "WINE REGISTRY Version 2";

bool IsSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

size_t SkipSpace(std::string_view s, size_t p) {
  while (p < s.size() && IsSpace(s[p]))
    ++p;
  return p;
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

// The line break that ends `raw` ("" for a last line without one).
std::string_view LineBreak(std::string_view raw) {
  size_t n = raw.size();
  if (n >= 2 && raw[n - 2] == '\r' && raw[n - 1] == '\n') return raw.substr(n - 2);
  if (n >= 1 && (raw[n - 1] == '\n' || raw[n - 1] == '\r')) return raw.substr(n - 1);
  return {};
}

// Physical lines ending in LF, CR LF or CR (the last one perhaps in nothing).
struct TLineReader {
  std::string_view Text;
  size_t Pos = 0;

  // The next line without its line break, and its whole extent.
  bool Next(std::string_view& content, std::string_view& raw) {
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
};

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

// A value line from its '@' or '"'. Hex data may take further lines from `reader`.
bool ParseValue(std::string_view s, TLineReader& reader, TRegValue& v) {
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

// A value line in Wine's syntax, line break included.
std::string ValueText(const TRegValue& v) {
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

// The path of a key line "[a\\b] 123" split into names; false when Wine would not read it.
bool ParseKeyLine(std::string_view s, size_t& headEnd, std::vector<std::u16string>& names) {
  size_t p = SkipSpace(s, 0);
  std::u16string path;
  headEnd = ParseEscaped(s, p + 1, ']', path);
  if (headEnd == std::string_view::npos || (!path.empty() && path[0] == u'\\')) return false;
  names = SplitKeyPath(path);
  return names.size() <= kMaxKeyDepth;
}

struct TStamp {
  uint32_t Seconds;
  uint64_t Ticks; // 100 ns since 1601
};

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

std::vector<const THiveKey*> Chain(const THiveKey* key) {
  std::vector<const THiveKey*> chain;
  for (; key && key->Parent; key = key->Parent)
    chain.push_back(key);
  std::reverse(chain.begin(), chain.end());
  return chain;
}

// Wine's file order: depth first, parents first, siblings ascending ignoring case.
bool WritesBefore(const THiveKey* a, const THiveKey* b) {
  std::vector<const THiveKey*> ca = Chain(a), cb = Chain(b);
  for (size_t i = 0; i < ca.size() && i < cb.size(); ++i)
    if (ca[i] != cb[i]) return FoldName(ca[i]->Name) < FoldName(cb[i]->Name);
  return ca.size() < cb.size();
}

bool IsOption(const THiveLine& line, std::string_view name) {
  if (line.Kind != THiveLine::lkOption) return false;
  return std::string_view(line.Raw).substr(SkipSpace(line.Raw, 0)).starts_with(name);
}

struct TFd {
  int Fd;
  ~TFd() {
    if (Fd >= 0) close(Fd);
  }
};

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

bool THive::TFileId::operator==(const TFileId& o) const noexcept {
  if (Exists != o.Exists) return false;
  return !Exists || (Dev == o.Dev && Ino == o.Ino && Size == o.Size &&
                     MTime.tv_sec == o.MTime.tv_sec && MTime.tv_nsec == o.MTime.tv_nsec);
}

static THive::TFileId IdOf(const struct stat& st) {
  THive::TFileId id;
  id.Exists = true;
  id.Dev = st.st_dev;
  id.Ino = st.st_ino;
  id.Size = st.st_size;
  id.MTime = st.st_mtim;
  return id;
}

THive::THive(std::string path, TKind kind) : FPath(std::move(path)), FKind(kind) {
  Clear();
}

std::string THive::Folder() const {
  return host::Parent(FPath);
}

std::string THive::FileName() const {
  return host::BaseName(FPath);
}

std::string THive::LockPath() const {
  return Folder() + "/." + FileName() + ".dravik-lock";
}

THive::TFileId THive::CurrentId() const {
  struct stat st;
  if (stat(FPath.c_str(), &st) != 0) return {};
  return IdOf(st);
}

void THive::Refresh() {
  if (FState == hsUnread || FRacy || !(CurrentId() == FId)) Load();
}

void THive::SetId(const TFileId& id) {
  FId = id;
  // File times are coarse (a clock tick, on some file systems seconds): a file changed again
  // soon after it was read may keep its time and size. Such a file is read again at the next
  // Refresh() until its time lies safely in the past.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  FRacy = id.Exists && now.tv_sec - id.MTime.tv_sec <= 2;
}

void THive::Clear() {
  FRoot = std::make_unique<THiveKey>();
  FSections.clear();
  FWin64 = false;
  FCause.clear();
}

void THive::Load() {
  Clear();
  SetId({});
  TFd fd{open(FPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
  if (fd.Fd < 0) {
    if (errno == ENOENT) {
      FState = hsMissing;
    } else {
      FState = hsUnusable;
      FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
    }
    return;
  }
  struct stat st;
  FState = hsUnusable;
  if (fstat(fd.Fd, &st) != 0) {
    FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
    return;
  }
  SetId(IdOf(st));
  if (!S_ISREG(st.st_mode)) {
    FCause = Format("%s is not a regular file", FPath);
    return;
  }
  if (st.st_size > kMaxHiveSize) {
    FCause = Format("%s is too large for a registry file", FPath);
    return;
  }
  std::string text(static_cast<size_t>(st.st_size), '\0');
  size_t got = 0;
  for (;;) {
    if (got == text.size()) {
      if (text.size() > static_cast<size_t>(kMaxHiveSize)) {
        FCause = Format("%s is too large for a registry file", FPath);
        return;
      }
      text.resize(text.size() + 65536); // the file may have grown since fstat
    }
    ssize_t n = read(fd.Fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      FCause = Format("cannot read %s: %s", FPath, ErrnoText(errno));
      return;
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  text.resize(got);
  if (text.empty()) { // nothing to keep: as good as missing
    FState = hsMissing;
    return;
  }
  TLineReader reader{text};
  std::string_view first, raw;
  reader.Next(first, raw);
  if (first != kHeaderLine) {
    FCause = Format("%s is not a Wine registry file", FPath);
    return;
  }
  Parse(text);
  FState = hsValid;
}

THiveKey* THive::Child(THiveKey* parent, std::u16string_view name) {
  std::u16string folded = FoldName(name);
  auto it = parent->SubKeys.find(folded);
  if (it != parent->SubKeys.end()) return it->second.get();
  auto key = std::make_unique<THiveKey>();
  key->Name = name;
  key->Parent = parent;
  return parent->SubKeys.emplace(std::move(folded), std::move(key)).first->second.get();
}

void THive::Parse(std::string_view text) {
  THiveSection* cur = &FSections.emplace_back();
  std::string blanks; // blank lines not yet placed: before a key line they lead its section
  auto add = [&](THiveLine line) {
    if (!blanks.empty()) cur->Lines.push_back({THiveLine::lkText, std::exchange(blanks, {}), {}});
    cur->Lines.push_back(std::move(line));
  };
  TLineReader reader{text};
  std::string_view content, raw;
  for (size_t start = 0; reader.Next(content, raw); start = reader.Pos) {
    size_t p = SkipSpace(content, 0);
    if (p == content.size()) {
      blanks += raw;
      continue;
    }
    char c = content[p];
    if (c == '[') {
      cur = &FSections.emplace_back();
      cur->Lead = std::exchange(blanks, {});
      cur->Head = raw;
      std::vector<std::u16string> names;
      if (ParseKeyLine(content, cur->HeadEnd, names)) {
        cur->Key = FRoot.get();
        for (const std::u16string& name : names)
          cur->Key = Child(cur->Key, name);
        cur->Key->Sections.push_back(cur);
      }
      continue;
    }
    if (cur->Key && (c == '@' || c == '"')) {
      THiveLine line{THiveLine::lkValue, {}, {}};
      if (!ParseValue(content.substr(p), reader, line.Value)) line = {THiveLine::lkText, {}, {}};
      line.Raw = text.substr(start, reader.Pos - start);
      add(std::move(line));
      continue;
    }
    if (c == '#' && !cur->Key && content.substr(p).starts_with("#arch=")) {
      std::string arch = Trim(content.substr(p + 6));
      if (arch == "win64" || arch == "win32") FWin64 = arch == "win64";
    }
    add({c == '#' ? THiveLine::lkOption : THiveLine::lkText, std::string(raw), {}});
  }
  if (!blanks.empty()) cur->Lines.push_back({THiveLine::lkText, std::move(blanks), {}});
}

std::string THive::Text() const {
  std::string out;
  auto put = [&out](const std::string& piece) {
    if (piece.empty()) return;
    // Only the old last line can lack its line break; what now follows it needs one.
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += '\n';
    out += piece;
  };
  for (const THiveSection& s : FSections) {
    put(s.Lead);
    put(s.Head);
    for (const THiveLine& line : s.Lines)
      put(line.Raw);
  }
  return out;
}

THiveKey* THive::SubKey(const THiveKey* key, std::u16string_view name) const {
  auto it = key->SubKeys.find(FoldName(name));
  return it == key->SubKeys.end() ? nullptr : it->second.get();
}

THiveKey* THive::AddSubKey(THiveKey* parent, std::u16string_view name) {
  THiveKey* key = Child(parent, name);
  Touch(parent);
  return key;
}

size_t THive::Depth(const THiveKey* key) const noexcept {
  size_t depth = 0;
  for (; key && key->Parent; key = key->Parent)
    ++depth;
  return depth;
}

void THive::AddKeyLine(THiveKey* key) {
  if (!key->Sections.empty()) return;
  TStamp now = Now();
  THiveSection s;
  s.Lead = "\n";
  s.Head = "[";
  bool first = true;
  for (const THiveKey* k : Chain(key)) {
    if (!std::exchange(first, false)) s.Head += "\\\\";
    AppendEscaped(s.Head, k->Name, "[]");
  }
  s.Head += "]";
  s.HeadEnd = s.Head.size();
  s.Head += Format(" %u\n", unsigned(now.Seconds));
  s.Lines.push_back({THiveLine::lkOption, TimeOption(now.Ticks) + "\n", {}});
  s.Key = key;
  // Before the first key that Wine would write after this one.
  auto at = std::find_if(FSections.begin(), FSections.end(), [key](const THiveSection& o) {
    return o.Key && WritesBefore(key, o.Key);
  });
  key->Sections.push_back(&*FSections.insert(at, std::move(s)));
}

bool THive::IsLink(const THiveKey* key) const {
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (IsOption(line, "#link")) return true;
  return false;
}

const TRegValue* THive::FindValue(const THiveKey* key, std::u16string_view name) const {
  const TRegValue* found = nullptr;
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (line.Kind == THiveLine::lkValue && SameName(line.Value.Name, name)) found = &line.Value;
  return found;
}

std::vector<std::u16string> THive::ValueNames(const THiveKey* key) const {
  std::vector<std::u16string> names;
  std::set<std::u16string> seen;
  for (const THiveSection* s : key->Sections)
    for (const THiveLine& line : s->Lines)
      if (line.Kind == THiveLine::lkValue && seen.insert(FoldName(line.Value.Name)).second)
        names.push_back(line.Value.Name);
  return names;
}

void THive::SetValue(THiveKey* key, TRegValue value) {
  // A repeated name reads as its last line: that one is replaced, the others go; the name
  // keeps the spelling of its first line.
  std::vector<std::pair<THiveSection*, size_t>> found; // in file order
  for (THiveSection* s : key->Sections)
    for (size_t i = 0; i < s->Lines.size(); ++i)
      if (s->Lines[i].Kind == THiveLine::lkValue && SameName(s->Lines[i].Value.Name, value.Name))
        found.emplace_back(s, i);
  if (!found.empty()) {
    value.Name = found.front().first->Lines[found.front().second].Value.Name;
    auto [last, lastAt] = found.back();
    found.pop_back();
    last->Lines[lastAt] = {THiveLine::lkValue, ValueText(value), std::move(value)};
    for (auto it = found.rbegin(); it != found.rend(); ++it) // from the back: indexes hold
      it->first->Lines.erase(it->first->Lines.begin() + static_cast<ptrdiff_t>(it->second));
  } else {
    AddKeyLine(key);
    THiveSection* s = key->Sections.back();
    // Among the values in Wine's order (ascending ignoring case), else after the options.
    std::u16string folded = FoldName(value.Name);
    size_t at = 0;
    bool anyValue = false;
    for (size_t i = 0; i < s->Lines.size(); ++i) {
      const THiveLine& l = s->Lines[i];
      if (l.Kind == THiveLine::lkValue) {
        if (FoldName(l.Value.Name) > folded) {
          at = i;
          break;
        }
        at = i + 1;
        anyValue = true;
      } else if (l.Kind == THiveLine::lkOption && !anyValue) {
        at = i + 1;
      }
    }
    std::string raw = ValueText(value);
    s->Lines.insert(s->Lines.begin() + static_cast<ptrdiff_t>(at),
                    {THiveLine::lkValue, std::move(raw), std::move(value)});
  }
  Touch(key);
}

bool THive::DeleteValue(THiveKey* key, std::u16string_view name) {
  size_t erased = 0;
  for (THiveSection* s : key->Sections)
    erased += std::erase_if(s->Lines, [name](const THiveLine& l) {
      return l.Kind == THiveLine::lkValue && SameName(l.Value.Name, name);
    });
  if (erased) Touch(key);
  return erased != 0;
}

void THive::Touch(THiveKey* key) {
  if (key->Sections.empty()) return;
  TStamp now = Now();
  for (THiveSection* s : key->Sections) {
    s->Head = s->Head.substr(0, s->HeadEnd) + Format(" %u", unsigned(now.Seconds)) +
              std::string(LineBreak(s->Head));
    for (THiveLine& line : s->Lines)
      if (IsOption(line, "#time=")) {
        size_t at = SkipSpace(line.Raw, 0);
        line.Raw =
            line.Raw.substr(0, at) + TimeOption(now.Ticks) + std::string(LineBreak(line.Raw));
      }
  }
}

std::string THive::DefaultHeader() const {
  return std::string(kHeaderLine) + "\n;; All keys relative to " +
         (FKind == hkMachine ? "REGISTRY\\\\Machine" : "REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000") +
         "\n\n#arch=win64\n";
}

void THive::Update(const std::function<bool()>& change) {
  std::string lockPath = LockPath();
  TFd lock{open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0644)};
  if (lock.Fd < 0) throw EHiveError(Format("cannot create %s: %s", lockPath, ErrnoText(errno)));
  while (flock(lock.Fd, LOCK_EX) != 0)
    if (errno != EINTR) throw EHiveError(Format("cannot lock %s: %s", lockPath, ErrnoText(errno)));
  Refresh();
  if (FState == hsUnusable) throw EHiveError(FCause);
  try {
    if (FState == hsMissing) {
      Clear();
      Parse(DefaultHeader());
    }
    if (change())
      Save();
    else if (FState == hsMissing)
      Load(); // nothing to save: no header either
  } catch (...) {
    Load(); // the file is as it was: so is the hive
    throw;
  }
}

void THive::Save() {
  std::string text = Text();
  std::string temp = Folder() + "/." + FileName() + ".dravik-XXXXXX";
  int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) throw EHiveError(Format("cannot write %s: %s", FPath, ErrnoText(errno)));
  auto fail = [&](int err) {
    if (fd >= 0) close(fd);
    unlink(temp.c_str());
    throw EHiveError(Format("cannot write %s: %s", FPath, ErrnoText(err)));
  };
  struct stat st;
  fchmod(fd, stat(FPath.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
  if (!host::WriteAll(fd, text.data(), text.size())) fail(errno);
  if (fsync(fd) != 0 || fstat(fd, &st) != 0) fail(errno);
  int closed = close(fd);
  fd = -1;
  if (closed != 0) fail(errno);
  detail::BeforeReplace(FPath);
  if (rename(temp.c_str(), FPath.c_str()) != 0) fail(errno);
  host::FlushFolder(Folder());
  SetId(IdOf(st));
  FState = hsValid;
}

} // namespace dravik
