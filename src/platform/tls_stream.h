#pragma once

#include <memory>
#include <string>

#include "platform/byte_stream.h"
#include "platform/socket.h"

typedef struct ssl_st SSL;

namespace pellmarsh {

struct TlsSocketLink;  // what OpenSSL's I/O goes through

// TLS 1.2 or newer, as a client, over a connected non-blocking socket that
// stays the caller's. The server's certificate must chain to the system's
// store (or OpenSSL's SSL_CERT_FILE / SSL_CERT_DIR) and name the host; there
// is no way to accept one that does not.
class TlsStream final : public ByteStream {
 public:
  enum class Handshake {
    kDone,
    kWaiting,  // NextWait says for what
    kRefused,  // for good: refusal() says why
    kBusy,     // an alert a busy or restarting server sends: refusal() says which
    kCut,      // the connection broke: cutError() says how
  };

  // `host` is the URL's: a name is checked against the certificate and sent
  // in the handshake (SNI), a numeric address is checked against its addresses.
  TlsStream(TcpSocket& socket, const std::string& host);
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;
  ~TlsStream();

  // One non-blocking step of the handshake.
  Handshake StepHandshake();
  // The certificate's verify reason, or OpenSSL's reason for the refusal.
  const std::string& refusal() const { return refusal_; }
  // A socket error number, or 0 when the server closed the connection.
  int cutError() const { return cutError_; }
  // The protocol version and cipher of a finished handshake ("TLSv1.3,
  // TLS_AES_256_GCM_SHA384"); nothing secret.
  std::string Description() const;

  IoResult Send(std::string_view bytes) override;
  IoResult Receive(char* buffer, size_t size) override;
  // Bytes TLS has already decrypted are ready without the socket.
  IoWait NextWait(bool sending) const override;
  bool ClosedWithoutEnd() const override { return closedWithoutEnd_; }

 private:
  enum class Want { kNothing, kRead, kWrite };

  // An SSL call that did not succeed, as the socket layer would report it.
  IoResult Failure(int sslError, bool sending);
  void BeforeCall();
  // Set-up failed: every handshake step refuses, with OpenSSL's reason or `fallback`.
  void GiveUp(std::string_view fallback);

  std::unique_ptr<TlsSocketLink> link_;
  SSL* ssl_ = nullptr;
  Want want_ = Want::kNothing;
  IoResult deferredError_{};  // an error met after bytes already received
  std::string refusal_;
  int cutError_ = 0;
  bool closedWithoutEnd_ = false;
};

}  // namespace pellmarsh
