// The Windows Sockets error codes and their texts, as the socket layer reports its failures:
// "code:description" from a fixed table, and the code for each POSIX errno value.
#pragma once

#include <string>

namespace dravik {

constexpr int WSAEINTR = 10004;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAHOST_NOT_FOUND = 11001;

// "code:description" from the Windows Sockets error table ("10061:Connection refused",
// "0:Unrecognized error code"); "Unknown Error No. %d" for a code not in it.
std::string SocketErrorText(int code);
// The Windows Sockets code for a POSIX errno value (ECONNREFUSED -> 10061); values without a
// counterpart are returned unchanged.
int WinsockError(int errnoValue) noexcept;

} // namespace dravik
