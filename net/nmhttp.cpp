#include "nmhttp.h"

#include "platform/filestream.h"
#include "platform/scopeexit.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>

namespace dravik {

namespace {

const char* const kVerbs[] = {"GET ",  "OPTIONS ", "HEAD ",   "POST ", "PUT ",    "PATCH ",
                              "COPY ", "MOVE ",    "DELETE ", "LINK ", "UNLINK ", "TRACE "};

constexpr size_t kMaxPath = 256;

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
  TScopeExit resetCmd([this] { FCmd = CmdGET; });
  for (int requests = 1; Transaction1(); ++requests)
    if (requests > MaxRedirects)
      throw ESockError(Format("Too many redirections (more than %d)", MaxRedirects));
}

// One request and its response. True when another request follows (a redirection, whose
// URL is then in FURL, or a status of 299 or 399, which repeats the request).
bool TNMHTTP::Transaction1() {
  SplitURL();
  // A repeated request (status 299 or 399) asks for this URL again, whatever Location said.
  const std::string requestURL = FURL;
  BuildHeader();
  if (OnAboutToSend) OnAboutToSend(*this);
  Connect();
  try {
    Write(FRequestHeader.Text());
  } catch (...) {
    Disconnect();
    throw;
  }
  ReadHeader();
  if (InputFileMode) {
    CaptureFile(Body);
  } else {
    Body.clear();
    CaptureString(Body, -1);
  }
  if (FStatusCode < 299) {
    if (OnSuccess) OnSuccess(*this, FCmd);
    StatusMessage(slCompleted, "Transaction Completed");
  } else if (FStatusCode > 399) {
    if (OnFailure) OnFailure(*this, FCmd);
  }
  Disconnect();
  if (FStatusCode >= 300 && FStatusCode <= 398) {
    if (!FReceivedCookie.empty()) HeaderInfo.Cookie = FReceivedCookie;
    bool handled = false;
    if (OnRedirect) OnRedirect(*this, handled);
    if (handled) return false;
    FURL = RedirectTarget(FURL);
  }
  if (FStatusCode == 401 && OnAuthenticationNeeded) OnAuthenticationNeeded(*this);
  if (FStatusCode == 299 || FStatusCode == 399) FURL = requestURL;
  return FStatusCode >= 299 && FStatusCode <= 399;
}

std::string TNMHTTP::RedirectTarget(std::string location) const {
  location = Trim(location);
  if (size_t p = location.find("://"); p != std::string::npos) {
    if (LowerCase(location.substr(0, p)) != "http")
      throw ESockError(Format("Cannot follow the redirection to %s", location));
    return location;
  }
  if (!location.empty() && location.front() == '/') return location; // same server
  // A name or a relative path: from the root of the same server.
  std::string base = "http://" + Host;
  if (Port != 80) base += Format(":%d", Port);
  return base + "/" + location;
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
  FURL = url;
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
  if (path.size() > kMaxPath) path.resize(kMaxPath);

  if (hasScheme) {
    std::string scheme = LowerCase(FURL.substr(0, schemeEnd));
    Port = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
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
  if (size_t colon = hostPart.find(':'); colon != std::string::npos) {
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

void TNMHTTP::BuildHeader() {
  FRequestHeader.Clear();
  FRequestHeader.Add(kVerbs[FCmd] + (Proxy.empty() ? FPath : FURL) + " HTTP/1.0");
  if (!Proxy.empty()) {
    FRequestHeader.Add("Proxy-Connection: Keep-Alive");
    FRequestHeader.Add("Host: " + Host);
  }
  SetHeaderLine("Host", Host);
  FRequestHeader.Add("Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff");
  FRequestHeader.Add("Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript");
  SetHeaderLine("From", HeaderInfo.LocalMailAddress);
  SetHeaderLine("User-Agent", HeaderInfo.LocalProgram);
  SetHeaderLine("Cookie", HeaderInfo.Cookie);
  SetHeaderLine("Referer", HeaderInfo.Referer);
  if (!HeaderInfo.UserId.empty() && !HeaderInfo.Password.empty())
    SetHeaderLine("Authorization",
                  "Basic " + EncodeBase64(HeaderInfo.UserId + ":" + HeaderInfo.Password));
  SetHeaderLine("Content-type", "application/x-www-form-urlencoded");
  FRequestHeader.Add("");
}

void TNMHTTP::ReadHeader() {
  BytesTotal = 0;
  FReceivedCookie.clear();
  FStatusCode = 0;
  FStatusLine.clear();
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
    std::string upper = UpperCase(line.substr(0, line.find(' ')));
    if (upper == "SET-COOKIE:") {
      FReceivedCookie = WithoutLineEnd(line.substr(std::min<size_t>(12, line.size())));
      if (FReceivedCookie.size() > kMaxPath) FReceivedCookie.resize(kMaxPath);
    } else if (upper == "LOCATION:") {
      FURL = WithoutLineEnd(line.substr(std::min<size_t>(10, line.size())));
      if (FURL.size() > kMaxPath) FURL.resize(kMaxPath);
    } else if (upper == "CONTENT-LENGTH:") {
      size_t p = UpperCase(line).find("ENGTH:") + 7;
      while (p < line.size() && !(line[p] >= '0' && line[p] <= '9'))
        ++p;
      int64_t total = 0;
      bool overflow = false;
      for (; p < line.size() && line[p] >= '0' && line[p] <= '9'; ++p) {
        if (total > (INT64_MAX - 9) / 10) overflow = true;
        if (!overflow) total = total * 10 + (line[p] - '0');
      }
      BytesTotal = overflow ? 0 : total;
    }
  }
}

} // namespace dravik
