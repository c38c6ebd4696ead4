#include "hostlookup.h"

#include <arpa/inet.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>

namespace dravik {

namespace {

THostResolver& Resolver() {
  static THostResolver resolver;
  return resolver;
}

std::optional<uint32_t> SystemResolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  if (::getaddrinfo(host.c_str(), nullptr, &hints, &result) != 0 || !result) return std::nullopt;
  std::optional<uint32_t> address;
  for (addrinfo* a = result; a; a = a->ai_next)
    if (a->ai_family == AF_INET) {
      address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
      break;
    }
  ::freeaddrinfo(result);
  return address;
}

} // namespace

THostResolver SetHostResolver(THostResolver resolver) {
  THostResolver previous = std::move(Resolver());
  Resolver() = std::move(resolver);
  return previous;
}

std::optional<uint32_t> NumericAddress(const std::string& host) {
  in_addr a{};
  if (::inet_pton(AF_INET, host.c_str(), &a) == 1) return a.s_addr;
  return std::nullopt;
}

// The lookup thread holds its own reference, so a wait that gives up can drop the lookup
// without the thread touching freed state.
struct THostLookup::TState {
  mutable std::mutex Mutex;
  bool Done = false;
  std::optional<uint32_t> Address;
};

THostLookup::THostLookup(const std::string& host) : FState(std::make_shared<TState>()) {
  THostResolver resolver = Resolver() ? Resolver() : THostResolver(SystemResolve);
  try {
    std::thread([state = FState, resolver, host] {
      std::optional<uint32_t> result;
      try {
        result = resolver(host);
      } catch (...) {
      }
      std::lock_guard<std::mutex> lock(state->Mutex);
      state->Address = result;
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

std::optional<uint32_t> THostLookup::Address() const {
  std::lock_guard<std::mutex> lock(FState->Mutex);
  return FState->Address;
}

} // namespace dravik
