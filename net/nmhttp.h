// HTTP/1.0 client: one request per connection, the response header read line by line, the
// body captured into a file or a text until the server closes, redirections followed. A
// status of 400 or more is not an error here: its body is delivered like any other, and the
// caller looks at StatusCode(). Errors of the socket layer (ESockError, EAbortError after
// Abort or Cancel) pass out of Get; so do file errors of the body file.
#pragma once

#include "platform/stringlist.h"
#include "powersock.h"

#include <functional>
#include <string>
#include <string_view>

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
  TCmdEvent OnSuccess;      // status below 299
  TCmdEvent OnFailure;      // status above 399
  THandlerEvent OnRedirect; // set handled to stop following
  TNotifyEvent OnAuthenticationNeeded;

  // Fetches `url` ("http://host[:port]/path", "https://...", or a path on the current Host).
  // https goes over TLS (through a CONNECT tunnel when Proxy is set). Redirections (300 to
  // 399, taken from the Location line) are followed to http and https URLs. Throws
  // ESockError "Empty URL", "Too many redirections", a redirection to another scheme, the
  // socket layer's errors (TLS failures among them); EConvertError for a port that is not a
  // number.
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

private:
  bool Transaction1();
  void SplitURL();
  void OpenTunnel();
  void BuildHeader();
  std::string HostLine() const;
  void SetHeaderLine(const std::string& name, const std::string& value);
  void ReadHeader();
  std::string RedirectTarget(std::string location) const;

  std::string FURL;
  std::string FPath;
  TCmdType FCmd = CmdGET;
  int FStatusCode = 0;
  std::string FStatusLine;
  std::string FReceivedCookie;
  TStringList FRequestHeader;
  bool FAborted = false;
  bool FSecure = false; // https: TLS after connecting
};

} // namespace dravik
