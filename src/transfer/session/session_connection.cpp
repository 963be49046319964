#include "transfer/session/session_connection.h"

#include "store/item_status.h"
#include "store/keys.h"
#include "transfer/http/proxy_tunnel.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"

namespace pellmarsh {

SessionConnection::SessionConnection(SessionHost& session) : session_(session) {}

SessionConnection::~SessionConnection() = default;

bool SessionConnection::Prepare(std::vector<SocketAddress> addresses, int port,
                                SocksDestination socks, bool overTls) {
  remotePort_ = port;
  socksDestination_ = std::move(socks);
  overTls_ = overTls;
  remote_ = addresses.front();
  race_.emplace(session_.context().clock, std::move(addresses));
  if (const int error = race_->Prepare(); error != 0) {
    session_.Fail("Could not create a socket.", ShortageOutcome(error));
    return false;
  }
  return true;
}

void SessionConnection::LogConnecting() {
  Item& item = session_.urlItem();
  item.SetPropInt64(key::kStart, session_.context().clock.UnixTime());
  item.SetPropInt(key::kReceived, 0);
  item.SetPropInt(key::kReceivedSession, 0);
  session_.Log("Connecting to " + std::string(proxy_ ? "proxy" : "host") + " at " +
               AddressText(remote_) + ", port " + std::to_string(remotePort_));
}

void SessionConnection::LogRace() {
  for (const std::string& line : race_->TakeLogLines()) {
    session_.Log(line);
  }
}

SessionState SessionConnection::Connect() {
  const int error = race_->Start();
  LogRace();
  connectStarted_ = session_.context().clock.TickCount();
  sendBuffer_.clear();
  if (error == kErrorWouldBlock) {
    session_.Log("Waiting for connect...");
  } else if (error != 0) {
    session_.Fail(ConnectFailure("Connect Error: ", error), FailOutcome::kRetry);
    return SessionState::kDone;
  }
  return SessionState::kConnectWait;
}

SessionState SessionConnection::ConnectWait() {
  const ConnectionRace::Progress progress = race_->Poll();
  LogRace();
  if (progress.outcome == ConnectionRace::Outcome::kFailed) {
    session_.Fail(ConnectFailure("Could not connect: ", progress.error), FailOutcome::kRetry);
    return SessionState::kDone;
  }
  if (progress.outcome == ConnectionRace::Outcome::kWaiting) {
    if (session_.context().clock.TickCount() - connectStarted_ > SessionHost::kConnectTimeoutMs) {
      session_.Fail(ConnectFailure("Could not connect: ", kErrorTimedOut), FailOutcome::kRetry);
      return SessionState::kDone;
    }
    return SessionState::kConnectWait;
  }
  socket_ = race_->TakeWinner();
  remote_ = race_->winnerAddress();
  race_.reset();
  if (proxy_ && proxy_->socks()) {
    return OpenSocks();
  }
  if (proxy_ && overTls_) {
    return OpenProxyTunnel();
  }
  return ReachedServer();
}

SessionState SessionConnection::ReachedServer() {
  return overTls_ ? StartTls() : SessionState::kStart;
}

std::string SessionConnection::ConnectFailure(std::string_view designed, int error) const {
  return proxy_ ? ProxyConnectFailure(*proxy_, error)
                : std::string(designed) + SocketErrorText(error);
}

SessionState SessionConnection::OpenProxyTunnel() {
  tunnel_ = std::make_unique<ProxyTunnel>(session_, *proxy_);
  return tunnel_->Request() ? SessionState::kProxyTunnel : SessionState::kDone;
}

SessionState SessionConnection::TunnelStep() {
  return tunnel_->Step() ? StartTls() : SessionState::kProxyTunnel;
}

SessionState SessionConnection::OpenSocks() {
  session_.Log("Asking " + proxy_->Title() + " to connect to " + socksDestination_.Name());
  socks_ = std::make_unique<SocksHandshake>(*proxy_, socksDestination_,
                                            session_.context().clock.TickCount());
  return SessionState::kSocksHandshake;
}

SessionState SessionConnection::SocksStep() {
  switch (socks_->Step(socket_, session_.context().clock.TickCount())) {
    case SocksHandshake::Progress::kWaiting:
      break;
    case SocksHandshake::Progress::kFailed:
      session_.Fail(socks_->failure(), socks_->outcome());
      return SessionState::kDone;
    case SocksHandshake::Progress::kOpen:
      session_.Log(proxy_->Title() + " connected to " + socksDestination_.Name());
      socks_.reset();
      return ReachedServer();
  }
  return SessionState::kSocksHandshake;
}

std::unique_ptr<SocksHandshake> SessionConnection::SocksHandshakeTo(uint16_t port) const {
  if (!proxy_ || !proxy_->socks()) {
    return nullptr;
  }
  SocksDestination destination = socksDestination_;
  destination.port = port;
  return std::make_unique<SocksHandshake>(*proxy_, std::move(destination),
                                          session_.context().clock.TickCount());
}

SessionState SessionConnection::StartTls() {
  tunnel_.reset();
  tls_ = std::make_unique<TlsStream>(socket_, session_.urlParts().GetProp(key::kHostName));
  connectStarted_ = session_.context().clock.TickCount();
  session_.Log("Starting TLS...");
  return SessionState::kTlsHandshake;
}

SessionState SessionConnection::TlsHandshake() {
  switch (tls_->StepHandshake()) {
    case TlsStream::Handshake::kWaiting:
      // A server that takes the connection but never answers would hold the slot.
      if (session_.context().clock.TickCount() - connectStarted_ > SessionHost::kConnectTimeoutMs) {
        FailReceive(kErrorTimedOut);
        return SessionState::kDone;
      }
      return SessionState::kTlsHandshake;
    case TlsStream::Handshake::kRefused:
      session_.Fail("TLS Error: " + tls_->refusal(), FailOutcome::kPermanent);
      return SessionState::kDone;
    case TlsStream::Handshake::kBusy:
      session_.Fail("TLS Error: " + tls_->refusal(), FailOutcome::kRetry);
      return SessionState::kDone;
    case TlsStream::Handshake::kCut:
      if (tls_->cutError() != 0) {
        FailReceive(tls_->cutError());
      } else {
        session_.Fail("The server closed the connection during the TLS handshake.",
                      FailOutcome::kRetry);
      }
      return SessionState::kDone;
    case TlsStream::Handshake::kDone:
      session_.Log("TLS connection: " + tls_->Description());
      return SessionState::kStart;
  }
  return SessionState::kTlsHandshake;
}

Transfer::Wait SessionConnection::NextWait(SessionState state) const {
  switch (state) {
    case SessionState::kConnectWait:
      return {race_ ? race_->WaitFd() : -1, true};
    case SessionState::kTlsHandshake:
      return tls_->NextWait(false);
    case SessionState::kProxyTunnel:
      return socket_.NextWait(false);
    case SessionState::kSocksHandshake:
      return socks_->NextWait(socket_);
    default:
      return {};
  }
}

Transfer::Wait SessionConnection::SendWait() const {
  return tls_ ? tls_->NextWait(true) : socket_.NextWait(true);
}

bool SessionConnection::SendPending() {
  session_.Log(LoggedSendLine(sendBuffer_));
  const IoResult sent = mainStream().Send(sendBuffer_);
  if (sent.error == kErrorWouldBlock) {
    return true;
  }
  if (sent.error != 0) {
    // Deliberately no log line, event or retry count: the retry countdown runs
    // with whatever delay the item holds.
    sendBuffer_.clear();
    Item& item = session_.urlItem();
    item.SetProp(key::kError, "Request Error: " + SocketErrorText(sent.error));
    item.SetPropInt(key::kStatus, kStatusWaitingToRetry);
    return false;
  }
  sendBuffer_.erase(0, sent.count);
  return true;
}

ByteStream& SessionConnection::mainStream() {
  if (tls_) {
    return *tls_;
  }
  return socket_;
}

std::optional<size_t> SessionConnection::Receive(ByteStream& stream, size_t size,
                                                 uint32_t* lastActivity) {
  const TransferContext& context = session_.context();
  const IoResult got = stream.Receive(context.buffer, size);
  if (got.error == kErrorWouldBlock) {
    // Counted only when nothing is waiting, so a throttled session is never
    // taken for a stalled server.
    if (lastActivity && SilentTooLong(*lastActivity)) {
      FailReceive(kErrorTimedOut);
    }
    return std::nullopt;
  }
  if (got.error != 0) {
    FailReceive(got.error);
    return std::nullopt;
  }
  if (lastActivity) {
    *lastActivity = context.clock.TickCount();
  }
  return got.count;
}

void SessionConnection::FailReceive(int error) {
  session_.Fail("Receive Error: " + SocketErrorText(error), FailOutcome::kRetry);
}

bool SessionConnection::SilentTooLong(uint32_t lastActivity) const {
  return session_.context().clock.TickCount() - lastActivity > SessionHost::kSilenceLimitMs;
}

void SessionConnection::CloseServer() {
  tls_.reset();
  socket_.Close();
}

void SessionConnection::Reset() {
  tunnel_.reset();
  socks_.reset();
  tls_.reset();
  race_.reset();
  socket_.Close();
  proxy_.reset();
}

}  // namespace pellmarsh
