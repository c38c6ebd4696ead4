#include "sysutils.h"

#include "pathmap.h"

#include <charconv>
#include <climits>

namespace dravik {

// The file named as the user knows it: a file outside the prefix by its Linux path.
EFOpenError::EFOpenError(const std::string& fileName)
    : Exception(Format("Cannot open file %s", winfs::DisplayPath(fileName))) {}

EFCreateError::EFCreateError(const std::string& fileName)
    : Exception(Format("Cannot create file %s", winfs::DisplayPath(fileName))) {}

static std::string InOutText(int code) {
  switch (code) {
  case 3:
    return "Invalid filename";
  case 5:
    return "File access denied";
  default:
    return Format("I/O error %d", code);
  }
}

EInOutError::EInOutError(int errorCode) : Exception(InOutText(errorCode)), FErrorCode(errorCode) {}

static inline unsigned char Up(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? c - 32 : c;
}
static inline unsigned char Low(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

int CompareText(std::string_view a, std::string_view b) noexcept {
  size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    int d = int(Up(static_cast<unsigned char>(a[i]))) - int(Up(static_cast<unsigned char>(b[i])));
    if (d != 0) return d;
  }
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (auto& c : r)
    c = static_cast<char>(Up(static_cast<unsigned char>(c)));
  return r;
}

std::string LowerCase(std::string_view s) {
  std::string r(s);
  for (auto& c : r)
    c = static_cast<char>(Low(static_cast<unsigned char>(c)));
  return r;
}

std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
    --e;
  return std::string(s.substr(b, e - b));
}

static size_t NameStart(std::string_view path) {
  size_t p = path.find_last_of("\\:");
  return p == std::string_view::npos ? 0 : p + 1;
}

std::string ExtractFileName(std::string_view path) {
  return std::string(path.substr(NameStart(path)));
}

std::string ExtractFilePath(std::string_view path) {
  return std::string(path.substr(0, NameStart(path)));
}

std::string ExtractFileExt(std::string_view path) {
  std::string_view name = path.substr(NameStart(path));
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
}

int StrToIntDef(std::string_view s, int def) noexcept {
  if (s.empty()) return def;
  const char* b = s.data();
  const char* e = b + s.size();
  if (*b == '+') ++b;
  int v = 0;
  auto r = std::from_chars(b, e, v);
  if (r.ec != std::errc() || r.ptr != e) return def;
  return v;
}

std::string IntToStr(long long value) {
  return std::to_string(value);
}

static int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && HexValue(s[i + 1]) >= 0 && HexValue(s[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(s[i + 1]) * 16 + HexValue(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool MatchesMask(std::string_view text, std::string_view mask) noexcept {
  return detail::WildcardMatch(text, mask, [](char m, char t) {
    return Up(static_cast<unsigned char>(m)) == Up(static_cast<unsigned char>(t));
  });
}

} // namespace dravik
