#include "proxyenv.h"

#include "platform/sysutils.h"

#include <cstdlib>

namespace dravik {

namespace {

std::string Variable(const TEnvironmentReader& env, const char* name) {
  const char* value = env ? env(name) : std::getenv(name);
  return value ? std::string(value) : std::string();
}

// The first of the names that is set and not empty.
std::string FirstSet(const TEnvironmentReader& env, std::initializer_list<const char*> names) {
  for (const char* name : names)
    if (std::string v = Variable(env, name); !v.empty()) return v;
  return std::string();
}

std::string WithoutBrackets(std::string host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  return host;
}

std::optional<TProxySetting> ParseProxy(std::string text) {
  text = Trim(text);
  if (size_t p = text.find("://"); p != std::string::npos) {
    if (LowerCase(text.substr(0, p)) != "http") return std::nullopt;
    text = text.substr(p + 3);
  }
  text = text.substr(0, text.find('/'));
  if (size_t at = text.rfind('@'); at != std::string::npos) text = text.substr(at + 1);
  TProxySetting proxy;
  proxy.Port = 1080;
  std::string portText;
  if (text.starts_with('[')) {
    const size_t close = text.find(']');
    if (close == std::string::npos) return std::nullopt;
    proxy.Host = text.substr(1, close - 1);
    if (close + 1 < text.size() && text[close + 1] == ':') portText = text.substr(close + 2);
  } else {
    const size_t colon = text.find(':');
    proxy.Host = text.substr(0, colon);
    if (colon != std::string::npos) portText = text.substr(colon + 1);
  }
  if (!portText.empty()) proxy.Port = StrToIntDef(portText, -1);
  if (proxy.Host.empty() || proxy.Port < 1 || proxy.Port > 65535) return std::nullopt;
  return proxy;
}

} // namespace

bool NoProxyMatches(const std::string& list, const std::string& host) {
  const std::string name = LowerCase(WithoutBrackets(host));
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(", ", start);
    if (end == std::string::npos) end = list.size();
    std::string entry = LowerCase(WithoutBrackets(Trim(list.substr(start, end - start))));
    start = end + 1;
    if (entry == "*") return true;
    while (entry.starts_with('.'))
      entry.erase(0, 1);
    if (entry.empty()) continue;
    if (name == entry) return true;
    if (name.size() > entry.size() && name.ends_with(entry) &&
        name[name.size() - entry.size() - 1] == '.')
      return true;
  }
  return false;
}

std::optional<TProxySetting> ProxyFromEnvironment(const std::string& scheme,
                                                  const std::string& host,
                                                  const TEnvironmentReader& env) {
  if (NoProxyMatches(FirstSet(env, {"no_proxy", "NO_PROXY"}), host)) return std::nullopt;
  std::string proxy;
  if (scheme == "http")
    proxy = FirstSet(env, {"http_proxy"});
  else if (scheme == "https")
    proxy = FirstSet(env, {"https_proxy", "HTTPS_PROXY"});
  else
    return std::nullopt;
  if (proxy.empty()) proxy = FirstSet(env, {"all_proxy", "ALL_PROXY"});
  if (proxy.empty()) return std::nullopt;
  return ParseProxy(proxy);
}

} // namespace dravik
