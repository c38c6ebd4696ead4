// FTP client: the control connection is this component; each listing or file transfer gets a
// data connection of its own: passive first (EPSV, then PASV; the client connects to the
// server of the control connection), and active when the server refuses both (the client
// listens and announces its port with PORT, or EPRT over IPv6). The operations wait as the socket
// layer's do (the user interface stays live) and throw: FTPException with the server's reply line
// for a negative reply, ESockError for connection failures, EAbortError after Abort() or Cancel().
#pragma once

#include "powersock.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace dravik {

// A negative server reply; the message is the reply line.
class FTPException : public Exception {
public:
  using Exception::Exception;
};

// Command kinds passed to the events.
enum TFTPCmdType {
  cmdChangeDir = 0,
  cmdMakeDir = 1,
  cmdDelete = 2,
  cmdRemoveDir = 3,
  cmdList = 4,
  cmdDownload = 8,
  cmdDoCommand = 14,
  cmdCurrentDir = 15
};

// Transfer types for Mode.
constexpr int MODE_ASCII = 1; // "TYPE A"
constexpr int MODE_IMAGE = 2; // "TYPE I"
constexpr int MODE_BYTE = 3;  // "TYPE L 8"

// Server systems learned from SYST (Vendor); 2411 means not known yet.
constexpr int NMOS_UNIX = 2400, NMOS_DOS = 2401, NMOS_VM = 2402, NMOS_MACOS = 2404, NMOS_VMS = 2406,
              NMOS_MVS = 2408, NMOS_OTHER = 2410, NMOS_AUTO = 2411, NMOS_OS400 = 2414,
              NMOS_NETWARE = 2416;

// "PORT a,b,c,d,hi,lo" for a numeric IPv4 address and a port; "EPRT |2|address|port|" for an
// IPv6 one.
std::string FormatPortCommand(const std::string& address, int port);
// The byte count a reply announces: the run of digits nearest before "BYTE" (any case),
// 0 when there is none.
int64_t ReplyByteCount(std::string_view reply) noexcept;
// The data port a 229 reply ("(|||6446|)") or a 227 reply ("(h1,h2,h3,h4,p1,p2)") names; 0
// when it names none.
int EpsvPort(std::string_view reply) noexcept;
int PasvPort(std::string_view reply) noexcept;

class TNMFTP : public TPowersock {
public:
  using TCmdEvent = std::function<void(TPowersock& sender, TFTPCmdType cmd)>;
  using TFailureEvent = std::function<void(TPowersock& sender, bool& handled, TFTPCmdType cmd)>;
  using TListItemEvent = std::function<void(TPowersock& sender, const std::string& line)>;

  TNMFTP();
  ~TNMFTP() override;

  std::string UserID;
  std::string Password;
  int Vendor = NMOS_AUTO;
  // Only the server system (Vendor) is learned when set; listings are not parsed further.
  bool ParseList = false;
  // Data connections passive first (false: active only, as the original client had it).
  bool Passive = true;
  // Resuming: with RestartAt above 0, Download asks for the file from that byte on (REST) and,
  // when the server agrees, appends to the local file, which must hold exactly that many
  // bytes; otherwise the file comes whole.
  int64_t RestartAt = 0;

  THandlerEvent OnConnectionRequired; // set handled after connecting
  TNotifyEvent OnAuthenticationNeeded;
  TNotifyEvent OnTransactionStart;
  TNotifyEvent OnTransactionStop;
  TCmdEvent OnSuccess;
  TFailureEvent OnFailure; // set handled to go on despite the negative reply
  TListItemEvent OnListItem;
  TCmdEvent OnUnSupportedFunction; // replies 500 to 502
  // OnPacketRecvd and OnPacketSent are handed to the data connection of a transfer, which
  // raises them with itself as sender (its BytesTotal is 0, BytesReceived counts the file).

  // Connects (unless connected), reads the greeting and logs in with USER and, when asked
  // for, PASS. A negative greeting or login reply throws FTPException after QUIT.
  void Connect() override;
  // QUIT (waiting at most about a second for its reply) and close. A negative reply throws
  // FTPException after the connection is closed.
  void Disconnect() override;
  // Stops the running operation at whatever stage: the data connection's and the control
  // connection's current waits end with EAbortError.
  void Abort() override;

  void ChangeDir(const std::string& path);
  void MakeDirectory(const std::string& path);
  void Delete(const std::string& name);
  void RemoveDir(const std::string& path);
  std::string CurrentDir(); // PWD; the reply line
  void Mode(int transferType);
  // LIST over a data connection, each line to OnListItem.
  void List();
  // RETR `remoteName` into `localName` (Windows path; the remote name when empty). BytesTotal
  // is the count the server announces, then the bytes received; the data connection's
  // BytesTotal is what is still to come, for progress. A negative reply while waiting for the
  // data, or a negative final reply (a transfer the server broke off), throws FTPException; so
  // does a file shorter than the size the server announced ("The connection was closed after
  // N of M bytes.").
  void Download(const std::string& remoteName, const std::string& localName);

  // The last reply line read (without its line end).
  const std::string& LastReply() const noexcept { return FLastReply; }
  // About the last Download: whether it continued the file at RestartAt, and the size of the
  // whole file as the server announced it (0 when it did not).
  bool Resumed() const noexcept { return FResumed; }
  int64_t Announced() const noexcept { return FAnnounced; }
  // The data connection of the running transfer, if any.
  TPowersock* DataConnection() const noexcept { return FData.get(); }

protected:
  void DataArrived() override;

private:
  std::string Command(const std::string& command, int64_t* byteCount = nullptr);
  std::string ReadReply();
  void ReadContinuation(const std::string& first, int64_t* byteCount);
  void CheckReply(const std::string& line);
  void SimpleCommand(TFTPCmdType kind, const std::string& command);
  void CheckConnection();
  void FailUnlessHandled(TFTPCmdType kind, const std::string& reply);
  void OpenDataConnection();
  void AcceptData();
  void ReportPendingReplies();
  void LearnSystem();

  std::unique_ptr<TPowersock> FData;
  std::string FLastReply;
  int FServerAbortCode = 0; // the reply code seen by the control-connection watch
  bool FDataPassive = false;
  bool FInTransfer = false; // waiting for a transfer's data
  bool FResumed = false;
  int64_t FAnnounced = 0;
};

} // namespace dravik
