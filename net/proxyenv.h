// The proxy for a request, from the environment as curl reads it: http_proxy (lower case
// only, as curl has it) for http, https_proxy or HTTPS_PROXY for https (through a CONNECT
// tunnel), all_proxy or ALL_PROXY for both, and no proxy for the hosts that no_proxy or
// NO_PROXY lists ("*" for all; "halvex.test" also covers its subdomains; a leading "." is the
// same). A proxy is "[http://]host[:port][/]", port 1080 when none is given; a proxy of
// another scheme (socks5://...) is not spoken, and the request goes direct.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace dravik {

struct TProxySetting {
  std::string Host; // without brackets for IPv6
  int Port = 0;
};

// Reads one variable: null when it is not set. The default reads the process environment.
using TEnvironmentReader = std::function<const char*(const char* name)>;

// The proxy for `scheme` ("http" or "https") and `host`, or none (direct).
std::optional<TProxySetting> ProxyFromEnvironment(const std::string& scheme,
                                                  const std::string& host,
                                                  const TEnvironmentReader& env = nullptr);
// Whether a no_proxy list names `host`.
bool NoProxyMatches(const std::string& list, const std::string& host);

} // namespace dravik
