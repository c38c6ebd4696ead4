#include "tlssession.h"

#include "powersock.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace dravik {

namespace {

// One context for as long as the trust settings stay the same: SSL_CERT_FILE and
// SSL_CERT_DIR are read when the store is loaded, so a change makes a new context.
SSL_CTX* Context() {
  static std::mutex mutex;
  static SSL_CTX* context = nullptr;
  static std::string key;
  std::lock_guard<std::mutex> lock(mutex);
  const char* file = std::getenv("SSL_CERT_FILE");
  const char* dir = std::getenv("SSL_CERT_DIR");
  std::string now = std::string(file ? file : "") + '\n' + (dir ? dir : "");
  if (context && now == key) return context;
  SSL_CTX* fresh = SSL_CTX_new(TLS_client_method());
  if (!fresh) throw ESockError("Secure connections are not available");
  SSL_CTX_set_min_proto_version(fresh, TLS1_2_VERSION);
  SSL_CTX_set_verify(fresh, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(fresh);
  // A server that closes without the closing alert ends the data like a plain connection;
  // the HTTP client checks the length itself.
  SSL_CTX_set_options(fresh, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(fresh, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
  if (context) SSL_CTX_free(context);
  context = fresh;
  key = now;
  return context;
}

bool IsAddress(const std::string& host) {
  unsigned char buffer[16];
  return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string VerifyReason(long result) {
  switch (result) {
  case X509_V_ERR_CERT_HAS_EXPIRED:
    return "the certificate has expired";
  case X509_V_ERR_CERT_NOT_YET_VALID:
    return "the certificate is not valid yet";
  case X509_V_ERR_HOSTNAME_MISMATCH:
  case X509_V_ERR_IP_ADDRESS_MISMATCH:
    return "the certificate is for another host";
  case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
  case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
  case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
  case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    return "the certificate was issued by an unknown authority";
  case X509_V_ERR_CERT_REVOKED:
    return "the certificate has been revoked";
  default:
    return std::string("the certificate cannot be trusted (") +
           X509_verify_cert_error_string(result) + ")";
  }
}

} // namespace

TTlsSession::TTlsSession(int socket, const std::string& host) : FHost(host) {
  FSsl = SSL_new(Context());
  if (!FSsl || SSL_set_fd(FSsl, socket) != 1)
    throw ESockError("Secure connection to " + host + " failed: no TLS session");
  if (IsAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(FSsl), host.c_str());
  } else {
    SSL_set_tlsext_host_name(FSsl, host.c_str());
    SSL_set1_host(FSsl, host.c_str());
  }
  SSL_set_connect_state(FSsl);
}

TTlsSession::~TTlsSession() {
  SSL_free(FSsl);
}

std::string TTlsSession::FailureText(int sslError, int errnoValue) const {
  const long verify = SSL_get_verify_result(FSsl);
  std::string reason;
  if (verify != X509_V_OK) {
    reason = VerifyReason(verify);
  } else if (unsigned long e = ERR_peek_last_error()) {
    const char* text = ERR_reason_error_string(e);
    reason = text ? text : "TLS error";
  } else if (sslError == SSL_ERROR_SYSCALL && errnoValue) {
    reason = SocketErrorText(WinsockError(errnoValue));
  } else {
    reason = "the connection was closed";
  }
  ERR_clear_error();
  return "Secure connection to " + FHost + " failed: " + reason;
}

TTlsSession::TWant TTlsSession::Handshake() {
  ERR_clear_error();
  const int r = SSL_do_handshake(FSsl);
  const int err = errno;
  if (r == 1) return TWant::Nothing;
  const int e = SSL_get_error(FSsl, r);
  if (e == SSL_ERROR_WANT_READ) return TWant::Read;
  if (e == SSL_ERROR_WANT_WRITE) return TWant::Write;
  throw ESockError(FailureText(e, err));
}

long TTlsSession::Transfer(bool write, char* buffer, size_t count) {
  ERR_clear_error();
  size_t done = 0;
  const int r =
      write ? SSL_write_ex(FSsl, buffer, count, &done) : SSL_read_ex(FSsl, buffer, count, &done);
  const int err = errno;
  if (r == 1) return long(done);
  const int e = SSL_get_error(FSsl, r);
  if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) return -1;
  if (!write && (e == SSL_ERROR_ZERO_RETURN || (e == SSL_ERROR_SYSCALL && err == 0))) return 0;
  throw ESockError(FailureText(e, err));
}

size_t TTlsSession::Pending() const {
  return size_t(SSL_pending(FSsl));
}

void TTlsSession::Shutdown() {
  ERR_clear_error();
  if (SSL_is_init_finished(FSsl)) SSL_shutdown(FSsl);
  ERR_clear_error();
}

} // namespace dravik
