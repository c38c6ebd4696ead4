// The HTTP client's response reader, fed through a real connection: a loopback server answers
// every request with the input and closes. The client follows redirections, but never leaves
// the loopback server (a request anywhere else is stopped before it connects). What must hold:
// the header is the start of the response and the body what follows it (up to its length,
// when it gives one), nothing lost or doubled; a redirection to a path on the same server
// stays on it.
#include "fuzzsupport.h"
#include "loopback.h"
#include "net/nmhttp.h"
#include "platform/sysutils.h"

#include <mutex>
#include <sys/socket.h>

using namespace dravik;
using namespace dravik::fuzz;

namespace {

std::mutex gMutex;
std::string gResponse;

TLoopbackServer& Server() {
  static TLoopbackServer* server = new TLoopbackServer([](int fd) {
    std::string request;
    if (!ReadUntil(fd, "\r\n\r\n", request, 5000)) return;
    std::string response;
    {
      std::lock_guard<std::mutex> lock(gMutex);
      response = gResponse;
    }
    SendAll(fd, response);
    ::shutdown(fd, SHUT_WR);
    std::string rest;
    ReadUntil(fd, "\n", rest, 5000); // until the client closes
  });
  return *server;
}

// A request that would leave the loopback server.
struct TElsewhere {
  std::string Host;
  int Port;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzPrefix::Get();
  TLoopbackServer& server = Server();
  const std::string response(reinterpret_cast<const char*>(data), size);
  {
    std::lock_guard<std::mutex> lock(gMutex);
    gResponse = response;
  }

  TNMHTTP http;
  http.MaxRedirects = 3;
  int requests = 0;
  bool sameServer = true; // the next request must go to the loopback server
  http.OnRedirect = [&](TPowersock& sender, bool&) {
    // A location naming no server (a path, a name) stays on this one.
    const std::string location = static_cast<TNMHTTP&>(sender).Location();
    sameServer = location.find(':') == std::string::npos && !location.starts_with("//");
  };
  http.OnAboutToSend = [&](TPowersock& sender) {
    auto& h = static_cast<TNMHTTP&>(sender);
    ++requests;
    const bool here = h.Host == "127.0.0.1" && h.Port == server.Port();
    Check(here || !sameServer, "a request left the server it was meant for: " + h.Host + ":" +
                                   std::to_string(h.Port) + " after status " +
                                   std::to_string(h.StatusCode()));
    if (!here) throw TElsewhere{h.Host, h.Port};
    sameServer = true;
  };

  bool complete = false;
  try {
    http.Get(Format("http://127.0.0.1:%d/index.html", server.Port()));
    complete = true;
  } catch (const Exception&) {
  } catch (const TElsewhere&) {
  }
  Check(!http.Connected(), "the connection stays open");
  Check(http.StatusCode() >= 0 && http.StatusCode() <= 0xFFFF, "a status out of range");
  Check(http.BytesTotal >= 0, "a negative content length");
  Check(http.StatusLine().find('\n') == std::string::npos && !http.StatusLine().ends_with('\r'),
        "a status line with its line end");
  if (complete) {
    Check(response.starts_with(http.Header), "the header is not the start of the response");
    const std::string rest = response.substr(http.Header.size());
    const int status = http.StatusCode();
    if ((status >= 100 && status < 200) || status == 204 || status == 304)
      Check(http.Body.empty(), "a body for a status that has none");
    else if (http.ContentLength() >= 0)
      Check(http.Body == rest.substr(0, size_t(http.ContentLength())),
            "the body is not the response's announced length");
    else if (LowerCase(http.Header).find("chunked") == std::string::npos) // decoded when chunked
      Check(http.Body == rest, "the body is not the rest of the response");
    else
      Check(http.Body.size() <= rest.size(), "a decoded body larger than the response");
  }
  return 0;
}
