#include "hostlookup.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <system_error>
#include <thread>

namespace dravik {

namespace {

THostResolver& Resolver() {
  static THostResolver resolver;
  return resolver;
}

std::vector<std::string> SystemResolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_ADDRCONFIG;
  addrinfo* result = nullptr;
  std::vector<std::string> addresses;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0) return addresses;
  for (addrinfo* a = result; a; a = a->ai_next) {
    TSockAddress address;
    if (a->ai_addrlen > sizeof address.Storage) continue;
    std::memcpy(&address.Storage, a->ai_addr, a->ai_addrlen);
    address.Length = a->ai_addrlen;
    std::string text = address.Text();
    if (!text.empty() && std::find(addresses.begin(), addresses.end(), text) == addresses.end())
      addresses.push_back(text);
  }
  ::freeaddrinfo(result);
  return addresses;
}

} // namespace

THostResolver SetHostResolver(THostResolver resolver) {
  THostResolver previous = std::move(Resolver());
  Resolver() = std::move(resolver);
  return previous;
}

bool IsNumericAddress(const std::string& host) {
  TSockAddress a;
  return MakeSockAddress(host, 0, a);
}

bool MakeSockAddress(const std::string& address, int port, TSockAddress& result) {
  result = TSockAddress();
  auto* v4 = reinterpret_cast<sockaddr_in*>(&result.Storage);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&result.Storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(uint16_t(port));
    result.Length = sizeof *v4;
    return true;
  }
  if (::inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(uint16_t(port));
    result.Length = sizeof *v6;
    return true;
  }
  result = TSockAddress();
  return false;
}

std::string TSockAddress::Text() const {
  char text[INET6_ADDRSTRLEN] = {};
  if (Family() == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&Storage)->sin_addr, text,
                sizeof text);
  else if (Family() == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&Storage)->sin6_addr, text,
                sizeof text);
  return text;
}

int TSockAddress::Port() const {
  if (Family() == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in*>(&Storage)->sin_port);
  if (Family() == AF_INET6)
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&Storage)->sin6_port);
  return 0;
}

// The lookup thread holds its own reference, so a wait that gives up can drop the lookup
// without the thread touching freed state.
struct THostLookup::TState {
  mutable std::mutex Mutex;
  bool Done = false;
  std::vector<std::string> Addresses;
};

THostLookup::THostLookup(const std::string& host) : FState(std::make_shared<TState>()) {
  THostResolver resolver = Resolver() ? Resolver() : THostResolver(SystemResolve);
  try {
    std::thread([state = FState, resolver, host] {
      std::vector<std::string> result;
      try {
        result = resolver(host);
      } catch (...) {
      }
      std::lock_guard<std::mutex> lock(state->Mutex);
      state->Addresses = std::move(result);
      state->Done = true;
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(FState->Mutex);
    FState->Done = true;
  }
}

bool THostLookup::Done() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->Done;
}

std::vector<std::string> THostLookup::Addresses() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->Addresses;
}

} // namespace dravik
