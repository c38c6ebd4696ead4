// Host addresses for the socket layer: numeric addresses (IPv4 and IPv6) as socket
// addresses, and name lookups that run on a background thread while the caller's wait keeps
// pumping the user interface, and may be dropped (cancel, time-out) without waiting for them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace dravik {

// Looks a host name up: its addresses as numeric text ("127.0.0.1", "::1"), in the order to
// try them; none when the name is unknown. The default asks getaddrinfo for IPv4 and IPv6.
// Tests install their own (it must not refer to anything that may be freed while a lookup
// runs).
using THostResolver = std::function<std::vector<std::string>(const std::string& host)>;
THostResolver SetHostResolver(THostResolver resolver); // null restores the default

// A numeric IPv4 or IPv6 address ("10.1.2.3", "::1", not "[::1]").
bool IsNumericAddress(const std::string& host);

// A numeric address and a port as a socket address.
struct TSockAddress {
  sockaddr_storage Storage{};
  socklen_t Length = 0;
  int Family() const { return Storage.ss_family; }
  const sockaddr* Get() const { return reinterpret_cast<const sockaddr*>(&Storage); }
  sockaddr* Get() { return reinterpret_cast<sockaddr*>(&Storage); }
  // The address as numeric text ("" when there is none) and the port.
  std::string Text() const;
  int Port() const;
};
// False when `address` is not numeric.
bool MakeSockAddress(const std::string& address, int port, TSockAddress& result);

// One lookup, started at construction on a thread of its own. Never blocks.
class THostLookup {
public:
  explicit THostLookup(const std::string& host);
  bool Done() const;
  // The result once Done(); empty when the name is unknown.
  std::vector<std::string> Addresses() const;

private:
  struct TState;
  std::shared_ptr<TState> FState; // shared with the lookup thread
};

} // namespace dravik
