#include "urlparser.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>

namespace dravik {

EInvalidProtocol::EInvalidProtocol(const std::string& scheme)
    : Exception(Format("Invalid Protocol: %s", LowerCase(scheme))) {}

namespace {

struct TProtocolInfo {
  const char* Scheme;
  int Port;
};

constexpr TProtocolInfo kProtocols[] = {{"http", 80}, {"ftp", 21}, {"file", 0}, {"https", 443}};

} // namespace

std::string HostForURL(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

const char* ProtocolScheme(TURLParserProtocol protocol) noexcept {
  return kProtocols[protocol].Scheme;
}

int DefaultPort(TURLParserProtocol protocol) noexcept {
  return kProtocols[protocol].Port;
}

namespace {

// A URL's five parts (RFC 3986, appendix B); an absent part is none, not empty.
struct TURLParts {
  std::optional<std::string> Scheme, Authority, Query;
  std::string Path;
};

TURLParts SplitParts(std::string_view url) {
  TURLParts p;
  url = url.substr(0, url.find('#'));
  // A scheme: a letter, then letters, digits, "+", "-" and ".", before the first ":".
  const size_t colon = url.find(':');
  const auto schemeChar = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
  };
  if (colon != std::string_view::npos && colon > 0 &&
      std::isalpha(static_cast<unsigned char>(url[0])) &&
      std::all_of(url.begin(), url.begin() + colon, schemeChar)) {
    p.Scheme = LowerCase(url.substr(0, colon));
    url.remove_prefix(colon + 1);
  }
  if (url.starts_with("//")) {
    url.remove_prefix(2);
    const size_t end = url.find_first_of("/?");
    p.Authority = std::string(url.substr(0, end));
    url.remove_prefix(end == std::string_view::npos ? url.size() : end);
  }
  const size_t q = url.find('?');
  p.Path = std::string(url.substr(0, q));
  if (q != std::string_view::npos) p.Query = std::string(url.substr(q + 1));
  return p;
}

std::string RemoveDotSegments(std::string in) {
  std::string out;
  while (!in.empty()) {
    if (in.starts_with("../")) {
      in.erase(0, 3);
    } else if (in.starts_with("./")) {
      in.erase(0, 2);
    } else if (in.starts_with("/./")) {
      in.erase(0, 2);
    } else if (in == "/.") {
      in = "/";
    } else if (in.starts_with("/../") || in == "/..") {
      in = in == "/.." ? "/" : in.substr(3);
      const size_t last = out.rfind('/');
      out.erase(last == std::string::npos ? 0 : last);
    } else if (in == "." || in == "..") {
      in.clear();
    } else {
      const size_t next = in.find('/', 1);
      out += in.substr(0, next);
      in.erase(0, next == std::string::npos ? in.size() : next);
    }
  }
  return out;
}

} // namespace

std::string ResolveURL(std::string_view baseURL, std::string_view reference) {
  const TURLParts base = SplitParts(baseURL);
  const TURLParts r = SplitParts(reference);
  TURLParts t;
  if (r.Scheme) {
    t = r;
    t.Path = RemoveDotSegments(r.Path);
  } else {
    t.Scheme = base.Scheme;
    if (r.Authority) {
      t.Authority = r.Authority;
      t.Path = RemoveDotSegments(r.Path);
      t.Query = r.Query;
    } else {
      t.Authority = base.Authority;
      if (r.Path.empty()) {
        t.Path = base.Path;
        t.Query = r.Query ? r.Query : base.Query;
      } else {
        if (r.Path.starts_with('/')) {
          t.Path = RemoveDotSegments(r.Path);
        } else if (base.Authority && base.Path.empty()) {
          t.Path = RemoveDotSegments("/" + r.Path);
        } else {
          const size_t slash = base.Path.rfind('/');
          t.Path = RemoveDotSegments(
              (slash == std::string::npos ? std::string() : base.Path.substr(0, slash + 1)) +
              r.Path);
        }
        t.Query = r.Query;
      }
    }
  }
  // A relative result whose first segment holds a colon would read as a scheme.
  if (!t.Scheme && !t.Authority &&
      t.Path.substr(0, t.Path.find('/')).find(':') != std::string::npos)
    t.Path = "./" + t.Path;
  std::string url;
  if (t.Scheme) url += *t.Scheme + ":";
  if (t.Authority) url += "//" + *t.Authority;
  url += t.Path;
  if (t.Query) url += "?" + *t.Query;
  return url;
}

void TURLParser::SetURL(std::string_view url) {
  std::string scheme;
  std::string_view rest;
  if (size_t p = url.find("://"); p != std::string_view::npos) {
    scheme = std::string(url.substr(0, p));
    rest = url.substr(p + 3);
  } else {
    rest = std::string_view();
    scheme = std::string(url);
  }

  // Without a "/" after the host there is no authority: everything is path and name.
  std::string_view authority, pathAndName;
  if (size_t p = rest.find('/'); p != std::string_view::npos) {
    authority = rest.substr(0, p);
    pathAndName = rest.substr(p + 1);
  } else {
    pathAndName = rest;
  }

  std::string user, password;
  std::string_view hostPart = authority;
  // The host follows the last "@", as the HTTP client reads it: a host never holds one.
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
    std::string_view userInfo = authority.substr(0, at);
    hostPart = authority.substr(at + 1);
    if (size_t colon = userInfo.find(':'); colon != std::string_view::npos) {
      user = std::string(userInfo.substr(0, colon));
      password = std::string(userInfo.substr(colon + 1));
    } else {
      password = std::string(userInfo);
    }
  }

  std::string host(hostPart), portText;
  if (hostPart.starts_with('[') && hostPart.find(']') != std::string_view::npos) {
    // An IPv6 address: "[::1]" or "[::1]:8080"; the host is kept without its brackets.
    const size_t close = hostPart.find(']');
    host = std::string(hostPart.substr(1, close - 1));
    if (close + 1 < hostPart.size() && hostPart[close + 1] == ':')
      portText = std::string(hostPart.substr(close + 2));
  } else if (size_t colon = hostPart.find(':'); colon != std::string_view::npos) {
    host = std::string(hostPart.substr(0, colon));
    portText = std::string(hostPart.substr(colon + 1));
  }

  std::string path = "/";
  std::string_view remainder = pathAndName;
  while (true) {
    size_t slash = remainder.find('/');
    if (slash == std::string_view::npos) break;
    path.append(remainder.substr(0, slash + 1));
    remainder = remainder.substr(slash + 1);
  }

  const std::string lowerScheme = LowerCase(scheme);
  int index = -1;
  for (int i = 0; i < int(std::size(kProtocols)); ++i)
    if (lowerScheme == kProtocols[i].Scheme) index = i;
  if (index < 0) throw EInvalidProtocol(scheme);

  Protocol = static_cast<TURLParserProtocol>(index);
  UserID = user;
  Password = password;
  Host = host;
  Port = portText.empty() ? DefaultPort(Protocol) : StrToIntDef(portText, DefaultPort(Protocol));
  SetPath(path);
  SetFilename(remainder);
}

std::string TURLParser::URL() const {
  std::string url = ProtocolScheme(Protocol);
  url += "://";
  // Joined, not formatted: a part holding a NUL byte must not be cut short there.
  if (!UserID.empty() && UserID != "anonymous") url += UserID + ":" + Password + "@";
  url += HostForURL(Host);
  if (Port != DefaultPort(Protocol)) url += Format(":%d", Port);
  url += FPath;
  url += FFilename;
  return url;
}

void TURLParser::SetPath(std::string_view value) {
  std::string path = value.empty()          ? std::string(1, '/')
                     : value.front() != '/' ? FPath + std::string(value)
                                            : std::string(value);
  if (path.back() != '/') path += '/';

  for (size_t p; (p = path.find("/./")) != std::string::npos;)
    path.erase(p, 2);
  for (size_t p; (p = path.find("/../")) != std::string::npos;) {
    if (p == 0) {
      path.erase(0, 3);
    } else {
      size_t segment = path.rfind('/', p - 1);
      path.erase(segment, p + 3 - segment);
    }
  }
  if (path.empty() || path == "//") path.assign(1, '/');
  FPath = path;
}

void TURLParser::SetFilename(std::string_view name) {
  size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) {
    SetPath(name.substr(0, slash + 1));
    name = name.substr(slash + 1);
  }
  FFilename = std::string(name);
}

} // namespace dravik
