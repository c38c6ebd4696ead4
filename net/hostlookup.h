// Host name lookup for the socket layer: a lookup runs on a background thread while the
// caller's wait keeps pumping the user interface, and may be dropped (cancel, time-out)
// without waiting for it to finish.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dravik {

// Looks a host up: the IPv4 address in network byte order, or none. The default asks
// getaddrinfo. Tests install their own (it must not refer to anything that may be freed while
// a lookup runs).
using THostResolver = std::function<std::optional<uint32_t>(const std::string& host)>;
THostResolver SetHostResolver(THostResolver resolver); // null restores the default

// The address of a dotted numeric host ("127.0.0.1"), or none.
std::optional<uint32_t> NumericAddress(const std::string& host);

// One lookup, started at construction on a thread of its own. Never blocks.
class THostLookup {
public:
  explicit THostLookup(const std::string& host);
  bool Done() const;
  // The result once Done(); none when the name is unknown.
  std::optional<uint32_t> Address() const;

private:
  struct TState;
  std::shared_ptr<TState> FState; // shared with the lookup thread
};

} // namespace dravik
