#include <gtest/gtest.h>
#include <netinet/in.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "store/item_status.h"
#include "store/keys.h"
#include "support/ftp_server.h"
#include "support/loopback_socket.h"
#include "support/nginx_server.h"
#include "support/random_bytes.h"
#include "transfer/session/session_harness.h"

namespace pellmarsh {
namespace {

constexpr char kDualName[] = "dual.test";

SocketAddress IPv6Loopback(uint16_t port = 0) {
  SocketAddress address{0, port};
  ParseIPv6Address("::1", address);
  return address;
}

// Sessions against real nginx on ::1 or 127.0.0.1, with a name that resolves
// to both, as a dual-stack host's does.
class Ipv6TransferTest : public testing::SessionHarness {
 protected:
  void SetUp() override {
    if (!testing::HasIPv6Loopback()) {
      GTEST_SKIP() << "this system has no IPv6 loopback address (::1)";
    }
    resolver.names[kDualName] =
        LookupResult(std::vector<SocketAddress>{IPv6Loopback(), {INADDR_LOOPBACK, 0}});
  }

  // nginx on one address only, serving "/a.bin" and, at "/host", the Host
  // header it was sent.
  ::testing::AssertionResult StartNginx(const std::string& listenAddress) {
    testing::NginxServer::Options options;
    options.listenAddress = listenAddress;
    options.extraConfig = "    location = /host {\n      return 200 \"$http_host\";\n    }\n";
    nginx_ = std::make_unique<testing::NginxServer>(options);
    ::testing::AssertionResult started = nginx_->Start();
    if (started) {
      nginx_->AddFile("/a.bin", data_);
    }
    return started;
  }

  std::string DualUrl(const std::string& path) const {
    return std::string("http://") + kDualName + ":" + std::to_string(nginx_->port()) + path;
  }

  void ExpectFetched(Item& item, const std::string& local) {
    EXPECT_EQ(item.GetPropInt(key::kStatus), kStatusComplete) << item.GetProp(key::kLog);
    EXPECT_EQ(OnDisk(local), data_);
  }

  const std::string data_ = testing::RandomBytes(300'000, 32);
  std::unique_ptr<testing::NginxServer> nginx_;
};

TEST_F(Ipv6TransferTest, ANameWithBothFamiliesReachesAServerOnIPv6Only) {
  ASSERT_TRUE(StartNginx("[::1]"));
  Item& item = NewItem(DualUrl("/a.bin"), dir.File("a.bin"));
  Attempt(item);
  ExpectFetched(item, dir.File("a.bin"));
  EXPECT_TRUE(Logged(item, "Connecting to host at ::1, port " + std::to_string(nginx_->port())));
}

TEST_F(Ipv6TransferTest, AnIPv6LiteralIsFetchedAndTheHostHeaderKeepsItsBrackets) {
  ASSERT_TRUE(StartNginx("[::1]"));
  Item& file = NewItem(nginx_->Url("/a.bin"), dir.File("a.bin"));
  Attempt(file);
  ExpectFetched(file, dir.File("a.bin"));
  // As designed, the header names the host without the port.
  Item& host = NewItem(nginx_->Url("/host"), dir.File("host"));
  Attempt(host);
  EXPECT_EQ(OnDisk(dir.File("host")), "[::1]");
}

TEST_F(Ipv6TransferTest, IPv4WinsAtOnceWhenIPv6RefusesTheConnection) {
  ASSERT_TRUE(StartNginx("127.0.0.1"));
  Item& item = NewItem(DualUrl("/a.bin"), dir.File("a.bin"));
  Attempt(item);
  ExpectFetched(item, dir.File("a.bin"));
  EXPECT_EQ(clock.tick, 0u) << "the fallback waited for the clock";
  const std::vector<std::string> log = LogTexts(item);
  const std::string port = std::to_string(nginx_->port());
  const std::vector<std::string> race = {
      "Could not connect to ::1: Connection Refused by Host",
      "Connecting to host at 127.0.0.1, port " + port,
  };
  EXPECT_NE(std::search(log.begin(), log.end(), race.begin(), race.end()), log.end())
      << item.GetProp(key::kLog);
}

TEST_F(Ipv6TransferTest, IPv4IsTriedAQuarterSecondAfterAnIPv6AddressThatNeverAnswers) {
  ASSERT_TRUE(StartNginx("127.0.0.1"));
  // On the same port of ::1, a listener whose full backlog leaves connects pending.
  SocketAddress silent = IPv6Loopback(nginx_->port());
  TcpSocket full;
  full.Create(AddressFamily::kIPv6);
  if (full.Bind(silent) != 0) {
    GTEST_SKIP() << "the port is taken on ::1";
  }
  full.Listen(0);
  std::vector<TcpSocket> fillers(4);
  for (TcpSocket& filler : fillers) {
    filler.Create(AddressFamily::kIPv6);
    filler.SetNonBlocking();
    filler.Connect(silent);
  }
  Item& item = NewItem(DualUrl("/a.bin"), dir.File("a.bin"));
  auto session = Session(item);
  session->Step();  // Init
  session->Step();  // Connect
  clock.tick += 249;
  for (int step = 0; step < 20; ++step) {
    session->Step();
  }
  if (session->state() != SessionState::kConnectWait) {
    GTEST_SKIP() << "this system completed the connect despite the full backlog";
  }
  EXPECT_FALSE(Logged(item, "127.0.0.1")) << "IPv4 was tried before its time";
  clock.tick += 1;
  EXPECT_TRUE(testing::WaitFor([&] { return !session->Step(); }, std::chrono::seconds(30),
                               std::chrono::milliseconds(0)));
  ExpectFetched(item, dir.File("a.bin"));
  EXPECT_TRUE(
      Logged(item, "Connecting to host at 127.0.0.1, port " + std::to_string(nginx_->port())));
}

// pyftpdlib on ::1: passive asks EPSV, active offers an IPv6 data socket
// through EPRT, and a resumed download goes on where it stopped.
TEST_F(Ipv6TransferTest, FtpOverIPv6UsesEpsvOrEprtAndResumes) {
  testing::FtpServer::Options options;
  options.listenAddress = "::1";
  testing::FtpServer ftp(options);
  ASSERT_TRUE(ftp.Start());
  ftp.AddFile("/a.bin", data_);
  for (const auto& [mode, command] : {std::pair{FtpDataMode::kPassiveThenActive, "EPSV"},
                                      std::pair{FtpDataMode::kActiveOnly, "EPRT |2|::1|"}}) {
    SCOPED_TRACE(command);
    tree.Lock()->SetPropEnum(setting::kFtpMode, mode);
    const std::string local = dir.File(std::string("ftp-") + command[1] + ".bin");
    testing::WriteFile(Unfinished(local), data_.substr(0, 100'000));
    Item& item = NewItem("ftp://[::1]:" + std::to_string(ftp.port()) + "/a.bin", local);
    item.SetProp(key::kLogin, ftp.user());
    item.SetProp(key::kPassword, ftp.password());
    item.SetPropInt(key::kResume, 1);
    Attempt(item);
    ExpectFetched(item, local);
    EXPECT_TRUE(Logged(item, command)) << item.GetProp(key::kLog);
    EXPECT_TRUE(Logged(item, "REST 100000")) << item.GetProp(key::kLog);
  }
}

}  // namespace
}  // namespace pellmarsh
