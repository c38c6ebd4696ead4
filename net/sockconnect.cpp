// The socket layer's connection set-up: resolving and connecting (each address in turn), TLS,
// listening and accepting, and the connection's addresses.
#include "powersock.h"
#include "tlssession.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dravik {

namespace {

// The local name of the connection, or else of the listening socket; empty when neither is
// open.
TSockAddress LocalName(int socket, int listenSocket) {
  const int fd = socket >= 0 ? socket : listenSocket;
  TSockAddress a;
  a.Length = sizeof a.Storage;
  if (fd < 0 || ::getsockname(fd, a.Get(), &a.Length) != 0) return {};
  return a;
}

} // namespace

void TPowersock::HandshakeStep() {
  try {
    const TTlsSession::TWant want = FTls->Handshake();
    FHandshaking = want != TTlsSession::TWant::Nothing;
    FTlsWant = want == TTlsSession::TWant::Write ? POLLOUT : POLLIN;
  } catch (...) {
    FPendingError = std::current_exception();
    CloseSocket(true);
  }
}

void TPowersock::StartTLS(const std::string& serverName) {
  StatusMessage(slInternal, "Secure Handshake");
  if (!FConnected) throw ESockError(SocketErrorText(WSAENOTCONN));
  FTls = std::make_unique<TTlsSession>(FSocket, serverName);
  FHandshaking = true;
  HandshakeStep();
  WaitOrAbort([this] { return !FHandshaking || FSocket < 0; }, "Socket handshake aborted", true);
  if (FSocket < 0)
    throw ESockError("Secure connection to " + serverName + " failed: the connection was closed");
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

std::vector<std::string> TPowersock::ResolveHost(const std::string& firstHost) {
  StatusMessage(slInternal, "Resolve Host");
  std::string host = firstHost;
  for (int attempt = 0;; ++attempt) {
    if (IsNumericAddress(host)) return {host};
    std::vector<std::string> addresses;
    if (!host.empty()) {
      THostLookup lookup(host);
      FTimer.SetInterval(TimeOut);
      FTimer.SetEnabled(TimeOut > 0);
      TWaitEnd end;
      try {
        end = Wait([&] { return lookup.Done(); });
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
      addresses = lookup.Addresses();
    }
    if (!addresses.empty()) {
      if (OnHostResolved) OnHostResolved(*this);
      return addresses;
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
  FRecvEnd = 0;
  FRecvPos = FScanPos = 0;
  FPeerClosed = false;
  CloseFd(FSocket);

  const int port = Proxy.empty() ? Port : ProxyPort;
  if (port < 1 || port > 65535) throw ESockError(Format("Invalid port %d", port));
  const std::vector<std::string> addresses = ResolveHost(Proxy.empty() ? Host : Proxy);

  // Each address in turn until one answers. With a time limit, an address that does not
  // answer gets its share of the time that is left, so the next ones get theirs.
  FTimer.SetInterval(TimeOut);
  FTimer.SetEnabled(TimeOut > 0);
  const auto start = std::chrono::steady_clock::now();
  TWaitEnd end = TWaitEnd::Done;
  int immediateError = 0;
  for (size_t i = 0; i < addresses.size() && !FConnected; ++i) {
    TSockAddress sa;
    if (!MakeSockAddress(addresses[i], port, sa)) continue;
    FSocket = ::socket(sa.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (FSocket < 0) {
      immediateError = WinsockError(errno);
      continue;
    }
    if (::connect(FSocket, sa.Get(), sa.Length) == 0) {
      FConnected = true;
      break;
    }
    if (errno != EINPROGRESS) {
      immediateError = FLastError = WinsockError(errno);
      CloseFd(FSocket);
      continue;
    }
    FConnecting = true;
    immediateError = 0;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    if (TimeOut > 0 && i + 1 < addresses.size()) {
      const auto total = std::chrono::milliseconds(TimeOut);
      const auto left = total - (std::chrono::steady_clock::now() - start);
      deadline =
          std::chrono::steady_clock::now() +
          std::chrono::duration_cast<std::chrono::milliseconds>(left) / int(addresses.size() - i);
    }
    try {
      end = Wait([this] { return FConnected || !FConnecting; }, deadline);
    } catch (...) {
      FTimer.SetEnabled(false);
      CloseSocket(false);
      throw;
    }
    if (FConnected || end == TWaitEnd::Canceled || FTimedOut) break;
    CloseSocket(false);
  }
  FTimer.SetEnabled(false);
  if (!FConnected) {
    const bool timedOut = FTimedOut;
    FTimedOut = false;
    FCanceled = false;
    CloseSocket(false);
    if (OnConnectionFailed) OnConnectionFailed(*this);
    if (timedOut) throw ESockError("Connection timed out");
    if (end == TWaitEnd::Canceled) throw EAbortError("Connection Canceled");
    if (immediateError) throw ESockError(SocketErrorText(immediateError));
    throw ESockError("Connection Failed");
  }
  FLastReceived = std::chrono::steady_clock::now();
}

void TPowersock::Disconnect() {
  StatusMessage(slInternal, "Disconnecting");
  CloseFd(FListenSocket);
  CloseSocket(true);
}

// --- listening ----------------------------------------------------------------------------------

void TPowersock::Listen(const std::string& localAddress) {
  StatusMessage(slInternal, "Listening");
  CloseFd(FListenSocket);
  TSockAddress sa;
  if (!MakeSockAddress(localAddress.empty() ? "0.0.0.0" : localAddress, 0, sa))
    throw ESockError(SocketErrorText(10049));
  FListenSocket = ::socket(sa.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (FListenSocket < 0) throw ESockError("Initializaton of windows sockets failed");
  if (::bind(FListenSocket, sa.Get(), sa.Length) != 0 || ::listen(FListenSocket, 1) != 0) {
    FLastError = WinsockError(errno);
    CloseFd(FListenSocket);
    throw ESockError(SocketErrorText(FLastError));
  }
}

void TPowersock::Accept(const std::string& peerAddress) {
  StatusMessage(slTraffic, "Accepting");
  if (FListenSocket < 0) throw ESockError(SocketErrorText(WSAENOTCONN));
  int accepted = -1;
  WaitOrAbort(
      [&] {
        TSockAddress sa;
        sa.Length = sizeof sa.Storage;
        int fd = ::accept4(FListenSocket, sa.Get(), &sa.Length, SOCK_NONBLOCK | SOCK_CLOEXEC);
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
        if (!peerAddress.empty() && sa.Text() != peerAddress) {
          ::close(fd); // not the server we talk to
          return false;
        }
        accepted = fd;
        return true;
      },
      "Socket accept aborted", true);
  CloseFd(FListenSocket);
  CloseFd(FSocket);
  FSocket = accepted;
  FConnected = true;
  FConnecting = false;
  FPeerClosed = false;
  FRecvEnd = 0;
  FRecvPos = FScanPos = 0;
}

std::string TPowersock::LocalAddress() const {
  return LocalName(FSocket, FListenSocket).Text();
}

int TPowersock::LocalPort() const {
  return LocalName(FSocket, FListenSocket).Port();
}

std::string TPowersock::PeerAddress() const {
  TSockAddress sa;
  sa.Length = sizeof sa.Storage;
  if (FSocket < 0 || ::getpeername(FSocket, sa.Get(), &sa.Length) != 0) return std::string();
  return sa.Text();
}

std::string TPowersock::GetLocalAddress() const {
  std::string s = LocalAddress();
  for (char& c : s)
    if (c == '.') c = ',';
  return s;
}

std::string TPowersock::GetPortString() const {
  int port = LocalPort();
  return Format(",%d,%d", port >> 8, port & 0xFF);
}

} // namespace dravik
