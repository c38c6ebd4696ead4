#include "nmftp.h"

#include "platform/scopeexit.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>

namespace dravik {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "123-": the first line of a multi-line reply.
bool OpensMultiLine(const std::string& line) {
  return line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
         line[3] == '-';
}

} // namespace

std::string FormatPortCommand(const std::string& address, int port) {
  if (address.find(':') != std::string::npos) return Format("EPRT |2|%s|%d|", address, port);
  std::string a = address;
  for (char& c : a)
    if (c == '.') c = ',';
  return Format("PORT %s,%d,%d", a, (port >> 8) & 0xFF, port & 0xFF);
}

int64_t ReplyByteCount(std::string_view reply) noexcept {
  const std::string upper = UpperCase(reply);
  size_t p = upper.find("BYTE");
  if (p == std::string::npos) return 0;
  size_t end = p;
  while (end > 0 && !IsDigit(upper[end - 1]))
    --end;
  if (end == 0) return 0;
  size_t begin = end;
  while (begin > 0 && IsDigit(upper[begin - 1]))
    --begin;
  if (end - begin > 18) return 0;
  int64_t n = 0;
  for (size_t i = begin; i < end; ++i)
    n = n * 10 + (upper[i] - '0');
  return n;
}

TNMFTP::TNMFTP() {
  Port = 21;
}

TNMFTP::~TNMFTP() {
  // No QUIT here: waiting would pump the user interface while the program is going away.
  FData.reset();
}

// --- replies ------------------------------------------------------------------------------------

void TNMFTP::DataArrived() {
  // A server that gives up ("421 closing control connection", "426 transfer aborted") ends
  // whatever waits, with its reply as the error; so does any negative reply while a transfer
  // waits for its data ("425 Can't open data connection").
  std::string_view b = Buffered();
  const bool negative = FInTransfer && !b.empty() && (b[0] == '4' || b[0] == '5') &&
                        b.find('\n') != std::string_view::npos;
  if (!(b.starts_with("421") || b.starts_with("426") || negative)) return;
  if (FServerAbortCode) return;
  FServerAbortCode = ReplyCodeOf(b);
  std::string line(b.substr(0, std::min<size_t>(b.find('\n'), 1024)));
  SetPendingError(std::make_exception_ptr(FTPException(WithoutLineEnd(line))));
}

void TNMFTP::CheckReply(const std::string& line) {
  if (line.empty() && !Connected()) throw ESockError("Connection closed by the server");
}

// Reads the lines that continue a reply: those beginning with a space or with "-" as fourth
// character, and all lines up to "nnn " when the reply opened with "nnn-". The first line
// announcing a byte count sets *byteCount while it is 0.
void TNMFTP::ReadContinuation(const std::string& first, int64_t* byteCount) {
  const bool multi = OpensMultiLine(first);
  const std::string closing = multi ? first.substr(0, 3) + " " : std::string();
  std::string line = first;
  while ((!line.empty() && line[0] == ' ') || (line.size() >= 4 && line[3] == '-') ||
         (multi && !line.starts_with(closing))) {
    line = WithoutLineEnd(ReadLn());
    CheckReply(line);
    StatusMessage(slProtocol, line);
    if (byteCount && *byteCount == 0) *byteCount = ReplyByteCount(line);
  }
}

// Sends a command (after dropping any unread input) and reads its whole reply; returns the
// first line. With `byteCount`, the first line that announces a byte count sets it.
std::string TNMFTP::Command(const std::string& command, int64_t* byteCount) {
  // A line break from a decoded URL would end the command early and start another.
  if (const size_t bad = command.find_first_of(std::string_view("\r\n\0", 3));
      bad != std::string::npos)
    throw FTPException("Invalid character in the command " + command.substr(0, bad));
  Drain();
  DropBuffered(Buffered().size());
  if (!Connected()) throw ESockError("Connection closed by the server");
  if (FServerAbortCode != 0 && FServerAbortCode != 421) {
    // Left over from a transfer that was broken off; the control connection is still good.
    FServerAbortCode = 0;
    SetPendingError(nullptr);
  }
  std::string line = Transaction(command);
  CheckReply(line);
  FLastReply = line;
  if (byteCount) *byteCount = ReplyByteCount(line);
  ReadContinuation(line, byteCount);
  return line;
}

// Reads a reply that no command asked for (greeting, end of a transfer).
std::string TNMFTP::ReadReply() {
  std::string line = WithoutLineEnd(ReadLn());
  CheckReply(line);
  StatusMessage(slProtocol, line);
  SetReplyNumber(ReplyCodeOf(line));
  FLastReply = line;
  ReadContinuation(line, nullptr);
  return line;
}

void TNMFTP::FailUnlessHandled(TFTPCmdType kind, const std::string& reply) {
  bool handled = false;
  if (OnFailure) OnFailure(*this, handled, kind);
  if (!handled) throw FTPException(reply);
}

// --- connection
// -----------------------------------------------------------------------------------

void TNMFTP::Connect() {
  ClearCancel();
  if (Connected()) return;
  FServerAbortCode = 0;
  try {
    ConnectSocket();
    std::string greeting = ReadReply();
    if (ReplyNumber() >= 400 && ReplyNumber() <= 599) throw FTPException(greeting);
    if ((UserID.empty() || Password.empty()) && OnAuthenticationNeeded)
      OnAuthenticationNeeded(*this);
    StatusMessage(slProtocol, "USER " + UserID);
    std::string reply = Command(Proxy.empty() ? "USER " + UserID : "USER " + UserID + "@" + Host);
    if (ReplyNumber() >= 401 && ReplyNumber() <= 599) {
      if (OnConnectionFailed) OnConnectionFailed(*this);
      throw FTPException(reply);
    }
    if (ReplyNumber() == 331) {
      StatusMessage(slProtocol, "PASS ");
      reply = Command("PASS " + Password);
      if (ReplyNumber() >= 401 && ReplyNumber() <= 599) {
        if (OnConnectionFailed) OnConnectionFailed(*this);
        throw FTPException(reply);
      }
    }
  } catch (const EAbortError&) {
    // Stopped by the user: close at once, no QUIT.
    TPowersock::Disconnect();
    StatusMessage(slProtocol, "Disconnected");
    throw;
  } catch (...) {
    try {
      Disconnect();
    } catch (const Exception&) {
    }
    StatusMessage(slProtocol, "Disconnected");
    throw;
  }
  if (OnConnect) OnConnect(*this);
}

void TNMFTP::Disconnect() {
  ClearCancel();
  FData.reset();
  if (!Connected()) {
    TPowersock::Disconnect();
    return;
  }
  StatusMessage(slProtocol, "QUIT");
  Vendor = NMOS_AUTO;
  std::string reply;
  int code = 0;
  try {
    Drain();
    DropBuffered(Buffered().size());
    SetPendingError(nullptr);
    Writeln("QUIT");
    reply = WithoutLineEnd(ReadLnUntil(std::chrono::steady_clock::now() + std::chrono::seconds(1)));
    if (!reply.empty()) StatusMessage(slProtocol, reply);
    code = ReplyCodeOf(reply);
  } catch (const Exception&) {
    // The connection goes anyway.
  }
  TPowersock::Disconnect();
  FServerAbortCode = 0;
  if (code >= 301 && code <= 599) throw FTPException(reply);
}

void TNMFTP::Abort() {
  if (FData) FData->Cancel();
  Cancel();
}

void TNMFTP::CheckConnection() {
  if (Connected()) return;
  bool handled = false;
  if (OnConnectionRequired) OnConnectionRequired(*this, handled);
  if (!Connected()) throw ESockError("Not Connected");
}

// --- simple commands ----------------------------------------------------------------------------

void TNMFTP::SimpleCommand(TFTPCmdType kind, const std::string& command) {
  ClearCancel();
  CheckConnection();
  StatusMessage(slProtocol, command);
  std::string reply = Command(command);
  if (ReplyNumber() >= 400 && ReplyNumber() <= 599) {
    if (ReplyNumber() >= 500 && ReplyNumber() <= 502 && OnUnSupportedFunction)
      OnUnSupportedFunction(*this, kind);
    FailUnlessHandled(kind, reply);
    return;
  }
  if (OnSuccess) OnSuccess(*this, kind);
}

void TNMFTP::ChangeDir(const std::string& path) {
  SimpleCommand(cmdChangeDir, "CWD " + path);
}

void TNMFTP::MakeDirectory(const std::string& path) {
  SimpleCommand(cmdMakeDir, "MKD " + path);
}

void TNMFTP::Delete(const std::string& name) {
  SimpleCommand(cmdDelete, "DELE " + name);
}

void TNMFTP::RemoveDir(const std::string& path) {
  SimpleCommand(cmdRemoveDir, "RMD " + path);
}

std::string TNMFTP::CurrentDir() {
  SimpleCommand(cmdCurrentDir, "PWD");
  return FLastReply;
}

void TNMFTP::Mode(int transferType) {
  switch (transferType) {
  case MODE_ASCII:
    SimpleCommand(cmdDoCommand, "TYPE A");
    break;
  case MODE_IMAGE:
    SimpleCommand(cmdDoCommand, "TYPE I");
    break;
  case MODE_BYTE:
    SimpleCommand(cmdDoCommand, "TYPE L 8");
    break;
  default:
    break;
  }
}

// --- transfers ----------------------------------------------------------------------------------

void TNMFTP::OpenDataConnection() {
  FData = std::make_unique<TPowersock>();
  FData->TimeOut = TimeOut;
  FData->ReceiveTimeOut = ReceiveTimeOut;
  FData->Companion = this;
  FDataPassive = false;
  if (Passive) {
    // The data connection goes to the server of the control connection, whatever address a
    // PASV reply names (behind NAT it is often one that cannot be reached).
    int port = 0;
    StatusMessage(slProtocol, "EPSV");
    std::string reply = Command("EPSV");
    if (ReplyNumber() == 229) port = EpsvPort(reply);
    if (port == 0) {
      StatusMessage(slProtocol, "PASV");
      reply = Command("PASV");
      if (ReplyNumber() == 227) port = PasvPort(reply);
    }
    if (port > 0) {
      FData->Host = PeerAddress();
      FData->Port = port;
      FData->Connect();
      FDataPassive = true;
      return;
    }
  }
  // Active: the server connects to us, where it reaches us: the control connection's own
  // address.
  FData->Listen(LocalAddress());
  std::string command = FormatPortCommand(LocalAddress(), FData->LocalPort());
  StatusMessage(slProtocol, command);
  std::string reply = Command(command);
  if (ReplyNumber() >= 301 && ReplyNumber() <= 599) FailUnlessHandled(cmdDoCommand, reply);
}

// The server's side of the data connection once the transfer command has been accepted:
// connected already in passive mode, accepted now in active mode.
void TNMFTP::AcceptData() {
  if (!FDataPassive) FData->Accept(PeerAddress());
}

void TNMFTP::LearnSystem() {
  if (Vendor != NMOS_AUTO) return;
  try {
    std::string reply = UpperCase(Command("SYST"));
    static const std::pair<const char*, int> kSystems[] = {
        {"UNIX", NMOS_UNIX},   {"NETWARE", NMOS_NETWARE}, {"DOS", NMOS_DOS},
        {"VMS", NMOS_VMS},     {"MVS", NMOS_MVS},         {"VM", NMOS_VM},
        {"MACOS", NMOS_MACOS}, {"OS/400", NMOS_OS400}};
    Vendor = NMOS_OTHER;
    for (const auto& [name, code] : kSystems)
      if (reply.find(name) != std::string::npos) {
        Vendor = code;
        break;
      }
  } catch (const FTPException&) {
    Vendor = NMOS_OTHER;
  }
}

// Reports reply text that has already arrived on the control connection, without waiting.
void TNMFTP::ReportPendingReplies() {
  try {
    Drain();
  } catch (const Exception&) {
    return;
  }
  std::string_view rest = Buffered();
  while (!rest.empty()) {
    size_t lf = rest.find('\n');
    StatusMessage(slProtocol, WithoutLineEnd(std::string(rest.substr(0, lf))));
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
}

void TNMFTP::List() {
  CheckConnection();
  TScopeExit dropData([this] { FData.reset(); });
  OpenDataConnection();
  if (ParseList) LearnSystem();
  StatusMessage(slProtocol, "LIST");
  std::string reply = Command("LIST");
  if (ReplyNumber() >= 301 && ReplyNumber() <= 599) {
    if (ReplyNumber() >= 500 && ReplyNumber() <= 502 && OnUnSupportedFunction)
      OnUnSupportedFunction(*this, cmdList);
    FailUnlessHandled(cmdList, reply);
    return;
  }
  BytesTotal = ReplyByteCount(reply);
  if (OnTransactionStart) OnTransactionStart(*this);
  FInTransfer = true; // a negative reply now ends the wait for the data
  TScopeExit endTransfer([this] { FInTransfer = false; });
  AcceptData();
  int64_t received = 0;
  while (true) {
    std::string line = FData->ReadLn();
    if (line.empty()) break; // closed and drained
    received += int64_t(line.size());
    if (OnListItem) OnListItem(*this, WithoutLineEnd(line));
  }
  if (OnTransactionStop) OnTransactionStop(*this);
  FData->Disconnect();
  StatusMessage(slProtocol, Format("Received %lld Bytes", static_cast<long long>(received)));
  std::string final = ReadReply();
  if (ReplyNumber() >= 400 && ReplyNumber() <= 599) throw FTPException(final);
  FData.reset();
  if (OnSuccess) OnSuccess(*this, cmdList);
}

void TNMFTP::Download(const std::string& remoteName, const std::string& localName) {
  CheckConnection();
  TScopeExit dropData([this] { FData.reset(); });
  FResumed = false;
  FAnnounced = 0;
  try {
    OpenDataConnection();
    if (OnPacketRecvd) FData->OnPacketRecvd = OnPacketRecvd;
    if (OnPacketSent) FData->OnPacketSent = OnPacketSent;
    if (RestartAt > 0) {
      StatusMessage(slProtocol, Format("REST %lld", static_cast<long long>(RestartAt)));
      Command(Format("REST %lld", static_cast<long long>(RestartAt)));
      FResumed = ReplyNumber() == 350; // otherwise the file comes whole
    }
    const int64_t offset = FResumed ? RestartAt : 0;
    const std::string command = "RETR " + remoteName;
    StatusMessage(slProtocol, command);
    BytesTotal = 0;
    std::string reply = Command(command, &BytesTotal);
    if (ReplyNumber() >= 301 && ReplyNumber() <= 599) {
      FailUnlessHandled(cmdDownload, reply);
      return;
    }
    // Servers announce the whole file's size; one below the offset can only be what is left.
    FAnnounced = BytesTotal > offset ? BytesTotal : BytesTotal > 0 ? offset + BytesTotal : 0;
    FData->BytesTotal = FAnnounced > 0 ? FAnnounced - offset : 0;

    {
      FInTransfer = true;
      TScopeExit endTransfer([this] { FInTransfer = false; });
      AcceptData();
      if (OnTransactionStart) OnTransactionStart(*this);
      FData->CaptureFile(localName.empty() ? remoteName : localName, offset);
    }
    if (OnTransactionStop) OnTransactionStop(*this);
    FData->Disconnect();
    BytesTotal = FData->BytesReceived;
    StatusMessage(slProtocol, Format("Received %lld Bytes", static_cast<long long>(BytesTotal)));
    std::string final = ReadReply();
    if (ReplyNumber() >= 400 && ReplyNumber() <= 599) throw FTPException(final);
    if (FAnnounced > 0 && offset + BytesTotal < FAnnounced)
      throw FTPException(Format("The connection was closed after %lld of %lld bytes.",
                                static_cast<long long>(offset + BytesTotal),
                                static_cast<long long>(FAnnounced)));
  } catch (const EAbortError&) {
    ReportPendingReplies();
    throw;
  }
  FData.reset();
  if (OnSuccess) OnSuccess(*this, cmdDownload);
}

int EpsvPort(std::string_view reply) noexcept {
  // "229 Entering Extended Passive Mode (|||6446|)"
  const size_t open = reply.find('(');
  if (open == std::string_view::npos || open + 4 > reply.size()) return 0;
  const char d = reply[open + 1];
  if (reply.substr(open + 1, 3) != std::string(3, d)) return 0;
  int port = 0;
  size_t i = open + 4;
  for (; i < reply.size() && IsDigit(reply[i]) && port <= 65535; ++i)
    port = port * 10 + (reply[i] - '0');
  return i < reply.size() && reply[i] == d && port >= 1 && port <= 65535 ? port : 0;
}

int PasvPort(std::string_view reply) noexcept {
  // "227 Entering Passive Mode (127,0,0,1,19,136)": the last two numbers.
  int numbers[6];
  size_t i = reply.find_first_of("0123456789", 4);
  for (int n = 0; n < 6; ++n) {
    if (i == std::string_view::npos || i >= reply.size() || !IsDigit(reply[i])) return 0;
    int v = 0;
    for (; i < reply.size() && IsDigit(reply[i]) && v <= 255; ++i)
      v = v * 10 + (reply[i] - '0');
    if (v > 255) return 0;
    numbers[n] = v;
    if (n < 5) {
      if (i >= reply.size() || reply[i] != ',') return 0;
      ++i;
    }
  }
  const int port = numbers[4] * 256 + numbers[5];
  return port >= 1 ? port : 0;
}

} // namespace dravik
