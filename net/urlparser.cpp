#include "urlparser.h"

#include <iterator>

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
  std::string path(value);
  if (path.empty())
    path = "/";
  else if (path.front() != '/')
    path = FPath + path;
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
  if (path.empty() || path == "//") path = "/";
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
