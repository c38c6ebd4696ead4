#include "nmhttp.h"

#include "platform/filestream.h"
#include "platform/scopeexit.h"
#include "proxyenv.h"
#include "urlparser.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdint>
#include <memory>

namespace dravik {

namespace {

const char* const kVerbs[] = {"GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
                              "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE "};

// Position of the nth (1-based) "/" in `s`, or npos.
size_t NthSlash(std::string_view s, int n) {
  size_t p = std::string_view::npos;
  for (int i = 0; i < n; ++i) {
    p = s.find('/', p == std::string_view::npos ? 0 : p + 1);
    if (p == std::string_view::npos) break;
  }
  return p;
}

int PortNumber(const std::string& text) {
  int value = 0;
  const char* b = text.data();
  const char* e = b + text.size();
  auto r = std::from_chars(b, e, value);
  if (text.empty() || r.ec != std::errc() || r.ptr != e)
    throw EConvertError(Format("'%s' is not a valid integer value", text));
  return value;
}

} // namespace

std::string EncodeBase64(std::string_view data) {
  static const char* const kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(data[i])) << 16 | uint32_t(uint8_t(data[i + 1])) << 8 |
                 uint8_t(data[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (size_t rest = data.size() - i) {
    uint32_t v = uint32_t(uint8_t(data[i])) << 16;
    if (rest == 2) v |= uint32_t(uint8_t(data[i + 1])) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

TNMHTTP::TNMHTTP() = default;

void TNMHTTP::Abort() {
  FAborted = true;
  Cancel();
}

void TNMHTTP::Get(const std::string& url) {
  FURL = url;
  FCmd = CmdGET;
  FAborted = false;
  FForeignRedirect.clear();
  FCookies.clear();
  TScopeExit reset([this] {
    FCmd = CmdGET;
    FCookies.clear(); // they live for one Get only
  });
  for (int requests = 1; Transaction1(); ++requests)
    if (requests > MaxRedirects)
      throw ESockError(Format("Too many redirections (more than %d)", MaxRedirects));
}

// One request and its response. True when another request follows (a redirection, whose
// URL is then in FURL).
bool TNMHTTP::Transaction1() {
  SplitURL();
  if (UseEnvironmentProxy) {
    const auto proxy = ProxyFromEnvironment(FSecure ? "https" : "http", Host);
    Proxy = proxy ? proxy->Host : std::string();
    ProxyPort = proxy ? proxy->Port : 0;
  }
  BuildHeader();
  if (OnAboutToSend) OnAboutToSend(*this);
  Connect();
  try {
    if (FSecure) {
      if (!Proxy.empty()) OpenTunnel();
      StartTLS(Host);
    }
    Write(FRequestHeader.Text());
  } catch (...) {
    Disconnect();
    throw;
  }
  try {
    ReadHeader();
    ReceiveBody();
  } catch (const Exception&) {
    Disconnect(); // a reply that cannot be read is not read further
    throw;
  }
  if (FStatusCode < 300) {
    if (OnSuccess) OnSuccess(*this, FCmd);
    StatusMessage(slCompleted, "Transaction Completed");
  } else if (FStatusCode > 399) {
    if (OnFailure) OnFailure(*this, FCmd);
  }
  Disconnect();
  if (FStatusCode == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(*this);
  if (FStatusCode < 300 || FStatusCode > 399) return false;

  // A redirection. A 304 (nothing was asked conditionally) or one without an address would
  // only repeat itself.
  if (FStatusCode == 304 || FLocation.empty())
    throw ESockError(Format("The server answered \"%s\" without a new address", FStatusLine));
  if (!FReceivedCookie.empty()) {
    const std::string pair = Trim(FReceivedCookie.substr(0, FReceivedCookie.find(';')));
    const std::string name = pair.substr(0, pair.find('='));
    std::erase_if(FCookies, [&](const auto& c) {
      return SameText(c.first, Host) && c.second.substr(0, c.second.find('=')) == name;
    });
    if (!pair.empty()) FCookies.emplace_back(Host, pair);
  }
  bool handled = false;
  if (OnRedirect) OnRedirect(*this, handled);
  if (handled) return false;
  const std::string target = ResolveURL(RequestURL(), FLocation);
  const size_t schemeEnd = target.find("://");
  const std::string scheme =
      schemeEnd == std::string::npos ? std::string() : LowerCase(target.substr(0, schemeEnd));
  if (scheme == "ftp") {
    FForeignRedirect = target;
    return false;
  }
  if (scheme != "http" && scheme != "https")
    throw ESockError(Format("Cannot follow the redirection to %s", target));
  FURL = target;
  return true;
}

// The URL of the request just made, as an absolute URL.
std::string TNMHTTP::RequestURL() const {
  return std::string(FSecure ? "https://" : "http://") + HostLine() + FPath;
}

std::string TNMHTTP::CookiesFor(const std::string& host) const {
  std::string line;
  for (const auto& [cookieHost, pair] : FCookies)
    if (SameText(cookieHost, host)) line += (line.empty() ? "" : "; ") + pair;
  return line;
}

// Asks the proxy for a tunnel to Host:Port (for https), reading its answer up to the empty
// line. Throws ESockError with the proxy's status line when it refuses.
void TNMHTTP::OpenTunnel() {
  const std::string target = HostForURL(Host) + Format(":%d", Port);
  Write("CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\n\r\n");
  const std::string status = WithoutLineEnd(ReadLn());
  std::string line;
  int64_t size = 0;
  do {
    line = ReadLn();
    size += int64_t(line.size());
    if (size > MaxHeaderSize) throw ESockError("The proxy's answer is too long");
  } while (!line.empty() && line != "\r\n" && line != "\n");
  const size_t space = status.find(' ');
  if (space == std::string::npos || StrToIntDef(status.substr(space + 1, 3), 0) / 100 != 2)
    throw ESockError("The proxy refused the connection to " + target + ": " + status);
}

void TNMHTTP::SplitURL() {
  if (FURL.empty()) throw ESockError("Empty URL");
  // Control characters would end the request line early; spaces are escaped.
  std::string url;
  for (char c : FURL) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      throw ESockError("Invalid character in URL");
    if (c == ' ')
      url += "%20";
    else
      url += c;
  }
  FURL = url.substr(0, url.find('#')); // the fragment is the client's, not the server's
  if (FURL.empty()) throw ESockError("Empty URL");
  if (Port == 0) Port = 80;

  // "scheme://host/..." and "//host/..." name their server; anything else is "host/path" or a
  // path on the current server, whatever "//" or ":" its path holds.
  const size_t schemeEnd = FURL.find("://");
  const bool hasScheme = schemeEnd != std::string::npos && FURL.find('/') == schemeEnd + 1;
  const bool hasDouble = hasScheme || FURL.starts_with("//");
  std::string path;
  if (hasDouble) {
    if (size_t third = NthSlash(FURL, 3); third != std::string::npos) path = FURL.substr(third);
  } else if (size_t first = FURL.find('/'); first != std::string::npos) {
    path = FURL.substr(first);
  }

  if (hasScheme) {
    std::string scheme = LowerCase(FURL.substr(0, schemeEnd));
    FSecure = scheme == "https";
    Port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : FSecure ? 443 : 80;
  }

  std::string hostPart;
  if (hasDouble) {
    size_t second = NthSlash(FURL, 2);
    size_t third = NthSlash(FURL, 3);
    hostPart = FURL.substr(second + 1,
                           third == std::string::npos ? std::string::npos : third - second - 1);
  } else if (FURL.front() != '/') {
    hostPart = FURL.substr(0, FURL.find('/'));
  }
  // User information is not part of the host ("user:password@host").
  if (size_t at = hostPart.rfind('@'); at != std::string::npos) hostPart.erase(0, at + 1);
  if (hostPart.starts_with('[') && hostPart.find(']') != std::string::npos) {
    const size_t close = hostPart.find(']');
    if (close + 1 < hostPart.size()) {
      if (hostPart[close + 1] != ':') throw EConvertError("Invalid host " + hostPart);
      Port = PortNumber(hostPart.substr(close + 2));
    }
    hostPart = hostPart.substr(1, close - 1);
  } else if (size_t colon = hostPart.find(':'); colon != std::string::npos) {
    Port = PortNumber(hostPart.substr(colon + 1));
    hostPart.resize(colon);
  }
  if (!hostPart.empty()) Host = hostPart;

  if (path.empty()) {
    path = "/";
    FURL += "/";
  }
  FPath = path;
}

void TNMHTTP::SetHeaderLine(const std::string& name, const std::string& value) {
  for (int i = 0; i < FRequestHeader.Count(); ++i) {
    const std::string& line = FRequestHeader[i];
    size_t colon = line.find(':');
    if (colon != std::string::npos && SameText(line.substr(0, colon), name)) {
      if (value.empty())
        FRequestHeader.Delete(i);
      else
        FRequestHeader[i] = name + ": " + value;
      return;
    }
  }
  if (!value.empty()) FRequestHeader.Add(name + ": " + value);
}

// The server as the Host line names it: with its port unless that is the scheme's default,
// an IPv6 address in brackets.
std::string TNMHTTP::HostLine() const {
  std::string host = HostForURL(Host);
  if (Port != (FSecure ? 443 : 80)) host += Format(":%d", Port);
  return host;
}

void TNMHTTP::BuildHeader() {
  FRequestHeader.Clear();
  // Through a proxy the request names the whole URL, unless it goes through a tunnel.
  const bool viaProxy = !Proxy.empty() && !FSecure;
  FRequestHeader.Add(kVerbs[FCmd] + (viaProxy ? RequestURL() : FPath) + " HTTP/1.0");
  if (viaProxy) {
    FRequestHeader.Add("Proxy-Connection: Keep-Alive");
    FRequestHeader.Add("Host: " + HostLine());
  }
  SetHeaderLine("Host", HostLine());
  FRequestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  FRequestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  SetHeaderLine("From", HeaderInfo.LocalMailAddress);
  SetHeaderLine("User-Agent", HeaderInfo.LocalProgram);
  SetHeaderLine("Cookie", HeaderInfo.Cookie.empty() ? CookiesFor(Host) : HeaderInfo.Cookie);
  SetHeaderLine("Referer", HeaderInfo.Referer);
  if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty())
    SetHeaderLine("Authorization",
                  "Basic " + EncodeBase64(HeaderInfo.UserId + ":" + HeaderInfo.Password));
  if (RangeStart > 0) {
    SetHeaderLine("Range", Format("bytes=%lld-", static_cast<long long>(RangeStart)));
    SetHeaderLine("If-Range", RangeValidator);
  }
  SetHeaderLine("Content-type", "application/x-www-form-urlencoded");
  FRequestHeader.Add("");
}

void TNMHTTP::ReadHeader() {
  BytesTotal = 0;
  FReceivedCookie.clear();
  FStatusCode = 0;
  FStatusLine.clear();
  FLocation.clear();
  FContentLength = FCompleteLength = FRangeFrom = -1;
  FChunked = false;
  FContentDisposition.clear();
  FValidator.clear();
  std::unique_ptr<TFileStream> headerFile;
  if (OutputFileMode)
    headerFile = std::make_unique<TFileStream>(Header, fmCreate);
  else
    Header.clear();
  int64_t headerSize = 0;
  auto addLine = [&](const std::string& line) {
    headerSize += int64_t(line.size());
    if (headerSize > MaxHeaderSize)
      throw ESockError(
          Format("Response header longer than %lld bytes", static_cast<long long>(MaxHeaderSize)));
    if (headerFile)
      headerFile->WriteBuffer(line.data(), int64_t(line.size()));
    else
      Header += line;
  };

  std::string statusLine = ReadLn();
  FStatusLine = WithoutLineEnd(statusLine);
  {
    size_t first = FStatusLine.find(' ');
    if (first != std::string::npos) {
      size_t second = FStatusLine.find(' ', first + 1);
      std::string field = FStatusLine.substr(
          first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
      int code = StrToIntDef(field, 0);
      FStatusCode = code >= 0 && code <= 0xFFFF ? code : 0;
    }
  }
  addLine(statusLine);

  while (true) {
    std::string line = ReadLn();
    addLine(line);
    if (line.empty() || line == "\r\n" || line == "\n") break;
    const size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    HeaderField(UpperCase(Trim(line.substr(0, colon))),
                Trim(WithoutLineEnd(line.substr(colon + 1))));
  }
  if (FChunked) FContentLength = -1;
  BytesTotal = FContentLength > 0 ? FContentLength : 0;
  if (FStatusCode == 200 && FContentLength >= 0) FCompleteLength = FContentLength;
}

namespace {

// The run of decimal digits at the start of `s`; -1 when there is none or it is too long.
int64_t LeadingNumber(std::string_view s) {
  int64_t n = 0;
  size_t i = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (n > (INT64_MAX - 9) / 10) return -1;
    n = n * 10 + (s[i] - '0');
  }
  return i == 0 ? -1 : n;
}

} // namespace

void TNMHTTP::HeaderField(const std::string& name, const std::string& value) {
  if (name == "SET-COOKIE") {
    FReceivedCookie = value;
  } else if (name == "LOCATION") {
    FLocation = value;
  } else if (name == "CONTENT-LENGTH") {
    const size_t digit = value.find_first_of("0123456789");
    if (digit != std::string::npos) FContentLength = LeadingNumber(value.substr(digit));
  } else if (name == "TRANSFER-ENCODING") {
    // The last coding decides how the body ends.
    FChunked = LowerCase(value).ends_with("chunked");
  } else if (name == "CONTENT-RANGE") {
    // "bytes 1000-4999/5000"
    std::string v = LowerCase(value);
    if (v.starts_with("bytes ")) {
      v = Trim(v.substr(6));
      FRangeFrom = LeadingNumber(v);
      if (size_t slash = v.find('/'); slash != std::string::npos)
        FCompleteLength = LeadingNumber(v.substr(slash + 1));
    }
  } else if (name == "CONTENT-DISPOSITION") {
    FContentDisposition = value;
  } else if (name == "ETAG") {
    if (!value.starts_with("W/")) FValidator = value; // a weak one cannot vouch for the bytes
  } else if (name == "LAST-MODIFIED") {
    if (FValidator.empty()) FValidator = value;
  }
}

void TNMHTTP::ReceiveBody() {
  StatusMessage(slInternal, "CaptureFile");
  BytesReceived = 0;
  FBodyComplete = false;
  FResumed = RangeStart > 0 && FStatusCode == 206 && FRangeFrom == RangeStart;
  // A resumed download's file holds only the wanted resource: other answers leave it alone.
  const bool toFile = InputFileMode && (RangeStart == 0 || FStatusCode == 200 || FResumed);
  std::unique_ptr<TFileStream> file;
  if (toFile && FResumed) {
    file = std::make_unique<TFileStream>(Body, fmOpenReadWrite);
    file->Seek(RangeStart);
  } else if (toFile) {
    file = std::make_unique<TFileStream>(Body, fmCreate);
  } else if (!InputFileMode) {
    Body.clear();
  }
  const bool noBody = FCmd == CmdHEAD || FStatusCode == 204 || FStatusCode == 304 ||
                      (FStatusCode >= 100 && FStatusCode < 200);
  int64_t left = noBody ? 0 : FChunked ? -1 : FContentLength; // -1: to the end
  if (FChunked) FChunks = THttpChunkDecoder();
  auto put = [&](std::string_view data) {
    if (data.empty()) return;
    if (file) {
      file->WriteBuffer(data.data(), int64_t(data.size()));
    } else if (!InputFileMode) {
      if (int64_t(Body.size() + data.size()) > MaxCaptureString)
        throw ESockError(
            Format("Received more than %lld bytes", static_cast<long long>(MaxCaptureString)));
      Body.append(data);
    }
    BytesReceived += int64_t(data.size());
    if (OnPacketRecvd) OnPacketRecvd(*this);
  };
  std::string decoded;
  while (true) {
    const std::string_view data = Buffered();
    if (!data.empty() && left != 0) {
      if (FChunked) {
        decoded.clear();
        const size_t used = FChunks.Feed(data, decoded);
        DropBuffered(used);
        put(decoded);
        if (FChunks.Done()) left = 0;
      } else {
        const size_t take =
            left < 0 ? data.size() : size_t(std::min<int64_t>(left, int64_t(data.size())));
        put(data.substr(0, take));
        DropBuffered(take);
        if (left > 0) left -= int64_t(take);
      }
    }
    if (left == 0) {
      FBodyComplete = true;
      break;
    }
    if (!Connected() && Buffered().empty()) {
      FBodyComplete = left < 0 && !FChunked;
      break;
    }
    WaitOrAbort([this] { return !Buffered().empty() || !Connected(); }, "Socket capture aborted",
                true);
  }
}

} // namespace dravik
