#include "transfer/http/proxy_tunnel.h"

#include <gtest/gtest.h>

#include "store/keys.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

// A session that only records what the tunnel sends and how it failed; a
// real one never gets such a host past the URL parser.
class RecordingSession final : public SessionHost, public SessionLink {
 public:
  RecordingSession(const TransferContext& context, const std::string& host)
      : context_(context), writer_(*this, 0) {
    parts_.SetProp(key::kHostName, host);
    parts_.SetPropInt(key::kPort, 443);
  }

  Item& urlItem() override { return item_; }
  const TransferContext& context() const override { return context_; }
  const UrlParts& urlParts() const override { return parts_; }
  SessionLink& connection() override { return *this; }
  const SessionLink& connection() const override { return *this; }
  TcpSocket& mainSocket() override { return socket_; }
  ByteStream& mainStream() override { return socket_; }
  const Proxy* proxy() const override { return nullptr; }
  std::unique_ptr<SocksHandshake> SocksHandshakeTo(uint16_t) const override { return nullptr; }
  void Log(std::string_view) override {}
  void Fail(std::string_view message, FailOutcome outcome) override {
    failure = message;
    failOutcome = outcome;
  }
  void Send(std::string text) override { sent += text; }
  bool Sending() const override { return false; }
  std::optional<size_t> Receive(ByteStream&, size_t, uint32_t*) override { return std::nullopt; }
  void FailReceive(int) override {}
  bool SilentTooLong(uint32_t) const override { return false; }
  void NoteRangeFault(RangeFault) override {}
  SessionWriter& writer() override { return writer_; }
  const Login& login() const override { return login_; }
  bool loginAsked() const override { return false; }
  SessionState AskAgainWithLogin() override { return SessionState::kDone; }
  SessionState FollowRedirect(int, const std::string&) override { return SessionState::kDone; }

  std::string sent;
  std::string failure;
  FailOutcome failOutcome = FailOutcome::kRetry;

 private:
  const TransferContext& context_;
  Item item_;
  UrlParts parts_;
  TcpSocket socket_;
  SessionWriter writer_;
  Login login_;
};

using ProxyTunnelTest = testing::SessionHarness;

TEST_F(ProxyTunnelTest, AHostHoldingAControlCharacterNeverReachesTheConnectRequest) {
  Tree::Access access(tree);
  const TransferContext context{access.root(), treeLock, clock,         events,
                                resolver,      names,    buffer.data(), buffer.size() - 1};
  const Proxy proxy{"proxy.test", 3128, "tester", "s3cret"};
  for (const std::string& host :
       {std::string("victim.example\r\nX-Injected: 1"), std::string("a\0b", 3), std::string("a\tb"),
        std::string("a\x7f")}) {
    RecordingSession session(context, host);
    ProxyTunnel(session, proxy).Request();
    EXPECT_EQ(session.sent, "") << host;
    EXPECT_EQ(session.failure,
              "Refused to send a proxy CONNECT request holding a control character.");
    EXPECT_EQ(session.failOutcome, FailOutcome::kPermanent);
  }
  RecordingSession clean(context, "example.org");
  ProxyTunnel(clean, proxy).Request();
  EXPECT_TRUE(clean.sent.starts_with("CONNECT example.org:443 HTTP/1.1\r\n")) << clean.sent;
  EXPECT_EQ(clean.failure, "");
}

}  // namespace
}  // namespace pellmarsh
