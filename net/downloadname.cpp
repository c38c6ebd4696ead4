#include "downloadname.h"

#include "platform/sysutils.h"

#include <optional>

namespace dravik {

namespace {

// The last component of a name that a server may have given with folders.
std::string LastComponent(std::string name) {
  const size_t p = name.find_last_of("/\\");
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string Latin1ToUtf8(std::string_view s) {
  std::string out;
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) {
      out += c;
    } else {
      out += char(0xC0 | (u >> 6));
      out += char(0x80 | (u & 0x3F));
    }
  }
  return out;
}

// filename*: charset'language'percent-encoded text (RFC 5987).
std::optional<std::string> ExtendedValue(std::string_view v) {
  const size_t first = v.find('\'');
  if (first == std::string_view::npos) return std::nullopt;
  const size_t second = v.find('\'', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const std::string charset = LowerCase(v.substr(0, first));
  const std::string text = PercentDecode(v.substr(second + 1));
  if (charset == "utf-8") return text;
  if (charset == "iso-8859-1") return Latin1ToUtf8(text);
  return std::nullopt;
}

} // namespace

std::string FileNameFromContentDisposition(std::string_view value) {
  std::optional<std::string> plain, extended;
  size_t i = value.find(';'); // the disposition type comes first
  while (i != std::string_view::npos && i < value.size()) {
    ++i;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
      ++i;
    const size_t eq = value.find('=', i);
    if (eq == std::string_view::npos) break;
    const std::string name = LowerCase(Trim(std::string(value.substr(i, eq - i))));
    i = eq + 1;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
      ++i;
    std::string text;
    if (i < value.size() && value[i] == '"') {
      for (++i; i < value.size() && value[i] != '"'; ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        text += value[i];
      }
      i = value.find(';', i);
    } else {
      const size_t end = value.find(';', i);
      text = Trim(std::string(value.substr(i, end == std::string_view::npos ? end : end - i)));
      i = end;
    }
    if (name == "filename" && !plain)
      plain = text;
    else if (name == "filename*" && !extended)
      extended = ExtendedValue(text);
  }
  if (extended && !LastComponent(*extended).empty()) return LastComponent(*extended);
  if (plain) return LastComponent(*plain);
  return std::string();
}

std::string FileNameFromURL(std::string_view url) {
  url = url.substr(0, url.find('#'));
  url = url.substr(0, url.find('?'));
  const size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) {
    url.remove_prefix(scheme + 3);
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos) return std::string();
    url.remove_prefix(slash);
  }
  return PercentDecode(url.substr(url.rfind('/') + 1));
}

} // namespace dravik
