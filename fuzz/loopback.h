// A TCP server on 127.0.0.1 for the network targets: the peer that plays the input to the
// clients. It lives for the whole process and serves one connection at a time, on a thread of
// its own, with the handler it was made with.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace dravik::fuzz {

class TLoopbackServer {
public:
  using THandler = std::function<void(int fd)>;
  // Starts listening and serving; the server is never destroyed (make it with new).
  explicit TLoopbackServer(THandler handler);
  TLoopbackServer(const TLoopbackServer&) = delete;
  TLoopbackServer& operator=(const TLoopbackServer&) = delete;

  int Port() const { return FPort; }

  // Whether the handler waits for the client with nothing more to send, and since when. A
  // client that also waits then waits for what never comes.
  void SetIdle(bool idle);
  bool IdleLongerThan(std::chrono::milliseconds time) const;
  // Ends the connection being served (any thread): the client sees the server close.
  void CloseCurrent();

private:
  void Loop();
  THandler FHandler;
  int FListen = -1;
  int FPort = 0;
  std::atomic<int> FCurrent{-1};
  std::atomic<long long> FIdleSince{0}; // steady-clock ticks; 0: busy
};

// Socket helpers for handlers. Sends everything (false when the peer has gone).
bool SendAll(int fd, std::string_view data);
// Reads up to and including `terminator`; false on end of stream or after `timeoutMs` without
// data.
bool ReadUntil(int fd, std::string_view terminator, std::string& out, int timeoutMs);
// Connects to 127.0.0.1:port; -1 on failure.
int ConnectLocal(int port);

} // namespace dravik::fuzz
