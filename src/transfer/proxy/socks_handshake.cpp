#include "transfer/proxy/socks_handshake.h"

#include <array>
#include <utility>

#include "transfer/socket_error_text.h"

namespace pellmarsh {
namespace {

constexpr char kVersion = 5;
constexpr char kLoginVersion = 1;
constexpr char kNoLogin = 0;
constexpr char kUserAndPassword = 2;
constexpr unsigned char kNoneAcceptable = 0xFF;
constexpr char kConnect = 1;
constexpr char kIPv4 = 1;
constexpr char kName = 3;
constexpr char kIPv6 = 4;
constexpr size_t kLongestField = 255;
// Version, reply, reserved, address type and the first byte of the address.
constexpr size_t kReplyStart = 5;
constexpr size_t kLongestReply = 4 + 1 + kLongestField + 2;

void AppendField(std::string& out, std::string_view field) {
  out += static_cast<char>(field.size());
  out += field;
}

void AppendPort(std::string& out, uint16_t port) {
  out += static_cast<char>(port >> 8);
  out += static_cast<char>(port & 0xFF);
}

std::string ConnectRequest(const SocksDestination& destination) {
  std::string request{kVersion, kConnect, 0};
  if (!destination.hostName.empty()) {
    request += kName;
    AppendField(request, destination.hostName);
  } else if (destination.address.ipv6()) {
    request += kIPv6;
    request.append(reinterpret_cast<const char*>(destination.address.address6.data()),
                   destination.address.address6.size());
  } else {
    request += kIPv4;
    for (int shift = 24; shift >= 0; shift -= 8) {
      request += static_cast<char>(destination.address.address >> shift & 0xFF);
    }
  }
  AppendPort(request, destination.port);
  return request;
}

struct ReplyMeaning {
  std::string_view why;
  FailOutcome outcome;
};

// The proxy's word on the connect, by its reply code; what may pass is tried again.
constexpr std::array<ReplyMeaning, 9> kReplyMeanings = {{
    {"", FailOutcome::kRetry},
    {"general failure", FailOutcome::kRetry},
    {"not allowed by its rules", FailOutcome::kPermanent},
    {"the network is unreachable", FailOutcome::kRetry},
    {"the host is unreachable", FailOutcome::kRetry},
    {"connection refused by the destination", FailOutcome::kRetry},
    {"the destination did not answer in time", FailOutcome::kRetry},
    {"it does not do CONNECT", FailOutcome::kPermanent},
    {"it does not take this kind of address", FailOutcome::kPermanent},
}};

}  // namespace

std::string SocksDestination::Name() const {
  if (!hostName.empty()) {
    return Proxy{hostName, port, "", ""}.Name();
  }
  return Proxy{AddressText(address), port, "", ""}.Name();
}

size_t SocksConnectReplyLength(std::string_view got) {
  if (!got.empty() && got[0] != kVersion) {
    return 0;
  }
  if (got.size() < kReplyStart) {
    return kReplyStart;
  }
  switch (got[3]) {
    case kIPv4:
      return 4 + 4 + 2;
    case kIPv6:
      return 4 + 16 + 2;
    case kName:
      return 4 + 1 + static_cast<unsigned char>(got[4]) + 2;
    default:
      return 0;
  }
}

SocksHandshake::SocksHandshake(Proxy proxy, SocksDestination destination, uint32_t now)
    : proxy_(std::move(proxy)), destination_(std::move(destination)), started_(now) {
  outgoing_ = proxy_.user.empty() ? std::string{kVersion, 1, kNoLogin}
                                  : std::string{kVersion, 2, kNoLogin, kUserAndPassword};
}

SocksHandshake::Progress SocksHandshake::Step(ByteStream& stream, uint32_t now) {
  if (!failure_.empty()) {
    return Progress::kFailed;
  }
  if (now - started_ > kAnswerLimitMs) {
    return Fail(proxy_.Title() + " did not answer in time.", FailOutcome::kRetry);
  }
  for (;;) {
    while (!outgoing_.empty()) {
      const IoResult sent = stream.Send(outgoing_);
      if (sent.error == kErrorWouldBlock) {
        return Progress::kWaiting;
      }
      if (sent.error != 0) {
        return Fail("Lost the connection to " + proxy_.Title() + ": " + SocketErrorText(sent.error),
                    FailOutcome::kRetry);
      }
      outgoing_.erase(0, sent.count);
    }
    const size_t length = ReplyLength();
    if (length == 0) {
      return Fail(proxy_.Title() + " gave an answer that is not SOCKS 5.", FailOutcome::kRetry);
    }
    if (reply_.size() < length) {
      std::array<char, kLongestReply> buffer;
      const IoResult got = stream.Receive(buffer.data(), length - reply_.size());
      if (got.error == kErrorWouldBlock) {
        return Progress::kWaiting;
      }
      if (got.error != 0) {
        return Fail("Lost the connection to " + proxy_.Title() + ": " + SocketErrorText(got.error),
                    FailOutcome::kRetry);
      }
      if (got.count == 0) {
        return Fail(proxy_.Title() + " closed the connection before its answer.",
                    FailOutcome::kRetry);
      }
      reply_.append(buffer.data(), got.count);
      continue;
    }
    const Progress progress = Answered();
    if (progress != Progress::kWaiting) {
      return progress;
    }
  }
}

size_t SocksHandshake::ReplyLength() const {
  return phase_ == Phase::kConnect ? SocksConnectReplyLength(reply_) : 2;
}

SocksHandshake::Progress SocksHandshake::Answered() {
  const std::string reply = std::exchange(reply_, std::string());
  switch (phase_) {
    case Phase::kMethod:
      if (reply[0] != kVersion) {
        break;
      }
      if (reply[1] == kNoLogin) {
        return SendConnect();
      }
      if (reply[1] == kUserAndPassword && !proxy_.user.empty()) {
        if (proxy_.user.size() > kLongestField || proxy_.password.size() > kLongestField) {
          return Fail(proxy_.Title() + " cannot take a user name or password over 255 bytes.",
                      FailOutcome::kPermanent);
        }
        outgoing_ = {kLoginVersion};
        AppendField(outgoing_, proxy_.user);
        AppendField(outgoing_, proxy_.password);
        phase_ = Phase::kLogin;
        return Progress::kWaiting;
      }
      if (static_cast<unsigned char>(reply[1]) == kNoneAcceptable) {
        return Refused(proxy_.user.empty() ? "it asks for a user name and password"
                                           : "it takes no login Pellmarsh offers",
                       FailOutcome::kPermanent);
      }
      break;
    case Phase::kLogin:
      if (reply[0] != kLoginVersion) {
        break;
      }
      if (reply[1] != 0) {
        return Refused("wrong user name or password", FailOutcome::kPermanent);
      }
      return SendConnect();
    case Phase::kConnect: {
      const auto code = static_cast<unsigned char>(reply[1]);
      if (code == 0) {
        return Progress::kOpen;
      }
      if (code >= kReplyMeanings.size()) {
        return Refused("reply code " + std::to_string(code), FailOutcome::kRetry);
      }
      return Refused(kReplyMeanings[code].why, kReplyMeanings[code].outcome);
    }
  }
  return Fail(proxy_.Title() + " gave an answer that is not SOCKS 5.", FailOutcome::kRetry);
}

SocksHandshake::Progress SocksHandshake::SendConnect() {
  if (destination_.hostName.size() > kLongestField) {
    return Fail(proxy_.Title() + " cannot take a host name over 255 bytes.",
                FailOutcome::kPermanent);
  }
  outgoing_ = ConnectRequest(destination_);
  phase_ = Phase::kConnect;
  return Progress::kWaiting;
}

SocksHandshake::Progress SocksHandshake::Fail(std::string message, FailOutcome outcome) {
  failure_ = std::move(message);
  outcome_ = outcome;
  return Progress::kFailed;
}

SocksHandshake::Progress SocksHandshake::Refused(std::string_view why, FailOutcome outcome) {
  return Fail(proxy_.Title() + " refused the connection: " + std::string(why), outcome);
}

}  // namespace pellmarsh
