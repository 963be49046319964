#include <gtest/gtest.h>

#include <cstdlib>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/cutting_proxy.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "support/scripted_server.h"
#include "support/test_certificates.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kLoopback = 0x7F000001;

class HttpsTransferTest : public testing::SessionHarness {
 protected:
  // The program trusts the test's authority the way a user's OpenSSL would
  // be told to: before its first connection.
  static void SetUpTestSuite() {
    certificates_ = testing::TrustNewTestAuthority();
    ASSERT_TRUE(certificates_);
  }
  static void TearDownTestSuite() { certificates_.reset(); }

  HttpsTransferTest() {
    resolver.names["localhost"] = {kLoopback, 0};
    resolver.names["wrong.example"] = {kLoopback, 0};
  }

  static testing::NginxServer::Options Presenting(const testing::TestCertificates::KeyPair& pair) {
    testing::NginxServer::Options options;
    options.tlsCertificate = pair.certificate;
    options.tlsKey = pair.key;
    return options;
  }

  static inline std::unique_ptr<testing::TestCertificates> certificates_;
};

TEST_F(HttpsTransferTest, DownloadsResumesAndCredentialsArriveWholeThroughTls) {
  testing::NginxServer::Options options = Presenting(certificates_->valid());
  options.basicAuth.push_back({"/private/", "tester", "secret"});
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(3 << 20, 11);
  nginx.AddFile("/a.bin", data);
  nginx.AddFile("/private/a.bin", data);
  const int64_t kept = 1 << 20;
  const struct {
    const char* what;
    std::string url;
    int64_t onDisk;
    std::string sent;
  } cases[] = {
      {"a plain download", nginx.TlsUrl("/a.bin"), 0, "GET /a.bin HTTP/1.0"},
      {"a resume", nginx.TlsUrl("/a.bin"), kept, "Range: bytes=1048576-"},
      {"a server named by its address", nginx.TlsUrl("/a.bin", "127.0.0.1"), 0, "Host: 127.0.0.1"},
      {"Basic credentials", nginx.TlsUrl("/private/a.bin"), 0, "Authorization: Basic (concealed)"},
  };
  for (const auto& row : cases) {
    const std::string local = dir.File("a.bin");
    testing::WriteFile(Unfinished(local), data.substr(0, static_cast<size_t>(row.onDisk)));
    Item& item = NewItem(row.url, local);
    item.SetPropInt(key::kResume, row.onDisk > 0 ? 1 : 0);
    item.SetProp(key::kLogin, "tester");
    item.SetProp(key::kPassword, "secret");
    Attempt(item);
    ASSERT_EQ(item.GetPropInt(key::kStatus), kStatusComplete)
        << row.what << ": " << item.GetProp(key::kLog);
    EXPECT_TRUE(testing::ReadFile(local) == data) << row.what;
    EXPECT_EQ(item.GetPropInt64(key::kReceivedSession),
              static_cast<int64_t>(data.size()) - row.onDisk)
        << row.what;
    EXPECT_TRUE(Logged(item, row.sent)) << row.what << ": " << item.GetProp(key::kLog);
    EXPECT_TRUE(Logged(item, "TLS connection: TLSv1.3, TLS_")) << row.what;
    EXPECT_FALSE(Logged(item, "secret")) << row.what;
  }
}

TEST_F(HttpsTransferTest, RedirectsCrossBetweenHttpAndHttpsWithoutTheCredentials) {
  testing::NginxServer::Options options = Presenting(certificates_->valid());
  options.redirects = {{"/to-tls", 302, "{https}/t.bin"}, {"/to-plain", 301, "{http}/p.bin"}};
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  nginx.AddFile("/t.bin", "over tls");
  nginx.AddFile("/p.bin", "in plain");
  const struct {
    const char* what;
    std::string url, target, name, bytes;
  } cases[] = {
      {"http to https", nginx.Url("/to-tls"), nginx.TlsUrl("/t.bin"), "t.bin", "over tls"},
      {"https to http", nginx.TlsUrl("/to-plain"), nginx.Url("/p.bin"), "p.bin", "in plain"},
  };
  for (const auto& row : cases) {
    Item& item = NewItem(row.url, dir.File("first"));
    item.SetPropInt(key::kHttpAuth, 1);
    item.SetProp(key::kLogin, "tester");
    item.SetProp(key::kPassword, "secret");
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete)
        << row.what << ": " << item.GetProp(key::kLog);
    EXPECT_TRUE(Logged(item, "to: " + row.target)) << row.what;
    EXPECT_EQ(item.GetProp(key::kValue), row.url) << row.what;
    EXPECT_EQ(OnDisk(dir.File(row.name)), row.bytes) << row.what;
    // Only the request to the item's own server carried them.
    const std::string log = item.GetProp(key::kLog);
    const size_t sent = log.find("Authorization");
    EXPECT_NE(sent, std::string::npos) << row.what;
    EXPECT_EQ(log.find("Authorization", sent + 1), std::string::npos) << row.what;
  }
}

TEST_F(HttpsTransferTest, AServerThatCannotProveItsNameFailsForGoodWithTheReason) {
  testing::NginxServer valid(Presenting(certificates_->valid()));
  testing::NginxServer expired(Presenting(certificates_->expired()));
  testing::NginxServer selfSigned(Presenting(certificates_->selfSigned()));
  for (testing::NginxServer* server : {&valid, &expired, &selfSigned}) {
    ASSERT_TRUE(server->Start());
    server->AddFile("/a.bin", "secret data");
  }
  const std::string plainPort = std::to_string(valid.port());
  const struct {
    const char* what;
    std::string url, reason;
  } cases[] = {
      {"another host's certificate", valid.TlsUrl("/a.bin", "wrong.example"), "hostname mismatch"},
      {"an expired certificate", expired.TlsUrl("/a.bin"), "certificate has expired"},
      {"a self-signed certificate", selfSigned.TlsUrl("/a.bin"), "self-signed certificate"},
      {"a server that speaks no TLS", "https://localhost:" + plainPort + "/a.bin",
       "wrong version number"},
  };
  for (const auto& row : cases) {
    Item& item = NewItem(row.url, dir.File("a.bin"));
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusFailed) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), "TLS Error: " + row.reason) << row.what;
    EXPECT_EQ(OnDisk(dir.File("a.bin")), "(none)") << row.what;
  }
}

TEST_F(HttpsTransferTest, AHandshakeCutShortIsRetriedAndTheRetryCompletes) {
  testing::NginxServer nginx(Presenting(certificates_->valid()));
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(100'000, 11);
  nginx.AddFile("/a.bin", data);
  // The server's first flight is longer than this: the cut falls in the handshake.
  testing::CuttingProxy proxy(nginx.tlsPort(), 300, testing::CuttingProxy::Cut::kReset, 1);
  Item& item =
      NewItem("https://localhost:" + std::to_string(proxy.port()) + "/a.bin", dir.File("a.bin"));
  Attempt(item);
  EXPECT_EQ(proxy.connectionsCut(), 1);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << item.GetProp(key::kLog);
  EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Connection Reset By Host");
  EXPECT_FALSE(Logged(item, "TLS connection:"));

  Attempt(item);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(dir.File("a.bin")) == data);
}

TEST_F(HttpsTransferTest, ABodyOfNoStatedLengthCutWithoutTheClosingAlertIsRetried) {
  testing::NginxServer::Options options = Presenting(certificates_->valid());
  // Included pages have no length known in advance: the close ends the body.
  options.extraConfig = "location /ssi/ {\n ssi on;\n}";
  testing::NginxServer nginx(options);
  ASSERT_TRUE(nginx.Start());
  const std::string page = std::string(200'000, 'p');
  nginx.AddFile("/ssi/page.html", page);
  testing::CuttingProxy proxy(nginx.tlsPort(), 50'000, testing::CuttingProxy::Cut::kClose, 1);
  Item& item = NewItem("https://localhost:" + std::to_string(proxy.port()) + "/ssi/page.html",
                       dir.File("page.html"));
  Attempt(item);
  EXPECT_EQ(proxy.connectionsCut(), 1);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry) << item.GetProp(key::kLog);
  EXPECT_EQ(item.GetProp(key::kError),
            "The server closed the TLS connection without its closing alert: the body may be cut "
            "short.");

  Attempt(item);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(dir.File("page.html")) == page);
}

TEST_F(HttpsTransferTest, ABusyServersAlertIsRetriedAndAProtocolAlertIsFinal) {
  const struct {
    const char* what;
    char alert;
    int status;
    std::string error;
  } cases[] = {
      {"internal_error", 80, kStatusWaitingToRetry, "TLS Error: tlsv1 alert internal error"},
      {"handshake_failure", 40, kStatusFailed, "TLS Error: sslv3 alert handshake failure"},
  };
  for (const auto& row : cases) {
    // A fatal alert record, sent as the server's first flight.
    const std::string record = std::string("\x15\x03\x03\x00\x02\x02", 6) + row.alert;
    testing::ScriptedServer server({testing::ScriptedServer::Script().Send(record).Pause(5s)});
    Item& item = NewItem("https://localhost:" + std::to_string(server.port()) + "/a.bin",
                         dir.File(row.what));
    Attempt(item);
    EXPECT_EQ(item.GetPropInt(key::kStatus), row.status) << row.what;
    EXPECT_EQ(item.GetProp(key::kError), row.error) << row.what;
  }
}

TEST_F(HttpsTransferTest, AServerThatNeverAnswersTheHandshakeIsGivenUpAfterAMinute) {
  testing::ScriptedServer server({testing::ScriptedServer::Script().Pause(20s)});
  const std::string port = std::to_string(server.port());
  Item& item = NewItem("https://localhost:" + port + "/a.bin", dir.File("a.bin"));
  auto session = Session(item);
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        session->Step();
        return session->state() == SessionState::kTlsHandshake && WaitOf(*session) != "none";
      },
      30s, 0ms));
  EXPECT_EQ(WaitOf(*session), "read from " + port);
  clock.tick += SessionHost::kConnectTimeoutMs + 1;
  session->Step();
  EXPECT_EQ(item.GetProp(key::kError), "Receive Error: Timed Out");
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusWaitingToRetry);
}

TEST_F(HttpsTransferTest, BytesTlsHasAlreadyDecryptedAreReadWithoutWaiting) {
  testing::NginxServer nginx(Presenting(certificates_->valid()));
  ASSERT_TRUE(nginx.Start());
  const std::string data = testing::RandomBytes(1 << 20, 11);
  nginx.AddFile("/a.bin", data);
  Item& item = NewItem(nginx.TlsUrl("/a.bin"), dir.File("a.bin"));
  auto session = Session(item);
  // A budget far below a record leaves most of each one inside TLS.
  ASSERT_TRUE(testing::WaitFor(
      [&] {
        session->Step(1000);
        return item.GetPropInt64(key::kReceived) > 0;
      },
      30s, 0ms));
  EXPECT_EQ(WaitOf(*session), "none");
  RunToEnd(*session);
  EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
  EXPECT_TRUE(OnDisk(dir.File("a.bin")) == data);
}

}  // namespace
}  // namespace pellmarsh
