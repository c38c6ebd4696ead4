// TLS over a connected, non-blocking socket, for https: certificates verified against the
// system's store (OpenSSL's default paths, so SSL_CERT_FILE and SSL_CERT_DIR are honoured),
// the host name (or address) checked, SNI sent for names, TLS 1.2 at least. The socket stays
// the caller's; the session never waits: each call does what it can and says what it needs.
#pragma once

#include <cstddef>
#include <string>

struct ssl_st;

namespace dravik {

class TTlsSession {
public:
  // What a call needs before it can go on.
  enum class TWant { Nothing, Read, Write };

  // Throws ESockError when TLS cannot be set up at all.
  TTlsSession(int socket, const std::string& host);
  ~TTlsSession();
  TTlsSession(const TTlsSession&) = delete;
  TTlsSession& operator=(const TTlsSession&) = delete;

  // Advances the handshake: Nothing once it is complete. Throws ESockError saying why it
  // failed ("Secure connection to H failed: the certificate has expired", "... is for another
  // host", "... was issued by an unknown authority", or OpenSSL's reason).
  TWant Handshake();
  // Sends `count` bytes of `buffer` (`write`), or receives up to `count` decrypted bytes into
  // it: the bytes moved (> 0); 0 when the peer has closed (receiving); -1 when the socket
  // cannot go on now (its next event will tell). Throws ESockError on a TLS or socket error.
  long Transfer(bool write, char* buffer, size_t count);
  // Decrypted bytes held inside the session (no socket event announces them).
  size_t Pending() const;
  // Sends the closing alert when the socket takes it at once; never waits.
  void Shutdown();

private:
  std::string FailureText(int sslError, int errnoValue) const;
  ssl_st* FSsl = nullptr;
  std::string FHost;
};

} // namespace dravik
