#include "transfer/ftp/ftp_data_channel.h"

#include <netinet/in.h>

#include <string>

#include "transfer/ftp/ftp_data_socket.h"
#include "transfer/session_log.h"
#include "transfer/socket_error_text.h"

namespace pellmarsh {
namespace {

// Refused data connections beyond this many are still closed, just not logged,
// so a flood of them cannot bloat the item's log.
constexpr int kLoggedRefusals = 20;

}  // namespace

void FtpDataChannel::Begin(uint32_t resolvedAddress, uint32_t serverAddress) {
  resolvedAddress_ = resolvedAddress;
  serverAddress_ = serverAddress;
  if (session_.connection().mainSocket().PeerAddress(serverPeer_) != 0) {
    serverPeer_ = {};
  }
}

bool FtpDataChannel::Reserve() {
  // The server connects back to the address that reaches it.
  SocketAddress local{INADDR_LOOPBACK, 0};
  if (resolvedAddress_ != INADDR_LOOPBACK) {
    if (const int error = session_.connection().mainSocket().LocalAddress(local); error != 0) {
      session_.Fail("Could not bind ftp data socket: " + SocketErrorText(error),
                    FailOutcome::kRetry);
      return false;
    }
  }
  session_.Log("Reserving datasocket for FTP");
  TcpListenerCalls calls(listenSocket_, local.family);
  local.port = 0;
  const DataListenResult listening = ListenForData(calls, local);
  if (!listening.failure.empty()) {
    session_.Fail(listening.failure, FailOutcome::kRetry);
    return false;
  }
  listenAddress_ = listening.bound;
  return true;
}

bool FtpDataChannel::ConnectPassive(uint16_t port) {
  SocketAddress to;
  int error = session_.connection().mainSocket().PeerAddress(to);
  // Through a SOCKS proxy the connection goes to the proxy, which is asked on to the port.
  socks_ = session_.connection().SocksHandshakeTo(port);
  if (!socks_) {
    to.port = port;
  }
  if (error == 0) {
    session_.Log("Connecting FTP data channel to " + AddressText(to) + ", port " +
                 std::to_string(to.port));
    error = ConnectForData(connection_, to);
  }
  if (error != 0) {
    session_.Fail("Could not connect FTP data channel: " + SocketErrorText(error),
                  FailOutcome::kRetry);
    return false;
  }
  passive_ = true;
  connectStarted_ = session_.context().clock.TickCount();
  return true;
}

FtpDataChannel::Progress FtpDataChannel::AwaitConnect() {
  const Readiness writable = connection_.PollWritable();
  int error = writable.error;
  if (error == 0 && !writable.ready) {
    const uint32_t waited = session_.context().clock.TickCount() - connectStarted_;
    if (waited <= SessionHost::kConnectTimeoutMs) {
      return Progress::kWaiting;
    }
    error = kErrorTimedOut;
  }
  // Writable also means the connect has ended; whether it succeeded is in the socket.
  if (error == 0) {
    error = connection_.PendingError();
  }
  if (error != 0) {
    session_.Fail("Could not connect FTP data channel: " + SocketErrorText(error),
                  FailOutcome::kRetry);
    return Progress::kFailed;
  }
  return Progress::kOpen;
}

FtpDataChannel::Progress FtpDataChannel::AwaitSocks() {
  switch (socks_->Step(connection_, session_.context().clock.TickCount())) {
    case SocksHandshake::Progress::kWaiting:
      return Progress::kWaiting;
    case SocksHandshake::Progress::kFailed:
      session_.Fail("Could not connect FTP data channel: " + socks_->failure(), socks_->outcome());
      return Progress::kFailed;
    case SocksHandshake::Progress::kOpen:
      break;
  }
  session_.Log("FTP data channel connected to " + socks_->destination().Name() +
               " through the SOCKS proxy.");
  socks_.reset();
  return Progress::kOpen;
}

FtpDataChannel::Progress FtpDataChannel::Accept(uint32_t lastActivity) {
  if (session_.connection().SilentTooLong(lastActivity)) {
    session_.Fail("FTP Timeout Waiting for data Channel", FailOutcome::kRetry);
    return Progress::kFailed;
  }
  SocketAddress peer;
  int error = 0;
  TcpSocket accepted = listenSocket_.Accept(peer, error);
  if (!accepted.valid()) {
    if (error != kErrorWouldBlock) {
      session_.connection().FailReceive(error);
      return Progress::kFailed;
    }
    return Progress::kWaiting;
  }
  // Anyone who can reach the port could otherwise hand us the file's contents.
  const bool fromServer = serverPeer_.ipv6() ? peer.ipv6() && peer.address6 == serverPeer_.address6
                                             : !peer.ipv6() && peer.address == serverAddress_;
  if (!fromServer) {
    if (++refusedConnections_ <= kLoggedRefusals) {
      session_.Log("Refused a data connection from " + AddressText(peer) +
                   ": not the FTP server's address.");
    }
    return Progress::kWaiting;
  }
  connection_ = std::move(accepted);
  return Progress::kOpen;
}

Transfer::Wait FtpDataChannel::AcceptWait() const {
  return passive_ ? Transfer::Wait{} : Transfer::Wait{listenSocket_.fd(), false};
}

}  // namespace pellmarsh
