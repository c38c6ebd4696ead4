#include "loopback.h"

#include "fuzzsupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace dravik::fuzz {

TLoopbackServer::TLoopbackServer(THandler handler) : FHandler(std::move(handler)) {
  FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (FListen < 0 || ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(FListen, 16) != 0 ||
      ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    Fail("cannot listen on 127.0.0.1");
  FPort = ntohs(a.sin_port);
  std::thread([this] { Loop(); }).detach();
}

void TLoopbackServer::Loop() {
  for (;;) {
    int fd = ::accept4(FListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    FCurrent = fd;
    SetIdle(false);
    FHandler(fd);
    SetIdle(false);
    FCurrent = -1;
    ::close(fd);
  }
}

void TLoopbackServer::SetIdle(bool idle) {
  FIdleSince = idle ? std::chrono::steady_clock::now().time_since_epoch().count() : 0;
}

bool TLoopbackServer::IdleLongerThan(std::chrono::milliseconds time) const {
  const long long since = FIdleSince;
  if (since == 0) return false;
  const auto start =
      std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(since));
  return std::chrono::steady_clock::now() - start > time;
}

void TLoopbackServer::CloseCurrent() {
  const int fd = FCurrent;
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

bool SendAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    data.remove_prefix(size_t(n));
  }
  return true;
}

bool ReadUntil(int fd, std::string_view terminator, std::string& out, int timeoutMs) {
  out.clear();
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    char c;
    if (::recv(fd, &c, 1, 0) != 1) return false;
    out += c;
    if (out.ends_with(terminator)) return true;
  }
}

int ConnectLocal(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(uint16_t(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

} // namespace dravik::fuzz
