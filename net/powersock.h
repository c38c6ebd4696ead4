// The socket layer under the HTTP and FTP clients: one TCP connection (IPv4 or IPv6, plain or
// TLS) whose operations look blocking to the caller. Every wait runs in turns on the calling
// (user-interface) thread: each turn polls the socket for at most 2 ms, takes in whatever has
// arrived and sends what it can, then calls ProcessMessages() so the windows stay live, and then
// checks the cancel and time-out marks. A Cancel() from an event handler therefore ends the current
// wait within one turn. Host names are looked up on a background thread while the wait pumps, and
// every address found is tried in turn.
//
// Errors are exceptions: ESockError for socket, lookup and connection failures (texts such as
// "Connection Failed" or "10061:Connection refused"), EAbortError for a wait ended by
// Cancel(). Nothing here shows anything to the user; status texts go to OnStatus.
//
// Received data is held in a bounded buffer: a line longer than MaxLineLength fails with
// ESockError instead of growing the buffer, and reading from the socket pauses while the
// buffer is full until an operation takes the data. Unlimited amounts go straight into files
// (CaptureFile, and the HTTP client's body).
#pragma once

#include "hostlookup.h"
#include "platform/sysutils.h"
#include "sockerrors.h"
#include "threadtimer.h"

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace dravik {

class TFileStream;
class TTlsSession;

// "No data received for 60 seconds" (or "... for 300 ms" for a time that is not whole seconds).
std::string NoDataText(int milliseconds);

class ESockError : public Exception {
public:
  using Exception::Exception;
};

// A wait ended by Cancel(). Callers treat it as "the user stopped it" and show nothing.
class EAbortError : public Exception {
public:
  using Exception::Exception;
};

// The number formed by a reply line's leading decimal digits (at most 10), 0 when none.
int ReplyCodeOf(std::string_view line) noexcept;
// `line` without the CR and LF characters at its end.
std::string WithoutLineEnd(std::string line);

// Status levels: a status is passed to OnStatus when ReportLevel >= its level.
constexpr int slProtocol = 1;    // protocol traffic: commands, reply lines, transfer sizes
constexpr int slCompleted = 2;   // "Transaction Completed"
constexpr int slTraffic = 4;     // "Sending Buffer", "Accepting", "Request Close Socket"
constexpr int slInternal = 8;    // every other internal step
constexpr int slErrorCheck = 16; // "Checking Error In Error Manager"

class TPowersock {
public:
  using TNotifyEvent = std::function<void(TPowersock& sender)>;
  using THandlerEvent = std::function<void(TPowersock& sender, bool& handled)>;
  using TStatusEvent = std::function<void(TPowersock& sender, const std::string& status)>;
  using TErrorEvent =
      std::function<void(TPowersock& sender, int errorCode, const std::string& message)>;

  // Longest line ReadLn takes (without its line end); longer lines fail with ESockError.
  static constexpr int64_t MaxLineLength = 64 * 1024;
  // Longest text CaptureString collects.
  static constexpr int64_t MaxCaptureString = 64 * 1024 * 1024;
  // Bytes moved by one platform read or send.
  static constexpr int PacketSize = 16383;

  TPowersock();
  virtual ~TPowersock();
  TPowersock(const TPowersock&) = delete;
  TPowersock& operator=(const TPowersock&) = delete;

  std::string Host;
  int Port = 0;
  int TimeOut = 0; // milliseconds for the host lookup and the connect; 0: no limit
  // Milliseconds a wait for received data (a line, a capture, an accepted data connection,
  // the TLS handshake) goes on without any data arriving before it fails with ESockError
  // "No data received for N seconds"; 0: no limit.
  int ReceiveTimeOut = 0;
  int ReportLevel = 1;
  std::string Proxy; // when set, Connect goes to Proxy:ProxyPort instead of Host:Port
  int ProxyPort = 0;

  // Counters of a transfer: the expected length (set by the client, 0 when unknown) and the
  // bytes taken in by the current CaptureFile.
  int64_t BytesTotal = 0;
  int64_t BytesReceived = 0;
  int64_t BytesSent = 0;

  TNotifyEvent OnConnect;
  TNotifyEvent OnDisconnect;
  THandlerEvent OnInvalidHost; // set handled to have the lookup tried once more
  TNotifyEvent OnHostResolved;
  TStatusEvent OnStatus;
  TNotifyEvent OnConnectionFailed;
  TNotifyEvent OnPacketRecvd;
  TNotifyEvent OnPacketSent;
  TErrorEvent OnError;

  bool Connected() const noexcept { return FConnected; }
  // Number formed by the leading digits of the last Transaction's reply (0 when none).
  int ReplyNumber() const noexcept { return FReplyNumber; }
  const std::string& Status() const noexcept { return FStatus; }
  int LastErrorNo() const noexcept { return FLastError; }

  // Resolves the host (a numeric IPv4 or IPv6 address is used as it is), connects to each of
  // its addresses in turn until one answers. Throws ESockError: "Already connected", "Host
  // Lookup Timed Out", "Null Remote Address" (lookup failed and OnInvalidHost did not ask for
  // another try), "Connection timed out" (after TimeOut), "Connection Failed" (refused), the
  // error text of a connect that failed at once, "Invalid port %d"; EAbortError "Host Lookup
  // Canceled" or "Connection Canceled" after Cancel().
  virtual void Connect();
  // Makes the connection a TLS one (https): handshakes and verifies the server's certificate
  // for `serverName`. ESockError saying why when it fails; EAbortError after Cancel().
  void StartTLS(const std::string& serverName);
  bool Secure() const noexcept { return FTls != nullptr; }
  // Closes the connection (raises OnDisconnect when there was one). Never waits.
  virtual void Disconnect();
  // Ends the current (or next) wait with EAbortError.
  void Cancel();
  // What the time-out timer calls; the base does nothing, the clients cancel their transfer.
  virtual void Abort() {}

  // Sends all of `text`, waiting until the system has taken it. EAbortError "Socket send
  // aborted"; ESockError on a send failure or when not connected.
  void Write(std::string_view text);
  void Writeln(std::string_view text);
  // The next line with its line end (CR LF or LF). When the peer has closed, the rest without
  // a line end ("" when nothing is left). EAbortError "Socket readln aborted".
  std::string ReadLn();
  // `count` bytes (fewer when the peer closes first); count 0: whatever has arrived, without
  // waiting. EAbortError "Socket read aborted".
  std::string Read(int64_t count);
  // Sends the command with CR LF, reads one line, reports it at level 1, sets ReplyNumber
  // from its leading digits and returns it without its line end.
  std::string Transaction(std::string_view command);
  // Sends a file's whole content (Windows path).
  void SendFile(const std::string& fileName);
  // Writes everything received until the peer closes into a new file (Windows path; an
  // existing one is replaced), counting it in BytesReceived and raising OnPacketRecvd. After
  // Cancel() the file is closed, kept, and EAbortError "Socket capture aborted" thrown.
  // Throws EFCreateError / EWriteError for file failures.
  // With `startAt` above 0 the data goes into the existing file from that byte on (resuming).
  void CaptureFile(const std::string& fileName, int64_t startAt = 0);
  // Collects received bytes into `text` until the peer closes (count -1) or `text` holds
  // `count` characters.
  void CaptureString(std::string& text, int64_t count);

  // Listens on `localAddress` (numeric IPv4 or IPv6; "" for any IPv4 address) at a port the
  // system chooses, with a backlog of 1.
  void Listen(const std::string& localAddress = "");
  // Waits for a connection to the listening socket from `peerAddress` (numeric; "": any),
  // accepts it and closes the listening socket; the accepted connection takes its place.
  // Connections from other addresses are refused. EAbortError "Socket accept aborted";
  // ESockError "Connection closed by the server" when the Companion's peer has closed while
  // nobody has connected, or the ReceiveTimeOut text.
  void Accept(const std::string& peerAddress = "");

  // The socket's own IPv4 address with "," for "." ("127,0,0,1") and its port as ",%d,%d"
  // (high byte, low byte), as an FTP PORT command writes them.
  std::string GetLocalAddress() const;
  std::string GetPortString() const;
  // The connection's (else the listening socket's) own address as numeric text, its port, and
  // the peer's address; "" or 0 when there is no socket.
  std::string LocalAddress() const;
  int LocalPort() const;
  std::string PeerAddress() const;

  // Stores the status text and raises OnStatus when ReportLevel >= level.
  void StatusMessage(int level, const std::string& text);

  // A connection whose waits this one's waits also serve: its socket is polled in the same
  // turns and an error waiting on it ends this one's wait (the FTP control connection for its
  // data connection). Not owned.
  TPowersock* Companion = nullptr;

protected:
  // Connect without raising OnConnect (clients that log in first raise it themselves).
  void ConnectSocket();
  void SetReplyNumber(int number) noexcept { FReplyNumber = number; }
  enum class TWaitEnd { Done, Canceled, TimedOut, Deadline };
  // Runs turns until `done()` holds. Rethrows a pending error of this socket (or of the
  // companion). Returns Canceled (clearing the mark) or TimedOut instead of throwing; with
  // `deadline` also Deadline once it passes.
  // `receiving`: the wait is for data from the peer, and ReceiveTimeOut applies.
  TWaitEnd Wait(const std::function<bool()>& done,
                std::optional<std::chrono::steady_clock::time_point> deadline = std::nullopt,
                bool receiving = false);
  // Like Wait, but throws EAbortError(abortText) when canceled.
  void WaitOrAbort(const std::function<bool()>& done, const char* abortText,
                   bool receiving = false);
  // Bytes received and not yet taken.
  std::string_view Buffered() const noexcept;
  void DropBuffered(size_t count);
  // Takes whatever the socket holds right now into the buffer, without waiting.
  void Drain();
  // Called after data arrived in the buffer (the FTP client watches its control connection).
  virtual void DataArrived() {}
  // An error that the next wait (of this socket or one whose companion it is) throws.
  void SetPendingError(std::exception_ptr error) { FPendingError = std::move(error); }
  bool PeerClosed() const noexcept { return FPeerClosed; }
  bool Canceled() const noexcept { return FCanceled; }
  void ClearCancel() noexcept { FCanceled = false; }
  bool TimedOut() const noexcept { return FTimedOut; }
  // Reads a line as ReadLn does; with a deadline, gives up (returning "") when it passes.
  std::string ReadLnUntil(std::optional<std::chrono::steady_clock::time_point> deadline);

private:
  void Turn();
  void HandleEvents(short revents);
  short WantedEvents() const;
  void ReadStep();
  void SendStep();
  void FinishConnect();
  void CloseSocket(bool raiseEvent);
  static void CloseFd(int& fd);
  ssize_t Receive(char* buffer, size_t count);
  ssize_t Transmit(const char* buffer, size_t count);
  ssize_t TlsTransfer(bool write, char* buffer, size_t count);
  void HandshakeStep();
  bool TlsPending() const;
  void SocketFailed(int errnoValue);
  void RaisePending();
  std::vector<std::string> ResolveHost(const std::string& host);
  std::string TakeLine(size_t end);
  std::optional<size_t> FindLineEnd();
  void TimerFired(TThreadTimer& timer);

  int FSocket = -1;
  int FListenSocket = -1;
  bool FConnecting = false;
  bool FConnected = false;
  bool FPeerClosed = false;
  bool FCanceled = false;
  bool FTimedOut = false;
  bool FInStep = false;
  int FLastError = 0;
  int FReplyNumber = 0;
  std::string FStatus;
  std::string FRecv; // FRecv[FRecvPos, FRecvEnd) is unread; the rest is room
  size_t FRecvPos = 0;
  size_t FRecvEnd = 0;
  size_t FScanPos = 0; // where the search for a line end resumes
  std::string FSend;
  size_t FSendPos = 0;
  std::exception_ptr FPendingError;
  std::unique_ptr<TTlsSession> FTls;
  bool FHandshaking = false;
  short FTlsWant = 0;
  std::chrono::steady_clock::time_point FLastReceived;
  TThreadTimer FTimer;
};

} // namespace dravik
