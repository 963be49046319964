#pragma once

#include <cstdint>
#include <memory>

#include "platform/socket.h"
#include "transfer/proxy/socks_handshake.h"
#include "transfer/session_host.h"
#include "transfer/transfer.h"

namespace pellmarsh {

// An FTP download's data connection: a passive one out to the server (through
// a SOCKS proxy, a new one through it), or an active one the server makes to
// a socket of our own, taken only from the server's address. Whatever fails
// fails the session.
class FtpDataChannel {
 public:
  enum class Progress { kWaiting, kFailed, kOpen };

  explicit FtpDataChannel(SessionHost& session) : session_(session) {}

  // The command connection is up: the addresses it resolved and reached.
  void Begin(uint32_t resolvedAddress, uint32_t serverAddress);
  // The listening socket an active data connection comes in on; false once
  // the session has failed.
  bool Reserve();
  bool reserved() const { return listenSocket_.valid(); }
  // Where the reserved socket listens.
  const SocketAddress& listenAddress() const { return listenAddress_; }
  // Starts the connect to the command connection's peer; false once the
  // session has failed.
  bool ConnectPassive(uint16_t port);
  bool passive() const { return passive_; }
  bool throughSocks() const { return socks_ != nullptr; }
  // The passive connect; through a SOCKS proxy, its handshake after it.
  Progress AwaitConnect();
  Progress AwaitSocks();
  // The server's connection to the reserved socket; given up once the
  // server has been silent too long since `lastActivity`.
  Progress Accept(uint32_t lastActivity);

  Transfer::Wait ConnectWait() const { return {connection_.fd(), true}; }
  Transfer::Wait SocksWait() const { return socks_->NextWait(connection_); }
  Transfer::Wait AcceptWait() const;
  Transfer::Wait DataWait() const { return {connection_.fd(), false}; }
  TcpSocket& connection() { return connection_; }
  void Close() { connection_.Close(); }

 private:
  SessionHost& session_;
  TcpSocket listenSocket_;
  SocketAddress listenAddress_;
  TcpSocket connection_;
  std::unique_ptr<SocksHandshake> socks_;  // on connection_, until the proxy has connected
  uint32_t resolvedAddress_ = 0;
  uint32_t serverAddress_ = 0;  // the only address a data connection may come from
  SocketAddress serverPeer_;    // the same when the server was reached over IPv6
  bool passive_ = false;        // connection_ was connected out
  uint32_t connectStarted_ = 0;
  int refusedConnections_ = 0;
};

}  // namespace pellmarsh
