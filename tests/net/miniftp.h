// A scripted FTP server for what real servers do not do: silence at a chosen step, slow
// endless transfers, unusual replies, files shorter than announced. Active mode only (it
// connects to the PORT address; EPSV and PASV get 502, so clients fall back to PORT).
#pragma once

#include "tests/fixtures/tcpserver.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace dravik::test {

struct TMiniFtpScript {
  std::vector<std::string> Greeting{"220 mini ready"};
  std::string User = "331 Password required"; // "": never answers USER
  std::string Pass = "230 Logged in";
  std::string Cwd = "250 Directory changed"; // "": never answers CWD
  std::string Retr = "150 Opening BINARY mode data connection for x.gob (10 bytes)";
  std::string FileData = "0123456789";
  std::string Final = "226 Transfer complete";
  std::string List = "150 Here comes the directory listing"; // a 4xx/5xx refuses the listing
  size_t FirstSendOnly = std::string::npos; // the first RETR sends only this many bytes
  bool DripForever = false;                 // RETR sends data slowly and never ends
  std::string ControlDuringDrip;            // sent on the control connection while dripping
};

// Serves one script to every connection and records the commands it receives.
class TMiniFtp {
public:
  explicit TMiniFtp(TMiniFtpScript script)
      : FScript(std::move(script)), FServer([this](TTcpConnection& c) { Serve(c); }) {}
  int Port() const { return FServer.Port(); }
  std::vector<std::string> Commands() {
    std::lock_guard<std::mutex> lock(FMutex);
    return FCommands;
  }
  int DataPortConnected() const { return FDataPort; }

private:
  void Serve(TTcpConnection& c) {
    for (const auto& line : FScript.Greeting)
      c.SendLine(line);
    std::unique_ptr<TTcpConnection> data;
    size_t offset = 0;
    while (true) {
      std::string command = c.ReadLine(10000);
      if (command.empty()) return;
      {
        std::lock_guard<std::mutex> lock(FMutex);
        FCommands.push_back(command);
      }
      std::string verb = command.substr(0, command.find(' '));
      if (verb == "USER") {
        if (FScript.User.empty()) return c.WaitClosed(10000);
        c.SendLine(FScript.User);
        if (FScript.User.starts_with("421")) return;
      } else if (verb == "PASS") {
        c.SendLine(FScript.Pass);
      } else if (verb == "CWD") {
        if (FScript.Cwd.empty()) return c.WaitClosed(10000);
        c.SendLine(FScript.Cwd);
      } else if (verb == "TYPE") {
        c.SendLine("200 Type set");
      } else if (verb == "PORT") {
        int h[6] = {};
        if (std::sscanf(command.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h[0], &h[1], &h[2], &h[3],
                        &h[4], &h[5]) != 6)
          return;
        int fd = ConnectLocal(h[4] * 256 + h[5]);
        if (fd < 0) return;
        FDataPort = h[4] * 256 + h[5];
        data = std::make_unique<TTcpConnection>(fd, c.StopFlag());
        c.SendLine("200 PORT command successful");
      } else if (verb == "REST") {
        offset = std::stoul(command.substr(5));
        c.SendLine("350 Restarting");
      } else if (verb == "LIST") {
        c.SendLine(FScript.List);
        if (FScript.List[0] != '1') {
          data.reset();
          continue;
        }
        data->Send("-rw-r--r-- 1 ftp ftp 10 Jan 01 00:00 x.gob\r\n");
        data.reset();
        c.SendLine("226 Directory send OK");
      } else if (verb == "RETR") {
        c.SendLine(FScript.Retr);
        if (FScript.Retr[0] != '1') continue;
        if (FScript.DripForever) {
          int round = 0;
          while (c.Sleep(5) && data->Send("drip")) {
            if (++round == 10 && !FScript.ControlDuringDrip.empty())
              c.SendLine(FScript.ControlDuringDrip);
          }
          return;
        }
        const size_t n = FRetrs++ == 0 ? FScript.FirstSendOnly : std::string::npos;
        data->Send(FScript.FileData.substr(std::min(offset, FScript.FileData.size()), n));
        offset = 0;
        data.reset();
        c.SendLine(FScript.Final);
      } else if (verb == "QUIT") {
        c.SendLine("221 Goodbye");
        return;
      } else {
        c.SendLine("502 Command not implemented");
      }
    }
  }

  TMiniFtpScript FScript;
  std::mutex FMutex;
  std::vector<std::string> FCommands;
  std::atomic<int> FDataPort{0};
  std::atomic<int> FRetrs{0};
  TTcpServer FServer; // last: stops (joins its handlers) before the rest goes
};

} // namespace dravik::test
