#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/socket.h"
#include "platform/tls_stream.h"
#include "transfer/proxy/proxy_choice.h"
#include "transfer/proxy/socks_handshake.h"
#include "transfer/session/connection_race.h"
#include "transfer/session_host.h"
#include "transfer/transfer.h"

namespace pellmarsh {

class ProxyTunnel;

// One attempt's connection to its server: the race between the server's
// addresses, then through a proxy its CONNECT tunnel or SOCKS handshake,
// then TLS when the protocol asks for it. Each step returns the state the
// session goes on in: kStart once the connection carries the protocol's
// bytes, kDone once it has failed the session.
class SessionConnection final : public SessionLink {
 public:
  explicit SessionConnection(SessionHost& session);
  SessionConnection(const SessionConnection&) = delete;
  SessionConnection& operator=(const SessionConnection&) = delete;
  ~SessionConnection();

  void Route(std::optional<Proxy> proxy) { proxy_ = std::move(proxy); }
  // The addresses to race for `port`; false when no socket could be made
  // (the session has failed).
  bool Prepare(std::vector<SocketAddress> addresses, int port, SocksDestination socks,
               bool overTls);
  void LogConnecting();

  SessionState Connect();
  SessionState ConnectWait();
  SessionState TunnelStep();
  SessionState SocksStep();
  SessionState TlsHandshake();
  // What a connecting state waits on.
  Transfer::Wait NextWait(SessionState state) const;
  Transfer::Wait SendWait() const;

  TcpSocket& mainSocket() override { return socket_; }
  ByteStream& mainStream() override;
  const Proxy* proxy() const override { return proxy_ ? &*proxy_ : nullptr; }
  std::unique_ptr<SocksHandshake> SocksHandshakeTo(uint16_t port) const override;
  void Send(std::string text) override { sendBuffer_ = std::move(text); }
  bool Sending() const override { return !sendBuffer_.empty(); }
  std::optional<size_t> Receive(ByteStream& stream, size_t size, uint32_t* lastActivity) override;
  void FailReceive(int error) override;
  bool SilentTooLong(uint32_t lastActivity) const override;
  // Sends what it can of the queued text; false when the connection failed
  // and the attempt has ended.
  bool SendPending();

  // The server's IPv4 address; 0 for an IPv6 server.
  uint32_t serverAddress() const { return remote_.ipv6() ? 0 : remote_.address; }

  // The server is done with.
  void CloseServer();
  // Ready for the next attempt.
  void Reset();

 private:
  // A failed connect's error, naming the proxy when there is one.
  std::string ConnectFailure(std::string_view designed, int error) const;
  void LogRace();
  SessionState OpenProxyTunnel();
  SessionState OpenSocks();
  // The connection reaches the server: TLS starts, if the protocol asks for it.
  SessionState ReachedServer();
  SessionState StartTls();

  SessionHost& session_;
  std::optional<Proxy> proxy_;
  bool overTls_ = false;
  int remotePort_ = 0;
  // The first address to try until the race is won, then the one connected to.
  SocketAddress remote_;
  std::optional<ConnectionRace> race_;  // from the lookup until one address connects
  TcpSocket socket_;
  std::unique_ptr<ProxyTunnel> tunnel_;  // for https through proxy_, until the tunnel is open
  SocksDestination socksDestination_;
  std::unique_ptr<SocksHandshake> socks_;  // through a SOCKS proxy_, until it has connected
  std::unique_ptr<TlsStream> tls_;         // over socket_, for a protocol that asks for it
  uint32_t connectStarted_ = 0;
  std::string sendBuffer_;
};

}  // namespace pellmarsh
