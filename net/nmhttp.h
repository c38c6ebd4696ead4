// HTTP/1.0 client (http and https): one request per connection, the response header read line
// by line, the body captured into a file or a text, redirections followed. The body ends where
// the response says (Content-Length, the last chunk of a chunked body) or where the server
// closes. A status of 400 or more is not an error here: its body is delivered like any other,
// and the caller looks at StatusCode(). Errors of the socket layer (ESockError, EAbortError
// after Abort or Cancel) pass out of Get; so do file errors of the body file.
#pragma once

#include "httpchunks.h"
#include "platform/stringlist.h"
#include "powersock.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravik {

// Optional request fields; an empty one is not sent.
struct THeaderInfo {
  std::string LocalMailAddress; // "From"
  std::string LocalProgram;     // "User-Agent"
  std::string Cookie;
  std::string Referer;
  std::string UserId; // with Password: "Authorization: Basic ..."
  std::string Password;
};

// Request kinds; the number is the index of the verb.
enum TCmdType {
  CmdGET = 0,
  CmdOPTIONS,
  CmdHEAD,
  CmdPOST,
  CmdPUT,
  CmdPATCH,
  CmdCOPY,
  CmdMOVE,
  CmdDELETE,
  CmdLINK,
  CmdUNLINK,
  CmdTRACE
};

// MIME Base64 without line breaks.
std::string EncodeBase64(std::string_view data);

class TNMHTTP : public TPowersock {
public:
  using TCmdEvent = std::function<void(TPowersock& sender, TCmdType cmd)>;

  // Longest response header (all lines together).
  static constexpr int64_t MaxHeaderSize = 1024 * 1024;

  TNMHTTP();

  // With InputFileMode: the file (Windows path) that receives the body; otherwise the body.
  std::string Body = "Default.htm";
  // With OutputFileMode: the file (Windows path) that receives the header; otherwise the
  // header text.
  std::string Header = "Head.txt";
  THeaderInfo HeaderInfo;
  bool InputFileMode = false;
  bool OutputFileMode = false;
  // Redirections followed per Get; one more fails with ESockError.
  int MaxRedirects = 20;

  TNotifyEvent OnAboutToSend;
  TCmdEvent OnSuccess;      // status below 300
  TCmdEvent OnFailure;      // status above 399
  THandlerEvent OnRedirect; // set handled to stop following
  TNotifyEvent OnAuthenticationNeeded;

  // Resuming: with RangeStart above 0 the request asks for the resource from that byte on
  // ("Range", and "If-Range" with RangeValidator when set). A 206 answer that starts there is
  // appended to the Body file, which must hold exactly the first RangeStart bytes; a 200 answer
  // replaces it (the server started over). Other answers leave the file alone.
  int64_t RangeStart = 0;
  std::string RangeValidator;
  // Each request takes its proxy from the environment (proxyenv.h), setting Proxy and
  // ProxyPort.
  bool UseEnvironmentProxy = false;

  // Fetches `url` ("http://host[:port]/path", "https://...", or a path on the current Host).
  // https goes over TLS (through a CONNECT tunnel when Proxy is set). Redirections (300 to
  // 399) are followed to the Location resolved against the request's URL, to http and https;
  // one to ftp stops Get with ForeignRedirect() set. A cookie set by a redirection goes only to
  // its own host, and only within this Get. Throws ESockError "Empty URL", "Too many
  // redirections", a redirection without a Location (and 304) or to an unknown scheme, the
  // socket layer's errors (TLS failures among them), "Invalid chunked encoding"; EConvertError
  // for a port that is not a number.
  void Get(const std::string& url);
  // Cancels the running request: its wait ends with EAbortError.
  void Abort() override;

  // Status of the last response: the number in its status line (0 when there was none) and
  // the line itself without its line end.
  int StatusCode() const noexcept { return FStatusCode; }
  const std::string& StatusLine() const noexcept { return FStatusLine; }
  // The request header lines of the last request, and the cookie of the last response.
  const TStringList& RequestHeader() const noexcept { return FRequestHeader; }
  const std::string& ReceivedCookie() const noexcept { return FReceivedCookie; }
  const std::string& URL() const noexcept { return FURL; }

  // About the last response: its Content-Length (-1 when it gave none), the size of the whole
  // resource when known (-1 otherwise), whether its body continued the file at RangeStart,
  // whether the body ended as the response framed it (its length reached, its last chunk
  // read, or a close when it gave no length), its Content-Disposition, and what identifies
  // this version of the resource for a later If-Range (its ETag, else Last-Modified).
  int64_t ContentLength() const noexcept { return FContentLength; }
  int64_t CompleteLength() const noexcept { return FCompleteLength; }
  bool Resumed() const noexcept { return FResumed; }
  bool BodyComplete() const noexcept { return FBodyComplete; }
  const std::string& ContentDisposition() const noexcept { return FContentDisposition; }
  const std::string& Validator() const noexcept { return FValidator; }
  const std::string& Location() const noexcept { return FLocation; }
  // The redirection to a scheme other than http and https where the last Get stopped.
  const std::string& ForeignRedirect() const noexcept { return FForeignRedirect; }

private:
  bool Transaction1();
  void SplitURL();
  void OpenTunnel();
  void BuildHeader();
  std::string HostLine() const;
  void SetHeaderLine(const std::string& name, const std::string& value);
  void ReadHeader();
  void HeaderField(const std::string& name, const std::string& value);
  void ReceiveBody();
  std::string RequestURL() const;
  std::string CookiesFor(const std::string& host) const;

  std::string FURL;
  std::string FPath;
  TCmdType FCmd = CmdGET;
  int FStatusCode = 0;
  std::string FStatusLine;
  std::string FReceivedCookie;
  TStringList FRequestHeader;
  bool FAborted = false;
  std::string FLocation;
  int64_t FContentLength = -1;
  int64_t FCompleteLength = -1;
  int64_t FRangeFrom = -1; // where a 206 answer's Content-Range begins
  bool FChunked = false;
  bool FResumed = false;
  bool FBodyComplete = false;
  std::string FContentDisposition;
  std::string FValidator;
  std::string FForeignRedirect;
  THttpChunkDecoder FChunks;
  // Cookies set by redirections during this Get: host and "name=value".
  std::vector<std::pair<std::string, std::string>> FCookies;
  bool FSecure = false; // https: TLS after connecting
};

} // namespace dravik
