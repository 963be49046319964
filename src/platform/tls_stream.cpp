#include "platform/tls_stream.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <utility>

namespace pellmarsh {

// OpenSSL's own socket BIO writes without MSG_NOSIGNAL: a server that closes
// first would raise SIGPIPE and end the program. Its I/O goes through the
// socket instead, which also keeps error numbers in the program's vocabulary.
struct TlsSocketLink {
  TcpSocket& socket;
  int lastError = 0;    // the socket's own error within one SSL call
  bool closed = false;  // the server has closed its side
};

namespace {

TlsSocketLink& LinkOf(BIO* bio) {
  return *static_cast<TlsSocketLink*>(BIO_get_data(bio));
}

// What a BIO callback returns for a socket result: 1 with bytes moved, or 0
// with the retry flag set for a would-block and clear for an error or a close.
int BioResult(BIO* bio, const IoResult& result, size_t* moved, bool reading) {
  BIO_clear_retry_flags(bio);
  *moved = result.count;
  if (result.error == kErrorWouldBlock) {
    reading ? BIO_set_retry_read(bio) : BIO_set_retry_write(bio);
    return 0;
  }
  LinkOf(bio).lastError = result.error;
  if (reading && result.error == 0 && result.count == 0) {
    LinkOf(bio).closed = true;
  }
  return result.error == 0 && result.count > 0 ? 1 : 0;
}

int BioWrite(BIO* bio, const char* bytes, size_t size, size_t* written) {
  return BioResult(bio, LinkOf(bio).socket.Send({bytes, size}), written, false);
}

int BioRead(BIO* bio, char* buffer, size_t size, size_t* read) {
  return BioResult(bio, LinkOf(bio).socket.Receive(buffer, size), read, true);
}

long BioControl(BIO* bio, int command, long /*number*/, void* /*pointer*/) {
  switch (command) {
    case BIO_CTRL_FLUSH:
      return 1;  // nothing is buffered here
    case BIO_CTRL_EOF:
      // How OpenSSL tells a close without the closing alert from a cut.
      return LinkOf(bio).closed ? 1 : 0;
    default:
      return 0;
  }
}

BIO_METHOD* TlsSocketLinkMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "pellmarsh socket");
    if (made) {
      BIO_meth_set_write_ex(made, BioWrite);
      BIO_meth_set_read_ex(made, BioRead);
      BIO_meth_set_ctrl(made, BioControl);
    }
    return made;
  }();
  return method;
}

// One context for the whole program: loading the trusted certificates is the
// costly part, and it is the same for every connection.
SSL_CTX* ClientContext() {
  static SSL_CTX* const context = [] {
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (!made) {
      return made;
    }
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    SSL_CTX_set_verify(made, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(made);
    SSL_CTX_set_mode(made, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return made;
  }();
  return context;
}

std::string LastOpenSslReason(std::string_view fallback) {
  const char* reason = ERR_reason_error_string(ERR_peek_last_error());
  return reason ? std::string(reason) : std::string(fallback);
}

// A close without TLS's closing alert: a body whose length is known may still
// end there, so it reads as a close, marked (RFC 2818 section 2.2.2).
bool UnexpectedEof() {
  return ERR_GET_REASON(ERR_peek_last_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

// Alerts that a busy or restarting server sends; every other alert is about
// certificates or the protocol, and a retry would meet it again.
bool BusyServerAlert() {
  const int reason = ERR_GET_REASON(ERR_peek_last_error());
  return reason == SSL_AD_REASON_OFFSET + SSL_AD_INTERNAL_ERROR ||
         reason == SSL_AD_REASON_OFFSET + SSL_AD_USER_CANCELLED;
}

// Names the server by its address, not by a host name, when the URL does
// (an IPv6 one in brackets).
bool ExpectAddress(SSL* ssl, const std::string& host) {
  SocketAddress address;
  const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
  if (bracketed ? !ParseIPv6Address(std::string_view(host).substr(1, host.size() - 2), address)
                : !ParseDottedAddress(host, address.address)) {
    return false;
  }
  return X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), AddressText(address).c_str()) == 1;
}

}  // namespace

TlsStream::TlsStream(TcpSocket& socket, const std::string& host)
    : link_(std::make_unique<TlsSocketLink>(TlsSocketLink{socket})) {
  ERR_clear_error();
  SSL_CTX* context = ClientContext();
  BIO_METHOD* method = TlsSocketLinkMethod();
  ssl_ = context && method ? SSL_new(context) : nullptr;
  BIO* bio = ssl_ ? BIO_new(method) : nullptr;
  if (!bio) {
    GiveUp("TLS could not be set up");
    return;
  }
  BIO_set_data(bio, link_.get());
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl_, bio, bio);
  const bool named =
      ExpectAddress(ssl_, host) ||
      (SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1 && SSL_set1_host(ssl_, host.c_str()) == 1);
  if (!named) {
    GiveUp("the host name cannot be checked");
  }
}

void TlsStream::GiveUp(std::string_view fallback) {
  refusal_ = LastOpenSslReason(fallback);
  SSL_free(ssl_);
  ssl_ = nullptr;
}

TlsStream::~TlsStream() {
  SSL_free(ssl_);
}

void TlsStream::BeforeCall() {
  // SSL_get_error reads the thread's error queue: only this call's may be in it.
  ERR_clear_error();
  link_->lastError = 0;
  want_ = Want::kNothing;
}

TlsStream::Handshake TlsStream::StepHandshake() {
  if (!ssl_) {
    return Handshake::kRefused;
  }
  BeforeCall();
  const int result = SSL_connect(ssl_);
  if (result == 1) {
    return Handshake::kDone;
  }
  switch (SSL_get_error(ssl_, result)) {
    case SSL_ERROR_WANT_READ:
      want_ = Want::kRead;
      return Handshake::kWaiting;
    case SSL_ERROR_WANT_WRITE:
      want_ = Want::kWrite;
      return Handshake::kWaiting;
    case SSL_ERROR_SYSCALL:
    case SSL_ERROR_ZERO_RETURN:
      cutError_ = link_->lastError;
      return Handshake::kCut;
    default:
      break;
  }
  if (link_->lastError != 0 || UnexpectedEof()) {
    cutError_ = link_->lastError;
    return Handshake::kCut;
  }
  const long verified = SSL_get_verify_result(ssl_);
  refusal_ = verified != X509_V_OK ? X509_verify_cert_error_string(verified)
                                   : LastOpenSslReason("the handshake failed");
  return verified == X509_V_OK && BusyServerAlert() ? Handshake::kBusy : Handshake::kRefused;
}

std::string TlsStream::Description() const {
  return std::string(SSL_get_version(ssl_)) + ", " + SSL_get_cipher_name(ssl_);
}

IoResult TlsStream::Send(std::string_view bytes) {
  BeforeCall();
  size_t written = 0;
  if (SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written) == 1) {
    return {written, 0};
  }
  return Failure(SSL_get_error(ssl_, 0), true);
}

IoResult TlsStream::Receive(char* buffer, size_t size) {
  if (deferredError_.error != 0) {
    return std::exchange(deferredError_, IoResult{});
  }
  if (closedWithoutEnd_) {
    return {0, 0};  // OpenSSL has failed the connection; the close stands
  }
  // A TLS record holds at most 16 KiB: fill the buffer from as many as are there.
  size_t total = 0;
  while (total < size) {
    BeforeCall();
    size_t read = 0;
    if (SSL_read_ex(ssl_, buffer + total, size - total, &read) == 1) {
      total += read;
      continue;
    }
    const IoResult failure = Failure(SSL_get_error(ssl_, 0), false);
    if (total == 0) {
      return failure;
    }
    if (failure.error != kErrorWouldBlock) {
      deferredError_ = failure;
    }
    break;
  }
  return {total, 0};
}

IoResult TlsStream::Failure(int sslError, bool sending) {
  switch (sslError) {
    case SSL_ERROR_WANT_READ:
      want_ = Want::kRead;
      return {0, kErrorWouldBlock};
    case SSL_ERROR_WANT_WRITE:
      want_ = Want::kWrite;
      return {0, kErrorWouldBlock};
    case SSL_ERROR_ZERO_RETURN:
    case SSL_ERROR_SYSCALL:
      if (link_->lastError != 0) {
        return {0, link_->lastError};
      }
      // The server closed: the end of a reply, but nothing more can be sent.
      return {0, sending ? kErrorConnectionAborted : 0};
    case SSL_ERROR_SSL:
      if (link_->lastError == 0 && UnexpectedEof()) {
        closedWithoutEnd_ = true;
        return {0, sending ? kErrorConnectionAborted : 0};
      }
      return {0, link_->lastError != 0 ? link_->lastError : kErrorConnectionAborted};
    default:
      return {0, link_->lastError != 0 ? link_->lastError : kErrorConnectionAborted};
  }
}

IoWait TlsStream::NextWait(bool sending) const {
  if (!sending && want_ != Want::kWrite && ssl_ && SSL_pending(ssl_) > 0) {
    return {};
  }
  const bool forWrite = want_ == Want::kWrite || (sending && want_ != Want::kRead);
  return {link_->socket.fd(), forWrite};
}

}  // namespace pellmarsh
