#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/byte_stream.h"
#include "platform/socket.h"
#include "transfer/proxy/proxy_choice.h"
#include "transfer/session_log.h"

namespace pellmarsh {

// Where a SOCKS proxy is asked to connect: by name, for the proxy to look up
// (socks5h), or else by address.
struct SocksDestination {
  std::string hostName;   // sent when not empty
  SocketAddress address;  // sent otherwise
  uint16_t port = 0;

  // "host:port", for the log.
  std::string Name() const;
};

// The SOCKS 5 handshake (with a user and password when the proxy has them)
// on a connection to the proxy, stepped as bytes arrive. It sends its own
// bytes, so the password never passes through a logged send, and reads no
// byte past the proxy's last reply, so the destination's first bytes (a TLS
// handshake, an FTP greeting) stay for the protocol.
class SocksHandshake {
 public:
  // As long as a connect may take.
  static constexpr uint32_t kAnswerLimitMs = 60'000;

  enum class Progress { kWaiting, kOpen, kFailed };

  SocksHandshake(Proxy proxy, SocksDestination destination, uint32_t now);

  Progress Step(ByteStream& stream, uint32_t now);
  IoWait NextWait(const ByteStream& stream) const { return stream.NextWait(!outgoing_.empty()); }
  const SocksDestination& destination() const { return destination_; }
  // Once failed: the session's error and whether another attempt may do better.
  const std::string& failure() const { return failure_; }
  FailOutcome outcome() const { return outcome_; }

 private:
  enum class Phase { kMethod, kLogin, kConnect };

  size_t ReplyLength() const;
  Progress Answered();
  Progress SendConnect();
  Progress Fail(std::string message, FailOutcome outcome);
  // "SOCKS proxy host:port refused the connection: " and why.
  Progress Refused(std::string_view why, FailOutcome outcome);

  Proxy proxy_;
  SocksDestination destination_;
  uint32_t started_;
  Phase phase_ = Phase::kMethod;
  std::string outgoing_;
  std::string reply_;
  std::string failure_;
  FailOutcome outcome_ = FailOutcome::kRetry;
};

// The length of a reply to CONNECT that starts with `got`: the whole length
// once `got` tells it, until then the least that would tell; 0 when `got`
// starts no such reply.
size_t SocksConnectReplyLength(std::string_view got);

}  // namespace pellmarsh
