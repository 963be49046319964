// Any bytes as a SOCKS proxy's answers, split into receives of any size: the
// handshake must end or wait without reading past the reply to CONNECT, so the
// destination's first bytes stay for the protocol, and must answer the same
// however the bytes are split.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "transfer/proxy/socks_handshake.h"

namespace {

void Require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The proxy's side: its bytes come `piece` at a time, and whatever is sent goes nowhere.
class ScriptedStream final : public pellmarsh::ByteStream {
 public:
  ScriptedStream(std::string bytes, size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}

  pellmarsh::IoResult Send(std::string_view sent) override { return {sent.size(), 0}; }
  pellmarsh::IoResult Receive(char* buffer, size_t size) override {
    if (at_ == bytes_.size()) {
      return {0, pellmarsh::kErrorWouldBlock};
    }
    const size_t count = std::min({size, piece_, bytes_.size() - at_});
    std::copy_n(bytes_.data() + at_, count, buffer);
    at_ += count;
    return {count, 0};
  }
  pellmarsh::IoWait NextWait(bool sending) const override { return {-1, sending}; }

  size_t read() const { return at_; }

 private:
  std::string bytes_;
  size_t piece_;
  size_t at_ = 0;
};

struct Ending {
  pellmarsh::SocksHandshake::Progress progress;
  std::string failure;
  size_t read;
};

Ending Run(const std::string& answers, size_t piece, bool login) {
  pellmarsh::Proxy proxy{"proxy.test", 1080, login ? "user" : "", login ? "password" : ""};
  proxy.kind = pellmarsh::ProxyKind::kSocks5Hostname;
  pellmarsh::SocksHandshake handshake(proxy, {"origin.test", {}, 80}, 0);
  ScriptedStream stream(answers, piece);
  pellmarsh::SocksHandshake::Progress progress;
  do {
    progress = handshake.Step(stream, 0);
  } while (progress == pellmarsh::SocksHandshake::Progress::kWaiting &&
           stream.read() < answers.size());
  return {progress, handshake.failure(), stream.read()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::string answers(reinterpret_cast<const char*>(data) + 1, size - 1);
  const bool login = data[0] & 0x80;
  const Ending whole = Run(answers, answers.size() + 1, login);
  const Ending pieces = Run(answers, data[0] % 7 + 1, login);
  using Progress = pellmarsh::SocksHandshake::Progress;
  // A failure may come after fewer bytes in smaller pieces; an open never does.
  Require(whole.progress == pieces.progress && whole.failure == pieces.failure &&
          (whole.progress != Progress::kOpen || whole.read == pieces.read));
  Require((whole.progress == Progress::kFailed) != whole.failure.empty());
  if (whole.progress == Progress::kOpen) {
    // The method reply, perhaps the login reply, and the reply to CONNECT: no more.
    const size_t before = answers[1] == 2 ? 4 : 2;
    Require(whole.read > before &&
            whole.read == before + pellmarsh::SocksConnectReplyLength(answers.substr(before)));
  }
  const size_t length = pellmarsh::SocksConnectReplyLength(answers);
  Require(length == 0 || (length >= 5 && length <= 262));
  return 0;
}
