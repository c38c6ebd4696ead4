// Splits a URL into protocol, user, password, host, port, directory path and file name, lets
// the path and file name be changed (also relative to the current path, with "./" and "../"
// folded away) and puts the URL back together. The schemes http, https, ftp and file are known.
// An IPv6 address in brackets ("http://[::1]:8080/") is kept in Host without them.
// Nothing is decoded or escaped: the parts are the URL's own text. Qt-free; never blocks.
#pragma once

#include "platform/sysutils.h"

#include <string>
#include <string_view>

namespace dravik {

enum TURLParserProtocol { upHTTP = 0, upFTP = 1, upFile = 2, upHTTPS = 3 };

// "Invalid Protocol: %s", the scheme in lower case.
class EInvalidProtocol : public Exception {
public:
  explicit EInvalidProtocol(const std::string& scheme);
};

// The scheme text and default port of a protocol ("http" 80, "ftp" 21, "file" 0, "https" 443).
const char* ProtocolScheme(TURLParserProtocol protocol) noexcept;
int DefaultPort(TURLParserProtocol protocol) noexcept;
// A host as a URL writes it: an IPv6 address in brackets ("[::1]"), anything else as it is.
std::string HostForURL(const std::string& host);

// Resolves a reference (a Location header, a link) against an absolute base URL as RFC 3986
// does: "x.gob", "../x.gob", "/x.gob", "//host/x.gob", "?q", "" and full URLs, with "." and
// ".." segments removed. The fragment of the result is dropped.
std::string ResolveURL(std::string_view base, std::string_view reference);

class TURLParser {
public:
  TURLParserProtocol Protocol = upHTTP;
  std::string UserID;
  std::string Password;
  std::string Host;
  int Port = 80;

  // Parses `url` into the parts. A scheme other than http, https, ftp or file throws
  // EInvalidProtocol and leaves every part as it was. A port that is not a number becomes
  // the protocol's default port.
  void SetURL(std::string_view url);
  // Rebuilds the URL: scheme "://", "user:password@" unless the user is empty or
  // "anonymous", host, ":port" unless it is the default one, path, file name.
  std::string URL() const;

  // The directory path; it begins and ends with "/" once set here or through SetURL.
  const std::string& Path() const noexcept { return FPath; }
  // Sets the path; one not beginning with "/" is taken relative to the current path.
  void SetPath(std::string_view path);

  const std::string& Filename() const noexcept { return FFilename; }
  // Sets the file name; a value with a folder part ("../files/x.zip", "/x.zip") sets the
  // path from it first, as SetPath does.
  void SetFilename(std::string_view name);

private:
  std::string FPath = "/";
  std::string FFilename;
};

} // namespace dravik
