#include "powersock.h"

#include "platform/filestream.h"
#include "platform/pump.h"
#include "platform/scopeexit.h"
#include "tlssession.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dravik {

namespace {

// Unread bytes beyond which reading from the socket pauses: room for the longest line and a
// little more, so a line that is too long is seen as such.
constexpr size_t kRecvLimit = size_t(TPowersock::MaxLineLength) + 2 * TPowersock::PacketSize;

} // namespace

void TPowersock::CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
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

// ---------------------------------------------------------------------------------------------
// TPowersock

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
  if (FHandshaking) return FTlsWant;
  short events = 0;
  if (!FCanceled && FRecvEnd - FRecvPos < kRecvLimit) events |= POLLIN;
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
    if (FHandshaking) {
      HandshakeStep();
      return;
    }
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
  // Bytes that TLS has already decrypted announce themselves by no socket event.
  const bool pending = TlsPending() || (Companion && Companion->TlsPending());
  int ready = ::poll(n ? fds : nullptr, nfds_t(n), pending ? 0 : 2);
  if (ready > 0)
    for (int i = 0; i < n; ++i)
      if (fds[i].revents && owners[i]) owners[i]->HandleEvents(fds[i].revents);
  if (TlsPending()) HandleEvents(POLLIN);
  if (Companion && Companion->TlsPending()) Companion->HandleEvents(POLLIN);
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

bool TPowersock::TlsPending() const {
  return FTls && FConnected && !FHandshaking && !FCanceled && FRecvEnd - FRecvPos < kRecvLimit &&
         FTls->Pending() > 0;
}

std::string NoDataText(int milliseconds) {
  if (milliseconds >= 1000 && milliseconds % 1000 == 0)
    return Format("No data received for %d seconds", milliseconds / 1000);
  return Format("No data received for %d ms", milliseconds);
}

TPowersock::TWaitEnd TPowersock::Wait(const std::function<bool()>& done,
                                      std::optional<std::chrono::steady_clock::time_point> deadline,
                                      bool receiving) {
  const auto start = std::chrono::steady_clock::now();
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
    const auto now = std::chrono::steady_clock::now();
    if (deadline && now >= *deadline) return TWaitEnd::Deadline;
    if (receiving && ReceiveTimeOut > 0 &&
        now - std::max(start, FLastReceived) >= std::chrono::milliseconds(ReceiveTimeOut))
      throw ESockError(NoDataText(ReceiveTimeOut));
    Turn();
  }
}

void TPowersock::WaitOrAbort(const std::function<bool()>& done, const char* abortText,
                             bool receiving) {
  TWaitEnd end = Wait(done, std::nullopt, receiving);
  if (end == TWaitEnd::Canceled || end == TWaitEnd::TimedOut) throw EAbortError(abortText);
}

// --- reading and sending -------------------------------------------------------------------------

void TPowersock::ReadStep() {
  if (FInStep) return;
  FInStep = true;
  TScopeExit stepDone([this] { FInStep = false; });

  if (FRecvPos > 0 && (FRecvPos == FRecvEnd || FRecvPos > FRecvEnd / 2)) {
    std::memmove(FRecv.data(), FRecv.data() + FRecvPos, FRecvEnd - FRecvPos);
    FRecvEnd -= FRecvPos;
    FScanPos -= FRecvPos;
    FRecvPos = 0;
  }
  bool got = false;
  while (FSocket >= 0 && !FCanceled && FRecvEnd - FRecvPos < kRecvLimit) {
    // FRecv only grows (to the limit and a packet): its bytes past FRecvEnd are room.
    if (FRecv.size() < FRecvEnd + PacketSize) FRecv.resize(FRecvEnd + PacketSize);
    ssize_t n = Receive(FRecv.data() + FRecvEnd, PacketSize);
    int err = errno;
    if (n > 0) {
      FRecvEnd += size_t(n);
      got = true;
      continue;
    }
    if (n < -1) { // a TLS failure, already recorded
      CloseSocket(true);
      break;
    }
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
  if (got) {
    FLastReceived = std::chrono::steady_clock::now();
    DataArrived();
  }
}

void TPowersock::SendStep() {
  if (FInStep || FSocket < 0) return;
  FInStep = true;
  TScopeExit stepDone([this] { FInStep = false; });

  StatusMessage(slTraffic, "Sending Buffer");
  while (FSendPos < FSend.size()) {
    size_t chunk = std::min<size_t>(PacketSize, FSend.size() - FSendPos);
    ssize_t n = Transmit(FSend.data() + FSendPos, chunk);
    int err = errno;
    if (n > 0) {
      FSendPos += size_t(n);
      continue;
    }
    if (n < -1) {
      CloseSocket(true);
      return;
    }
    if (n < 0 && err == EINTR) continue;
    if (n < 0 && (err == EAGAIN || err == EWOULDBLOCK)) return;
    SocketFailed(n < 0 ? err : EPIPE);
    return;
  }
  FSend.clear();
  FSendPos = 0;
}

// One platform read or send: > 0 bytes, 0 when the peer has closed, -1 with errno set, or -2
// after a TLS failure (recorded as the pending error).
ssize_t TPowersock::Receive(char* buffer, size_t count) {
  return FTls ? TlsTransfer(false, buffer, count) : ::recv(FSocket, buffer, count, 0);
}

ssize_t TPowersock::Transmit(const char* buffer, size_t count) {
  return FTls ? TlsTransfer(true, const_cast<char*>(buffer), count)
              : ::send(FSocket, buffer, count, MSG_NOSIGNAL);
}

ssize_t TPowersock::TlsTransfer(bool write, char* buffer, size_t count) {
  try {
    const long n = FTls->Transfer(write, buffer, count);
    if (n < 0) errno = EAGAIN;
    return n;
  } catch (...) {
    FPendingError = std::current_exception();
    return -2;
  }
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
  FHandshaking = false;
  if (FTls) FTls->Shutdown();
  FTls.reset();
  CloseFd(FSocket);
  FSend.clear();
  FSendPos = 0;
  if (raiseEvent && wasConnected && OnDisconnect) OnDisconnect(*this);
}

std::string_view TPowersock::Buffered() const noexcept {
  return std::string_view(FRecv.data() + FRecvPos, FRecvEnd - FRecvPos);
}

void TPowersock::DropBuffered(size_t count) {
  FRecvPos += std::min(count, FRecvEnd - FRecvPos);
  if (FScanPos < FRecvPos) FScanPos = FRecvPos;
  if (FRecvPos == FRecvEnd) {
    FRecvEnd = 0;
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
  const void* found = std::memchr(FRecv.data() + FScanPos, '\n', FRecvEnd - FScanPos);
  const size_t lf =
      found ? size_t(static_cast<const char*>(found) - FRecv.data()) : std::string::npos;
  if (lf == std::string::npos) FScanPos = FRecvEnd;
  // Without a line end yet, everything buffered belongs to the line.
  const size_t end = lf == std::string::npos ? FRecvEnd : lf;
  if (end - FRecvPos > size_t(MaxLineLength) + 1) // the line and its CR
    throw ESockError(
        Format("Received a line longer than %lld bytes", static_cast<long long>(MaxLineLength)));
  if (lf == std::string::npos) return std::nullopt;
  return lf;
}

std::string TPowersock::TakeLine(size_t lf) {
  std::string line(FRecv.data() + FRecvPos, lf + 1 - FRecvPos);
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
      deadline, true);
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
                "Socket read aborted", true);
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

void TPowersock::CaptureFile(const std::string& fileName, int64_t startAt) {
  StatusMessage(slInternal, "CaptureFile");
  TFileStream file(fileName, startAt > 0 ? fmOpenReadWrite : fmCreate);
  if (startAt > 0) file.Seek(startAt);
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
    WaitOrAbort([this] { return !Buffered().empty() || FSocket < 0; }, "Socket capture aborted",
                true);
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
    WaitOrAbort([this] { return !Buffered().empty() || FSocket < 0; }, "Socket capture aborted",
                true);
  }
}

} // namespace dravik
