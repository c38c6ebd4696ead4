#include "powersock.h"

#include "platform/filestream.h"
#include "platform/pump.h"
#include "platform/scopeexit.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <climits>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace dravik {

// ---------------------------------------------------------------------------------------------
// Error table

namespace {

struct TErrorRow {
  int Code;
  const char* Text;
};

constexpr TErrorRow kErrorTable[] = {
    {10004, "Interrupted system call"},
    {10009, "Bad file number"},
    {10013, "Permission denied"},
    {10014, "Bad address"},
    {10022, "Invalid argument"},
    {10024, "Too many open files"},
    {10035, "Operation would block"},
    {10036, "Operation now in progress"},
    {10037, "Operation already in progress"},
    {10038, "Socket operation on non-socket"},
    {10039, "Destination address required"},
    {10040, "Message too long"},
    {10041, "Wrong protocol type for socket"},
    {10042, "Bad protocol option"},
    {10043, "Protocol not supported"},
    {10044, "Socket type not supported"},
    {10045, "Operation not supported on socket"},
    {10046, "Protocol family not supported"},
    {10047, "Address family not supported by protocol family"},
    {10048, "Address already in use"},
    {10049, "Can't assign requested address"},
    {10050, "Network is down"},
    {10051, "Network is unreachable"},
    {10052, "Network dropped connection or reset"},
    {10053, "Software caused connection abort"},
    {10054, "Connection reset by peer"},
    {10055, "No buffer space available"},
    {10056, "Socket is already connected"},
    {10057, "Socket is not connected"},
    {10058, "Can't send after socket shutdown"},
    {10059, "Too many references, can't splice"},
    {10060, "Connection timed out"},
    {10061, "Connection refused"},
    {10062, "Too many levels of symbolic links"},
    {10063, "File name too long"},
    {10064, "Host is down"},
    {10065, "No route to Host"},
    {10066, "Directory not empty"},
    {10067, "Too many processes"},
    {10068, "Too many users"},
    {10069, "Disc quota exceeded"},
    {10070, "Stale NFS file handle"},
    {10071, "Too many levels of remote in path"},
    {10091, "Network subsystem is unavailable"},
    {10092, "Incompatible version of WINSOCK.DLL"},
    {10093, "Successful WSAStartup not yet performed"},
    {11001, "Host not found"},
    {11002, "Non-Authoritative Host not found"},
    {11003, "Non-Recoverable error: FORMERR, REFUSED, NOTIMP"},
    {11004, "Valid name, no data record of requested type"},
    {0, "Unrecognized error code"},
};

// Unread bytes beyond which reading from the socket pauses: room for the longest line and a
// little more, so a line that is too long is seen as such.
constexpr size_t kRecvLimit = size_t(TPowersock::MaxLineLength) + 2 * TPowersock::PacketSize;

THostResolver& Resolver() {
  static THostResolver resolver;
  return resolver;
}

std::optional<uint32_t> SystemResolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return std::nullopt;
  std::optional<uint32_t> address;
  for (addrinfo* a = result; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      break;
    }
  ::freeaddrinfo(result);
  return address;
}

std::optional<uint32_t> NumericAddress(const std::string& host) {
  in_addr a{};
  if (::inet_pton(AF_INET, host.c_str(), &a) == 1) return a.s_addr;
  return std::nullopt;
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The local name of the connection, or else of the listening socket; zeroed when neither is
// open.
sockaddr_in LocalName(int socket, int listenSocket) {
  const int fd = socket >= 0 ? socket : listenSocket;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return {};
  return sa;
}

} // namespace

std::string SocketErrorText(int code) {
  for (const auto& row : kErrorTable)
    if (row.Code == code) return Format("%d:%s", code, std::string(row.Text));
  return Format("Unknown Error No. %d", code);
}

int WinsockError(int e) noexcept {
  switch (e) {
  case EINTR:
    return 10004;
  case EBADF:
    return 10009;
  case EACCES:
    return 10013;
  case EFAULT:
    return 10014;
  case EINVAL:
    return 10022;
  case EMFILE:
    return 10024;
  case EAGAIN:
    return 10035;
  case EINPROGRESS:
    return 10036;
  case EALREADY:
    return 10037;
  case ENOTSOCK:
    return 10038;
  case EDESTADDRREQ:
    return 10039;
  case EMSGSIZE:
    return 10040;
  case EPROTOTYPE:
    return 10041;
  case ENOPROTOOPT:
    return 10042;
  case EPROTONOSUPPORT:
    return 10043;
  case ESOCKTNOSUPPORT:
    return 10044;
  case EOPNOTSUPP:
    return 10045;
  case EPFNOSUPPORT:
    return 10046;
  case EAFNOSUPPORT:
    return 10047;
  case EADDRINUSE:
    return 10048;
  case EADDRNOTAVAIL:
    return 10049;
  case ENETDOWN:
    return 10050;
  case ENETUNREACH:
    return 10051;
  case ENETRESET:
    return 10052;
  case ECONNABORTED:
    return 10053;
  case ECONNRESET:
    return 10054;
  case ENOBUFS:
    return 10055;
  case EISCONN:
    return 10056;
  case ENOTCONN:
    return 10057;
  case ESHUTDOWN:
  case EPIPE:
    return 10058;
  case ETOOMANYREFS:
    return 10059;
  case ETIMEDOUT:
    return 10060;
  case ECONNREFUSED:
    return 10061;
  case ELOOP:
    return 10062;
  case ENAMETOOLONG:
    return 10063;
  case EHOSTDOWN:
    return 10064;
  case EHOSTUNREACH:
    return 10065;
  case ENOTEMPTY:
    return 10066;
  case EUSERS:
    return 10068;
  case EDQUOT:
    return 10069;
  case ESTALE:
    return 10070;
  case EREMOTE:
    return 10071;
  default:
    return e;
  }
}

int ReplyCodeOf(std::string_view line) noexcept {
  int64_t number = 0;
  for (size_t i = 0; i < line.size() && i < 10 && line[i] >= '0' && line[i] <= '9'; ++i)
    number = number * 10 + (line[i] - '0');
  return number > INT_MAX ? INT_MAX : int(number);
}

std::string WithoutLineEnd(std::string line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
    line.pop_back();
  return line;
}

THostResolver SetHostResolver(THostResolver resolver) {
  THostResolver previous = std::move(Resolver());
  Resolver() = std::move(resolver);
  return previous;
}

// ---------------------------------------------------------------------------------------------
// TThreadTimer

void TThreadTimer::SetInterval(int milliseconds) {
  FInterval = milliseconds;
  Restart();
}

void TThreadTimer::SetEnabled(bool enabled) {
  FEnabled = enabled;
  Restart();
}

void TThreadTimer::Restart() {
  FStart = std::chrono::steady_clock::now();
}

void TThreadTimer::Check() {
  if (!Running()) return;
  auto now = std::chrono::steady_clock::now();
  if (now - FStart < std::chrono::milliseconds(FInterval)) return;
  FStart = now;
  OnTimer(*this);
}

// ---------------------------------------------------------------------------------------------
// TPowersock

// The result of one background lookup. The lookup thread holds its own reference, so a wait
// that gives up (cancel, time-out) can drop this one without the thread touching freed state.
struct TPowersock::TLookup {
  std::mutex Mutex;
  bool Done = false;
  std::optional<uint32_t> Address;
};

TPowersock::TPowersock() {
  FTimer.OnTimer = [this](TThreadTimer& timer) { TimerFired(timer); };
}

TPowersock::~TPowersock() {
  // No events from here on: their handlers may belong to an owner that is going away too.
  FStatus = "Destroy";
  CloseFd(FSocket);
  CloseFd(FListenSocket);
}

void TPowersock::StatusMessage(int level, const std::string& text) {
  FStatus = text;
  if (ReportLevel >= level && OnStatus) OnStatus(*this, text);
}

void TPowersock::TimerFired(TThreadTimer& timer) {
  StatusMessage(slInternal, "Timer Triggered");
  timer.SetEnabled(false);
  FTimedOut = true;
  Abort();
}

void TPowersock::Cancel() {
  StatusMessage(slInternal, "Canceling");
  FCanceled = true;
}

// --- waits -------------------------------------------------------------------------------------

short TPowersock::WantedEvents() const {
  if (FSocket < 0) return 0;
  if (FConnecting) return POLLOUT;
  if (!FConnected) return 0;
  short events = 0;
  if (!FCanceled && FRecv.size() - FRecvPos < kRecvLimit) events |= POLLIN;
  if (FSendPos < FSend.size()) events |= POLLOUT;
  return events;
}

void TPowersock::HandleEvents(short revents) {
  try {
    if (FConnecting) {
      if (revents & (POLLOUT | POLLERR | POLLHUP)) FinishConnect();
      return;
    }
    if (!FConnected) return;
    if (revents & (POLLIN | POLLHUP | POLLERR)) ReadStep();
    if (FConnected && (revents & POLLOUT)) SendStep();
  } catch (...) {
    // An event handler failed: the wait that owns this socket reports it.
    FPendingError = std::current_exception();
  }
}

void TPowersock::Turn() {
  pollfd fds[3];
  TPowersock* owners[3];
  int n = 0;
  if (short ev = WantedEvents()) {
    fds[n] = {FSocket, ev, 0};
    owners[n++] = this;
  }
  if (FListenSocket >= 0) {
    fds[n] = {FListenSocket, POLLIN, 0};
    owners[n++] = nullptr;
  }
  if (Companion)
    if (short ev = Companion->WantedEvents()) {
      fds[n] = {Companion->FSocket, ev, 0};
      owners[n++] = Companion;
    }
  int ready = ::poll(n ? fds : nullptr, nfds_t(n), 2);
  if (ready > 0)
    for (int i = 0; i < n; ++i)
      if (fds[i].revents && owners[i]) owners[i]->HandleEvents(fds[i].revents);
  ProcessMessages();
  FTimer.Check();
}

void TPowersock::RaisePending() {
  if (FPendingError) {
    std::exception_ptr e = std::move(FPendingError);
    FPendingError = nullptr;
    std::rethrow_exception(e);
  }
  if (Companion && Companion->FPendingError) {
    std::exception_ptr e = std::move(Companion->FPendingError);
    Companion->FPendingError = nullptr;
    std::rethrow_exception(e);
  }
}

TPowersock::TWaitEnd
TPowersock::Wait(const std::function<bool()>& done,
                 std::optional<std::chrono::steady_clock::time_point> deadline) {
  while (true) {
    RaisePending();
    // Cancel first: a click in the last turn of a wait that has just been served must not be
    // left for a later operation to clear.
    if (FCanceled) {
      FCanceled = false;
      return TWaitEnd::Canceled;
    }
    if (done()) return TWaitEnd::Done;
    if (FTimedOut) return TWaitEnd::TimedOut;
    if (deadline && std::chrono::steady_clock::now() >= *deadline) return TWaitEnd::Deadline;
    Turn();
  }
}

void TPowersock::WaitOrAbort(const std::function<bool()>& done, const char* abortText) {
  TWaitEnd end = Wait(done);
  if (end == TWaitEnd::Canceled || end == TWaitEnd::TimedOut) throw EAbortError(abortText);
}

// --- reading and sending -------------------------------------------------------------------------

void TPowersock::ReadStep() {
  if (FInStep) return;
  FInStep = true;
  TScopeExit stepDone([this] { FInStep = false; });

  if (FRecvPos > 0 && (FRecvPos == FRecv.size() || FRecvPos > FRecv.size() / 2)) {
    FRecv.erase(0, FRecvPos);
    FScanPos -= FRecvPos;
    FRecvPos = 0;
  }
  bool got = false;
  while (FSocket >= 0 && !FCanceled && FRecv.size() - FRecvPos < kRecvLimit) {
    size_t old = FRecv.size();
    FRecv.resize(old + PacketSize);
    ssize_t n = ::recv(FSocket, FRecv.data() + old, PacketSize, 0);
    if (n > 0) {
      FRecv.resize(old + size_t(n));
      got = true;
      continue;
    }
    int err = errno;
    FRecv.resize(old);
    if (n == 0) {
      FPeerClosed = true;
      CloseSocket(true);
      break;
    }
    if (err == EINTR) continue;
    if (err == EAGAIN || err == EWOULDBLOCK) break;
    SocketFailed(err);
    break;
  }
  if (got) DataArrived();
}

void TPowersock::SendStep() {
  if (FInStep || FSocket < 0) return;
  FInStep = true;
  TScopeExit stepDone([this] { FInStep = false; });

  StatusMessage(slTraffic, "Sending Buffer");
  while (FSendPos < FSend.size()) {
    size_t chunk = std::min<size_t>(PacketSize, FSend.size() - FSendPos);
    ssize_t n = ::send(FSocket, FSend.data() + FSendPos, chunk, MSG_NOSIGNAL);
    if (n > 0) {
      FSendPos += size_t(n);
      continue;
    }
    int err = errno;
    if (n < 0 && err == EINTR) continue;
    if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK)) return;
    SocketFailed(n < 0 ? err : EPIPE);
    return;
  }
  FSend.clear();
  FSendPos = 0;
}

void TPowersock::SocketFailed(int errnoValue) {
  StatusMessage(slErrorCheck, "Checking Error In Error Manager");
  FLastError = WinsockError(errnoValue);
  std::string text = SocketErrorText(FLastError);
  FPendingError = std::make_exception_ptr(ESockError(text));
  CloseSocket(true);
  if (OnError) OnError(*this, FLastError, text);
}

void TPowersock::CloseSocket(bool raiseEvent) {
  if (FSocket < 0) return;
  StatusMessage(slTraffic, "Request Close Socket");
  const bool wasConnected = FConnected;
  FConnected = false;
  FConnecting = false;
  CloseFd(FSocket);
  FSend.clear();
  FSendPos = 0;
  if (raiseEvent && wasConnected && OnDisconnect) OnDisconnect(*this);
}

std::string_view TPowersock::Buffered() const noexcept {
  return std::string_view(FRecv).substr(FRecvPos);
}

void TPowersock::DropBuffered(size_t count) {
  FRecvPos += std::min(count, FRecv.size() - FRecvPos);
  if (FScanPos < FRecvPos) FScanPos = FRecvPos;
  if (FRecvPos == FRecv.size()) {
    FRecv.clear();
    FRecvPos = FScanPos = 0;
  }
}

void TPowersock::Drain() {
  if (FSocket >= 0 && FConnected) ReadStep();
}

void TPowersock::Write(std::string_view text) {
  StatusMessage(slInternal, "Write");
  if (!FConnected) throw ESockError(SocketErrorText(WSAENOTCONN));
  FSend.append(text);
  SendStep();
  WaitOrAbort([this] { return FSendPos >= FSend.size(); }, "Socket send aborted");
  // The buffer is also emptied when the connection goes; then not everything went out.
  if (!FConnected) throw ESockError(SocketErrorText(FLastError ? FLastError : WSAENOTCONN));
}

void TPowersock::Writeln(std::string_view text) {
  StatusMessage(slInternal, "Writeln");
  std::string line(text);
  line += "\r\n";
  Write(line);
}

std::optional<size_t> TPowersock::FindLineEnd() {
  if (FScanPos < FRecvPos) FScanPos = FRecvPos;
  const size_t lf = FRecv.find('\n', FScanPos);
  if (lf == std::string::npos) FScanPos = FRecv.size();
  // Without a line end yet, everything buffered belongs to the line.
  const size_t end = lf == std::string::npos ? FRecv.size() : lf;
  if (end - FRecvPos > size_t(MaxLineLength) + 1) // the line and its CR
    throw ESockError(
        Format("Received a line longer than %lld bytes", static_cast<long long>(MaxLineLength)));
  if (lf == std::string::npos) return std::nullopt;
  return lf;
}

std::string TPowersock::TakeLine(size_t lf) {
  std::string line = FRecv.substr(FRecvPos, lf + 1 - FRecvPos);
  DropBuffered(line.size());
  return line;
}

std::string TPowersock::ReadLn() {
  StatusMessage(slInternal, "ReadLn");
  return ReadLnUntil(std::nullopt);
}

std::string TPowersock::ReadLnUntil(std::optional<std::chrono::steady_clock::time_point> deadline) {
  std::optional<size_t> lf;
  const TWaitEnd end = Wait(
      [&] {
        lf = FindLineEnd();
        return lf.has_value() || FSocket < 0;
      },
      deadline);
  if (end == TWaitEnd::Canceled || end == TWaitEnd::TimedOut)
    throw EAbortError("Socket readln aborted");
  if (lf) return TakeLine(*lf);
  if (end == TWaitEnd::Deadline) return std::string();
  std::string rest(Buffered());
  DropBuffered(rest.size());
  return rest;
}

std::string TPowersock::Read(int64_t count) {
  StatusMessage(slInternal, Format("Read( %lld )", static_cast<long long>(count)));
  if (count > int64_t(kRecvLimit)) throw ESockError("Read count too large");
  if (count > 0)
    WaitOrAbort([&] { return int64_t(Buffered().size()) >= count || FSocket < 0; },
                "Socket read aborted");
  else
    Drain();
  size_t take = count > 0 ? std::min<size_t>(size_t(count), Buffered().size()) : Buffered().size();
  std::string data(Buffered().substr(0, take));
  DropBuffered(take);
  return data;
}

std::string TPowersock::Transaction(std::string_view command) {
  StatusMessage(slInternal, "Transaction");
  FReplyNumber = 0;
  Writeln(command);
  std::string line = WithoutLineEnd(ReadLn());
  StatusMessage(slProtocol, line);
  FReplyNumber = ReplyCodeOf(line);
  return line;
}

void TPowersock::SendFile(const std::string& fileName) {
  StatusMessage(slInternal, "SendFile");
  TFileStream file(fileName, fmOpenRead);
  BytesSent = 0;
  std::string chunk(PacketSize, '\0');
  while (int64_t n = file.Read(chunk.data(), PacketSize)) {
    Write(std::string_view(chunk.data(), size_t(n)));
    BytesSent += n;
    if (OnPacketSent) OnPacketSent(*this);
  }
}

void TPowersock::CaptureFile(const std::string& fileName) {
  StatusMessage(slInternal, "CaptureFile");
  TFileStream file(fileName, fmCreate);
  BytesReceived = 0;
  auto flush = [&] {
    std::string_view data = Buffered();
    if (data.empty()) return;
    file.WriteBuffer(data.data(), int64_t(data.size()));
    BytesReceived += int64_t(data.size());
    DropBuffered(data.size());
    if (OnPacketRecvd) OnPacketRecvd(*this);
  };
  flush();
  while (FSocket >= 0 || !Buffered().empty()) {
    TWaitEnd end = Wait([this] { return !Buffered().empty() || FSocket < 0; });
    if (end == TWaitEnd::Canceled || end == TWaitEnd::TimedOut)
      throw EAbortError("Socket capture aborted");
    flush();
  }
}

void TPowersock::CaptureString(std::string& text, int64_t count) {
  StatusMessage(slInternal, "Capture String");
  while (true) {
    std::string_view data = Buffered();
    if (count >= 0)
      data = data.substr(0, size_t(std::max<int64_t>(0, count - int64_t(text.size()))));
    if (int64_t(text.size() + data.size()) > MaxCaptureString)
      throw ESockError(
          Format("Received more than %lld bytes", static_cast<long long>(MaxCaptureString)));
    text.append(data);
    DropBuffered(data.size());
    if (count >= 0 && int64_t(text.size()) >= count) return;
    if (FSocket < 0 && Buffered().empty()) return;
    WaitOrAbort([this] { return !Buffered().empty() || FSocket < 0; }, "Socket capture aborted");
  }
}

// --- connecting ---------------------------------------------------------------------------------

void TPowersock::FinishConnect() {
  int err = 0;
  socklen_t len = sizeof(err);
  if (::getsockopt(FSocket, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err == EINPROGRESS || err == EALREADY) return;
  FConnecting = false;
  if (err == 0) {
    FConnected = true;
    return;
  }
  FLastError = WinsockError(err);
  CloseFd(FSocket);
  if (OnError) OnError(*this, FLastError, SocketErrorText(FLastError));
}

uint32_t TPowersock::ResolveHost(const std::string& firstHost) {
  StatusMessage(slInternal, "Resolve Host");
  std::string host = firstHost;
  for (int attempt = 0;; ++attempt) {
    if (auto numeric = NumericAddress(host)) return *numeric;
    std::optional<uint32_t> address;
    if (!host.empty()) {
      auto lookup = std::make_shared<TLookup>();
      THostResolver resolver = Resolver() ? Resolver() : THostResolver(SystemResolve);
      try {
        std::thread([lookup, resolver, host] {
          std::optional<uint32_t> result;
          try {
            result = resolver(host);
          } catch (...) {
          }
          std::lock_guard<std::mutex> lock(lookup->Mutex);
          lookup->Address = result;
          lookup->Done = true;
        }).detach();
      } catch (const std::system_error&) {
        std::lock_guard<std::mutex> lock(lookup->Mutex);
        lookup->Done = true;
      }
      FTimer.SetInterval(TimeOut);
      FTimer.SetEnabled(TimeOut > 0);
      TWaitEnd end;
      try {
        end = Wait([&] {
          std::lock_guard<std::mutex> lock(lookup->Mutex);
          return lookup->Done;
        });
      } catch (...) {
        FTimer.SetEnabled(false);
        throw;
      }
      FTimer.SetEnabled(false);
      if (FTimedOut) {
        FTimedOut = false;
        FCanceled = false;
        throw ESockError("Host Lookup Timed Out");
      }
      if (end == TWaitEnd::Canceled) throw EAbortError("Host Lookup Canceled");
      std::lock_guard<std::mutex> lock(lookup->Mutex);
      address = lookup->Address;
    }
    if (address) {
      if (OnHostResolved) OnHostResolved(*this);
      return *address;
    }
    // "Host Lookup Failed": the handler may fix the host name once.
    bool handled = false;
    if (attempt == 0 && OnInvalidHost) OnInvalidHost(*this, handled);
    if (!handled) throw ESockError("Null Remote Address");
    host = Proxy.empty() ? Host : Proxy;
  }
}

void TPowersock::Connect() {
  ConnectSocket();
  if (OnConnect) OnConnect(*this);
}

void TPowersock::ConnectSocket() {
  StatusMessage(slInternal, "Connecting");
  FCanceled = false;
  FTimedOut = false;
  if (FConnected) throw ESockError("Already connected");
  FPendingError = nullptr;
  FRecv.clear();
  FRecvPos = FScanPos = 0;
  FPeerClosed = false;
  CloseFd(FSocket);

  const int port = Proxy.empty() ? Port : ProxyPort;
  if (port < 1 || port > 65535) throw ESockError(Format("Invalid port %d", port));
  const uint32_t address = ResolveHost(Proxy.empty() ? Host : Proxy);

  FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (FSocket < 0) {
    FLastError = WinsockError(errno);
    throw ESockError("Initializaton of windows sockets failed");
  }
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(uint16_t(port));
  sa.sin_addr.s_addr = address;
  if (::connect(FSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    FConnected = true;
  } else if (errno == EINPROGRESS) {
    FConnecting = true;
  } else {
    FLastError = WinsockError(errno);
    CloseFd(FSocket);
    throw ESockError(SocketErrorText(FLastError));
  }

  FTimer.SetInterval(TimeOut);
  FTimer.SetEnabled(TimeOut > 0);
  TWaitEnd end;
  try {
    end = Wait([this] { return FConnected || !FConnecting; });
  } catch (...) {
    FTimer.SetEnabled(false);
    CloseSocket(false);
    throw;
  }
  FTimer.SetEnabled(false);
  if (!FConnected) {
    const bool timedOut = FTimedOut;
    FTimedOut = false;
    FCanceled = false;
    CloseSocket(false);
    if (OnConnectionFailed) OnConnectionFailed(*this);
    if (timedOut) throw ESockError("Connection Timed out");
    if (end == TWaitEnd::Canceled) throw EAbortError("Connection Canceled");
    throw ESockError("Connection Failed");
  }
}

void TPowersock::Disconnect() {
  StatusMessage(slInternal, "Disconnecting");
  CloseFd(FListenSocket);
  CloseSocket(true);
}

// --- listening ----------------------------------------------------------------------------------

void TPowersock::Listen(uint32_t localAddress) {
  StatusMessage(slInternal, "Listening");
  CloseFd(FListenSocket);
  FListenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (FListenSocket < 0) throw ESockError("Initializaton of windows sockets failed");
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = 0;
  sa.sin_addr.s_addr = localAddress;
  if (::bind(FListenSocket, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
      ::listen(FListenSocket, 1) != 0) {
    FLastError = WinsockError(errno);
    CloseFd(FListenSocket);
    throw ESockError(SocketErrorText(FLastError));
  }
}

void TPowersock::Accept(uint32_t peerAddress) {
  StatusMessage(slTraffic, "Accepting");
  if (FListenSocket < 0) throw ESockError(SocketErrorText(WSAENOTCONN));
  int accepted = -1;
  WaitOrAbort(
      [&] {
        sockaddr_in sa{};
        socklen_t len = sizeof sa;
        int fd = ::accept4(FListenSocket, reinterpret_cast<sockaddr*>(&sa), &len,
                           SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
          int err = errno;
          // A companion whose peer has closed (the FTP control connection) means the server
          // that would connect here has given up: nobody will come.
          if ((err == EAGAIN || err == EWOULDBLOCK) && Companion && Companion->FPeerClosed &&
              !Companion->FConnected)
            throw ESockError("Connection closed by the server");
          if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR || err == ECONNABORTED)
            return false;
          FLastError = WinsockError(err);
          throw ESockError(SocketErrorText(FLastError));
        }
        if (peerAddress != 0 && sa.sin_addr.s_addr != peerAddress) {
          ::close(fd); // not the server we talk to
          return false;
        }
        accepted = fd;
        return true;
      },
      "Socket accept aborted");
  CloseFd(FListenSocket);
  CloseFd(FSocket);
  FSocket = accepted;
  FConnected = true;
  FConnecting = false;
  FPeerClosed = false;
  FRecv.clear();
  FRecvPos = FScanPos = 0;
}

uint32_t TPowersock::LocalAddress() const {
  return LocalName(FSocket, FListenSocket).sin_addr.s_addr;
}

int TPowersock::LocalPort() const {
  return ntohs(LocalName(FSocket, FListenSocket).sin_port);
}

uint32_t TPowersock::PeerAddress() const {
  if (FSocket < 0) return 0;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(FSocket, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return sa.sin_addr.s_addr;
}

std::string TPowersock::GetLocalAddress() const {
  in_addr a{};
  a.s_addr = LocalAddress();
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &a, text, sizeof text);
  std::string s(text);
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

std::string TPowersock::GetPortString() const {
  int port = LocalPort();
  return Format(",%d,%d", port >> 8, port & 0xFF);
}

} // namespace dravik
