// The FTP client's reply reader and the byte-count rule, fed through real connections. The
// input is the server's side, in pieces separated by NUL bytes: the greeting, then one piece
// per command the client sends; a LIST or RETR takes two more, the data (sent on a data
// connection to the PORT address) and the final reply. When the pieces run out the server
// closes. A client waiting for more of a reply than the server sent would wait for ever, as
// with a real server that falls silent (the user's Cancel ends that): the message pump notices
// and has the server close.
#include "fuzzsupport.h"
#include "loopback.h"
#include "net/nmftp.h"
#include "platform/pump.h"

#include <cstdio>
#include <mutex>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

std::mutex gMutex;
std::vector<std::string> gPieces;

TLoopbackServer& Server();

void Serve(int fd) {
  std::vector<std::string> pieces;
  {
    std::lock_guard<std::mutex> lock(gMutex);
    pieces = gPieces;
  }
  size_t next = 0;
  auto send = [&]() {
    if (next < pieces.size()) SendAll(fd, pieces[next]);
    return next++ < pieces.size();
  };
  if (!send()) return;
  int dataPort = 0;
  for (;;) {
    std::string command;
    Server().SetIdle(true);
    const bool got = ReadUntil(fd, "\r\n", command, 5000);
    Server().SetIdle(false);
    if (!got || next >= pieces.size()) return;
    unsigned a, b, c, d, hi, lo;
    if (std::sscanf(command.c_str(), "PORT %u,%u,%u,%u,%u,%u", &a, &b, &c, &d, &hi, &lo) == 6)
      dataPort = int(hi * 256 + lo);
    send();
    if (command.starts_with("LIST") || command.starts_with("RETR")) {
      if (next < pieces.size() && dataPort) {
        if (int data = ConnectLocal(dataPort); data >= 0) {
          SendAll(data, pieces[next]);
          ::close(data);
        }
      }
      ++next;
      if (!send()) return;
    }
  }
}

TLoopbackServer& Server() {
  static TLoopbackServer* server = new TLoopbackServer(Serve);
  return *server;
}

// Every wait of the client calls this.
void Pump() {
  if (Server().IdleLongerThan(std::chrono::milliseconds(5))) Server().CloseCurrent();
}

void CheckByteCount(std::string_view reply) {
  const int64_t n = ReplyByteCount(reply);
  Check(n >= 0, "a negative byte count");
  if (n == 0) return;
  const size_t byte = UpperCase(reply).find("BYTE");
  Check(byte != std::string::npos, "a byte count without \"BYTE\"");
  Check(reply.substr(0, byte).find(std::to_string(n)) != std::string_view::npos,
        "a byte count that is not in the reply: " + std::to_string(n));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix& prefix = TFuzzPrefix::Get();
  SetMessagePump(Pump);
  TFuzzInput input(data, size);
  std::vector<std::string> pieces;
  while (!input.Empty())
    pieces.emplace_back(input.Until('\0'));
  for (const std::string& p : pieces)
    CheckByteCount(p);
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gPieces = pieces;
  }

  TNMFTP ftp;
  ftp.Host = "127.0.0.1";
  ftp.Port = Server().Port();
  ftp.UserID = "fuzz";
  ftp.Password = "secret";
  ftp.ParseList = true;
  bool handleFailures = size % 2 == 1; // go on after negative replies, or not
  ftp.OnFailure = [&](TPowersock&, bool& handled, TFTPCmdType) { handled = handleFailures; };
  ftp.OnListItem = [](TPowersock&, const std::string& line) {
    Check(line.find('\n') == std::string::npos, "a listing line with a line feed");
  };
  ftp.OnStatus = [](TPowersock&, const std::string& status) { CheckByteCount(status); };
  bool downloaded = false;
  ftp.OnSuccess = [&](TPowersock&, TFTPCmdType cmd) {
    downloaded = downloaded || cmd == cmdDownload;
  };

  const std::string local = prefix.HostC("download.gob");
  std::remove(local.c_str());
  const std::vector<std::function<void()>> steps = {
      [&] { ftp.Connect(); },
      [&] { ftp.ChangeDir("/pub/"); },
      [&] { ftp.CurrentDir(); },
      [&] { ftp.Mode(MODE_IMAGE); },
      [&] { ftp.List(); },
      [&] {
        ftp.Download("x.gob", TFuzzPrefix::WinC("download.gob"));
        if (downloaded)
          Check(int64_t(ReadHostFile(local).size()) == ftp.BytesTotal,
                "a download whose file is not what BytesTotal says");
      },
      [&] { ftp.Disconnect(); },
  };
  for (const auto& step : steps) {
    try {
      step();
    } catch (const Exception&) {
    }
    const std::string& reply = ftp.LastReply();
    Check(reply.find('\n') == std::string::npos && !reply.ends_with('\r'),
          "a reply line with its line end");
    Check(ftp.DataConnection() == nullptr, "a data connection left open");
    if (!ftp.Connected()) break;
  }
  try {
    ftp.Disconnect();
  } catch (const Exception&) {
  }
  SetMessagePump(nullptr);
  return 0;
}
